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

// The C runtime keeps descriptors 0 to 2 for the standard streams even when the process has no
// such handle, so a file the program opens never takes their place.
void reserveStandardFiles() {}

void pauseConsole(FILE* out)
{
    fflush(out);
    system("PAUSE");
}
