#include "support/netns.h"

#include <errno.h>
#include <fcntl.h>
#include <net/if.h>
#include <sched.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "tools/netns_guard.h"

static bool writeFile(const char* path, const std::string& text)
{
    int fd = open(path, O_WRONLY);
    if (fd < 0) {
        return false;
    }
    bool ok = write(fd, text.data(), text.size()) == (ssize_t)text.size();
    close(fd);
    return ok;
}

static bool unshareAsUser()
{
    uid_t uid = getuid();
    gid_t gid = getgid();
    if (unshare(CLONE_NEWUSER | CLONE_NEWNET | CLONE_NEWUTS) != 0) {
        return false;
    }
    writeFile("/proc/self/setgroups", "deny");
    return writeFile("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1\n") &&
           writeFile("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1\n");
}

static bool bringLoopbackUp()
{
    int fd = socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0) {
        return false;
    }
    struct ifreq ifr;
    memset(&ifr, 0, sizeof ifr);
    strncpy(ifr.ifr_name, "lo", IFNAMSIZ - 1);
    bool ok = ioctl(fd, SIOCGIFFLAGS, &ifr) == 0;
    ifr.ifr_flags |= IFF_UP;
    ok = ok && ioctl(fd, SIOCSIFFLAGS, &ifr) == 0;
    close(fd);
    return ok;
}

bool enterPrivateNetns(std::string* why)
{
    if (unshare(CLONE_NEWNET | CLONE_NEWUTS) != 0 && !unshareAsUser()) {
        *why = std::string("can't create a private network namespace (") + strerror(errno) +
               "): run as root or allow unprivileged user namespaces";
        return false;
    }
    char reason[256];
    if (!inPrivateNetns(reason, sizeof reason)) {
        *why = reason;
        return false;
    }
    if (!bringLoopbackUp() || sethostname(TEST_HOST_NAME, strlen(TEST_HOST_NAME)) != 0) {
        *why = std::string("can't set up the private namespace: ") + strerror(errno);
        return false;
    }
    return true;
}

bool mountTmpfs(const std::string& path, const char* options, std::string* why)
{
    if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        mkdir(path.c_str(), 0755) != 0 || mount("tmpfs", path.c_str(), "tmpfs", 0, options) != 0) {
        *why = std::string("can't mount a tmpfs in a private mount namespace (") + strerror(errno) + "): run as root";
        return false;
    }
    return true;
}

bool inNamespace(const std::string& command)
{
    char reason[256];
    if (!inPrivateNetns(reason, sizeof reason)) {
        return false;
    }
    return system(command.c_str()) == 0;
}
