#include "platform/platform.h"

#include <cstdlib>

hostent* localHostEntry(const char* hostName)
{
    return gethostbyname(hostName);
}

bool fitsWaitSet(SOCKET)
{
    return true;
}

void pauseConsole(FILE* out)
{
    fflush(out);
    system("PAUSE");
}
