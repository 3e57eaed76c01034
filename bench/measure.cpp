#include "bench/measure.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <fstream>
#include <sstream>

int64_t monotonicNs()
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (int64_t)ts.tv_sec * 1000000000 + ts.tv_nsec;
}

static volatile sig_atomic_t g_child = 0;

static void onAlarm(int)
{
    if (g_child > 0) {
        kill((pid_t)g_child, SIGKILL);
    }
}

Exit runToFiles(const std::string& program, const std::vector<std::string>& args, const std::string& dir,
                const std::string& inPath, const std::string& outPath, const std::string& errPath)
{
    Exit e;
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : args) {
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);
    int in = open(inPath.c_str(), O_RDONLY | O_CLOEXEC);
    int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (in < 0 || out < 0 || err < 0) {
        return e;
    }
    // fork, not vfork or posix_spawn: the child's peak then starts from its copied pages only,
    // not from all of ours (the measurement floor is printed at start).
    pid_t pid = fork();
    if (pid == 0) {
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        if (chdir(dir.c_str()) != 0) {
            _exit(127);
        }
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(in);
    close(out);
    close(err);
    if (pid < 0) {
        return e;
    }
    struct sigaction sa;
    memset(&sa, 0, sizeof sa);
    sa.sa_handler = onAlarm;
    sigaction(SIGALRM, &sa, nullptr);   // no SA_RESTART: wait4 returns to note the kill
    g_child = pid;
    alarm(TOOL_DEADLINE_S);
    int status = 0;
    struct rusage resources;
    memset(&resources, 0, sizeof resources);
    pid_t got;
    while ((got = wait4(pid, &status, 0, &resources)) < 0 && errno == EINTR) {
        e.killed = true;
    }
    e.exitNs = monotonicNs();
    alarm(0);
    g_child = 0;
    if (got == pid) {
        e.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        e.maxRssKb = resources.ru_maxrss;
    }
    return e;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    size_t n = v.size();
    return n == 0 ? 0 : n % 2 == 1 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

size_t countOf(const std::string& text, const std::string& what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) {
        ++n;
    }
    return n;
}

UdpCounters readUdpCounters()
{
    UdpCounters c;
    std::ifstream in("/proc/net/snmp");
    std::string names, values;
    while (std::getline(in, names)) {
        if (names.rfind("Udp: ", 0) != 0 || !std::getline(in, values)) {
            continue;
        }
        std::istringstream n(names), v(values);
        std::string name, value;
        while (n >> name && v >> value) {
            if (name == "InErrors") {
                c.inErrors = std::stoll(value);
            } else if (name == "RcvbufErrors") {
                c.rcvbufErrors = std::stoll(value);
            }
        }
        break;
    }
    return c;
}
