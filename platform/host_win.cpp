#include "platform/host.h"

#include <windows.h>

#include <shellapi.h>   // after windows.h

#include <cstdio>
#include <ctime>
#include <string>

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

std::string utcTimeText(long long ms)
{
    time_t seconds = (time_t)(ms / 1000);
    struct tm utc;
    gmtime_s(&utc, &seconds);
    char text[64];
    (void)snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900, utc.tm_mon + 1,
                   utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, (int)(ms % 1000));
    return text;
}

std::string localTimeStamp()
{
    time_t now = time(NULL);
    struct tm local;
    localtime_s(&local, &now);
    char stamp[32];
    (void)strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    return stamp;
}

bool localTimeMs(int year, int month, int day, int hour, int minute, int second, long long* ms)
{
    struct tm local = {};
    local.tm_year = year - 1900;
    local.tm_mon = month - 1;
    local.tm_mday = day;
    local.tm_hour = hour;
    local.tm_min = minute;
    local.tm_sec = second;
    local.tm_isdst = -1;
    time_t seconds = mktime(&local);
    if (seconds == (time_t)-1) {
        return false;
    }
    *ms = (long long)seconds * 1000;
    return true;
}

static std::string utf8Of(const wchar_t* text)
{
    int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, NULL, 0, NULL, NULL);
    if (length <= 1) {
        return "";
    }
    std::string converted((size_t)length, '\0');
    (void)WideCharToMultiByte(CP_UTF8, 0, text, -1, &converted[0], length, NULL, NULL);
    converted.resize((size_t)length - 1);
    return converted;
}

std::string userName()
{
    wchar_t name[257];
    DWORD length = sizeof name / sizeof name[0];
    return GetUserNameW(name, &length) ? utf8Of(name) : "";
}

std::string computerName()
{
    wchar_t name[256];
    DWORD length = sizeof name / sizeof name[0];
    return GetComputerNameExW(ComputerNameDnsHostname, name, &length) ? utf8Of(name) : "";
}

bool openInBrowser(const std::string& target)
{
    return (INT_PTR)ShellExecuteA(NULL, "open", target.c_str(), NULL, NULL, SW_SHOWNORMAL) > 32;
}
