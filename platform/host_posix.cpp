#include "platform/host.h"

#include <fcntl.h>
#include <pwd.h>
#include <spawn.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <vector>

extern char** environ;

bool randomBytes(unsigned char* buffer, size_t length)
{
    int fd = open("/dev/urandom", O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    size_t got = 0;
    while (got < length) {
        ssize_t n = read(fd, buffer + got, length - got);
        if (n <= 0 && !(n < 0 && errno == EINTR)) {
            break;
        }
        got += n > 0 ? (size_t)n : 0;
    }
    close(fd);
    return got == length;
}

long long wallClockMs()
{
    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    return (long long)now.tv_sec * 1000 + now.tv_nsec / 1000000;
}

std::string utcTimeText(long long ms)
{
    time_t seconds = (time_t)(ms / 1000);
    struct tm utc;
    gmtime_r(&seconds, &utc);
    char text[64];
    (void)snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900, utc.tm_mon + 1,
                   utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, (int)(ms % 1000));
    return text;
}

std::string localTimeStamp()
{
    time_t now = time(NULL);
    struct tm local;
    localtime_r(&now, &local);
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
    local.tm_isdst = -1;   // the zone's rule for that day
    time_t seconds = mktime(&local);
    if (seconds == (time_t)-1) {
        return false;
    }
    *ms = (long long)seconds * 1000;
    return true;
}

std::string userName()
{
    std::vector<char> buffer(16384);
    passwd entry;
    passwd* found = NULL;
    if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != NULL &&
        found->pw_name != NULL) {
        return found->pw_name;
    }
    return std::to_string((unsigned long)geteuid());   // a user without a name: the number
}

std::string computerName()
{
    char name[256] = "";
    if (gethostname(name, sizeof name - 1) != 0) {
        return "";
    }
    name[sizeof name - 1] = '\0';
    return name;
}

bool openInBrowser(const std::string& target)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    char program[] = "xdg-open";
    std::string copy = target;
    char* argv[] = {program, &copy[0], NULL};
    pid_t pid;
    int failed = posix_spawnp(&pid, program, &actions, NULL, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    return failed == 0;
}
