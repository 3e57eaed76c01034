#include "platform/host.h"

#include <fcntl.h>
#include <pwd.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <thread>
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
    if (failed == 0) {
        std::thread([pid]() { (void)waitpid(pid, NULL, 0); }).detach();   // no zombie while the program runs
    }
    return failed == 0;
}

// A folder of this user's alone: a real directory (not a link), owned by the user, mode 0700.
static bool ownPrivateFolder(const char* path)
{
    struct stat st;
    return path != NULL && path[0] == '/' && lstat(path, &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == geteuid() &&
           (st.st_mode & 077) == 0;
}

static std::string failure(const std::string& where)
{
    return where + ": " + strerror(errno);   // NOLINT(concurrency-mt-unsafe): glibc's is thread-safe
}

bool writePrivateFile(const std::string& name, const std::string& text, PrivateFile* file, std::string* error)
{
    const char* runtime = getenv("XDG_RUNTIME_DIR");
    const char* temporary = getenv("TMPDIR");
    std::string base = ownPrivateFolder(runtime)                  ? runtime
                       : temporary != NULL && temporary[0] == '/' ? temporary
                                                                  : "/tmp";
    std::string folder = base + "/brevindor-web-XXXXXX";
    if (mkdtemp(&folder[0]) == NULL) {   // mode 0700
        *error = failure(base);
        return false;
    }
    std::string path = folder + "/" + name;
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    bool written = fd >= 0 && fchmod(fd, 0600) == 0;   // whatever the umask
    for (size_t at = 0; written && at < text.size();) {
        ssize_t n = write(fd, text.data() + at, text.size() - at);
        written = n > 0 || (n < 0 && errno == EINTR);
        at += n > 0 ? (size_t)n : 0;
    }
    if (!written) {
        *error = failure(path);
    }
    if (fd >= 0 && close(fd) != 0 && written) {
        *error = failure(path);
        written = false;
    }
    if (!written) {
        (void)unlink(path.c_str());
        (void)rmdir(folder.c_str());
        return false;
    }
    file->folder = folder;
    file->path = path;
    return true;
}

void removePrivateFile(const PrivateFile& file)
{
    (void)unlink(file.path.c_str());
    (void)rmdir(file.folder.c_str());
}
