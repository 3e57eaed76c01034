#include "platform/host.h"

#include <windows.h>

#include <shellapi.h>   // after windows.h

#include <ctime>

// The system's generator (advapi32), declared here as MinGW's headers name it only for some targets.
extern "C" BOOLEAN WINAPI SystemFunction036(PVOID buffer, ULONG length);

bool randomBytes(unsigned char* buffer, size_t length)
{
    return SystemFunction036(buffer, (ULONG)length) != FALSE;
}

long long wallClockMs()
{
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER ticks;   // 100 ns since 1601-01-01
    ticks.LowPart = now.dwLowDateTime;
    ticks.HighPart = now.dwHighDateTime;
    const unsigned long long UNIX_EPOCH = 116444736000000000ULL;
    return (long long)((ticks.QuadPart - UNIX_EPOCH) / 10000);
}

void calendarTime(long long epochSeconds, bool utc, struct tm* out)
{
    time_t seconds = (time_t)epochSeconds;
    if (utc) {
        gmtime_s(out, &seconds);
    } else {
        localtime_s(out, &seconds);
    }
}

void allowPortReuse(long long) {}

bool openInBrowser(const std::string& target)
{
    return (INT_PTR)ShellExecuteA(NULL, "open", target.c_str(), NULL, NULL, SW_SHOWNORMAL) > 32;
}
