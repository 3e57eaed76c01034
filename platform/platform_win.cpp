#include "platform/platform.h"

#include <cstdlib>
#include <cstring>

hostent* localHostEntry(const char* hostName)
{
    return gethostbyname(hostName);
}

bool fitsWaitSet(SOCKET)
{
    return true;
}

bool convertAddress(const char* text, unsigned char* address)
{
    unsigned long converted = inet_addr(text);
    // inet_addr gives INADDR_NONE both for a rejected text and for the all-ones address.
    if (converted == INADDR_NONE && strcmp(text, "255.255.255.255") != 0) {
        return false;
    }
    memcpy(address, &converted, 4);
    return true;
}

void pauseConsole(FILE* out)
{
    fflush(out);
    system("PAUSE");
}
