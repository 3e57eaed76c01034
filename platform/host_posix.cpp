#include "platform/host.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

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

void calendarTime(long long epochSeconds, bool utc, struct tm* out)
{
    time_t seconds = (time_t)epochSeconds;
    if (utc) {
        gmtime_r(&seconds, out);
    } else {
        localtime_r(&seconds, out);
    }
}

void allowPortReuse(long long socket)
{
    int on = 1;
    (void)setsockopt((int)socket, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
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
