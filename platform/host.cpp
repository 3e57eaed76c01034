#include "platform/host.h"

#include <cstdio>

std::string utcTimeText(long long ms)
{
    struct tm utc;
    calendarTime(ms / 1000, true, &utc);
    char text[64];
    (void)snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900, utc.tm_mon + 1,
                   utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, (int)(ms % 1000));
    return text;
}

std::string localTimeStamp()
{
    struct tm local;
    calendarTime((long long)time(NULL), false, &local);
    char stamp[32];
    (void)strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    return stamp;
}

std::string localTimeOfDay(long long ms)
{
    struct tm local;
    calendarTime(ms / 1000, false, &local);
    char text[32];
    (void)snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", local.tm_hour, local.tm_min, local.tm_sec,
                   (int)(ms % 1000));
    return text;
}
