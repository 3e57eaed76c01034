#include "support/process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#ifndef STANDIN_PATH
#error STANDIN_PATH must name the stand-in executable
#endif

static const char NSENTER[] = "/usr/bin/nsenter";

static std::vector<char*> makeArgv(const std::string& program, const std::vector<std::string>& args)
{
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : args) {
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);
    return argv;
}

// The child's standard descriptors are inFd, outFd and errFd, except those in closed. With
// terminal, inFd is a terminal that becomes the child's controlling terminal in a session of its own.
static pid_t spawn(const std::string& program, const std::vector<std::string>& args, const std::string& dir, int inFd,
                   int outFd, int errFd, const std::vector<int>& closed = {}, bool terminal = false)
{
    std::vector<char*> argv = makeArgv(program, args);
    pid_t pid = fork();
    if (pid == 0) {
        if (terminal && (setsid() < 0 || ioctl(inFd, TIOCSCTTY, 0) != 0)) {
            _exit(127);
        }
        dup2(inFd, 0);
        dup2(outFd, 1);
        dup2(errFd, 2);
        for (int fd : closed) {
            close(fd);
        }
        (void)signal(SIGPIPE, SIG_DFL);   // the tests ignore it; the program must not inherit that
        if (!dir.empty() && chdir(dir.c_str()) != 0) {
            _exit(127);
        }
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    return pid;
}

// A pseudo-terminal: master for the test, slave (kept open, so its settings live on) for the child.
static bool openTerminal(int* master, int* slave)
{
    *master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (*master < 0 || grantpt(*master) != 0 || unlockpt(*master) != 0) {
        return false;
    }
    *slave = open(ptsname(*master), O_RDWR | O_NOCTTY | O_CLOEXEC);
    return *slave >= 0 && fcntl(*master, F_SETFL, O_NONBLOCK) == 0;
}

static bool sameSettings(const termios& a, const termios& b)
{
    return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag && a.c_lflag == b.c_lflag &&
           memcmp(a.c_cc, b.c_cc, sizeof a.c_cc) == 0;
}

// Waits up to two seconds for the program to change the terminal's settings.
static void awaitTerminalChange(int slave, const termios& before)
{
    termios now;
    for (int i = 0; i < 200 && tcgetattr(slave, &now) == 0 && sameSettings(now, before); ++i) {
        usleep(10000);
    }
}

ToolRun runProgram(const std::string& program, const std::vector<std::string>& args, const std::string& input,
                   const std::string& dir, int timeoutSeconds, const RunControl& control)
{
    ToolRun run;
    auto started = std::chrono::steady_clock::now();
    int in[2] = {-1, -1}, out[2] = {-1, -1}, err[2] = {-1, -1};
    int slave = -1;
    termios before = {};
    pid_t pid;
    if (control.terminal) {
        if (!openTerminal(&in[1], &slave) || tcgetattr(slave, &before) != 0) {
            return run;
        }
        out[0] = in[1];
        pid = spawn(program, args, dir, slave, slave, slave, control.closed, true);
    } else {
        bool errOpen = control.errorsOnTerminal ? openTerminal(&err[0], &slave) : pipe2(err, O_CLOEXEC) == 0;
        if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0 || !errOpen) {
            return run;
        }
        int outFd = out[1];
        if (!control.outputTo.empty()) {
            outFd = open(control.outputTo.c_str(), O_WRONLY | O_CLOEXEC);
            if (outFd < 0) {
                return run;
            }
        }
        pid = spawn(program, args, dir, in[0], outFd, control.errorsOnTerminal ? slave : err[1], control.closed);
        if (outFd != out[1]) {
            close(outFd);
        }
        close(in[0]);
        close(out[1]);
        if (err[1] >= 0) {
            close(err[1]);
        }
    }
    (void)signal(SIGPIPE, SIG_IGN);
    // The input is small: it fits the pipe, and end of input follows at once.
    if (!input.empty() && write(in[1], input.data(), input.size()) != (ssize_t)input.size()) {
        run.err = "short write to standard input";
    }
    if (!control.keepInput && !control.terminal) {
        close(in[1]);
    }

    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    struct pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    std::string* sinks[2] = {&run.out, &run.err};
    // A terminal never ends while the test holds its other side: it is not counted.
    int open = control.terminal || control.errorsOnTerminal ? 1 : 2;
    bool acted = control.waitFor.empty();
    bool exited = false;
    int status = 0;
    while (open > 0) {
        int left =
            (int)std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
                .count();
        if (left <= 0) {
            run.timedOut = true;
            kill(pid, SIGKILL);
            break;
        }
        // A terminal gives no end of output while the test holds it: the exit ends the run.
        if (control.terminal && !exited) {
            exited = waitpid(pid, &status, WNOHANG) == pid;
        }
        if (poll(fds, 2, exited ? 0 : left < 100 ? left : 100) < 0) {
            continue;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd >= 0 && (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
                char buf[65536];
                ssize_t n = read(fds[i].fd, buf, sizeof buf);
                if (n > 0) {
                    sinks[i]->append(buf, (size_t)n);
                } else if (n == 0 || errno != EAGAIN) {
                    close(fds[i].fd);
                    fds[i].fd = -1;
                    open -= control.errorsOnTerminal && i == 1 ? 0 : 1;
                }
            }
        }
        if (exited && (fds[0].revents & POLLIN) == 0) {
            break;
        }
        if (!acted && (run.out.find(control.waitFor) != std::string::npos ||
                       run.err.find(control.waitFor) != std::string::npos)) {
            acted = true;
            if (control.terminal) {
                awaitTerminalChange(slave, before);
            }
            if (control.signal != 0) {
                kill(pid, control.signal);
            }
            if (control.closeOutput) {
                close(fds[0].fd);
                fds[0].fd = -1;
                --open;
            }
        }
    }
    if (!exited) {
        waitpid(pid, &status, 0);
    }
    if (control.errorsOnTerminal) {   // what the program wrote is all there once it has exited
        char buf[65536];
        ssize_t n;
        while ((n = read(fds[1].fd, buf, sizeof buf)) > 0) {
            run.err.append(buf, (size_t)n);
        }
        close(slave);
    }
    if (control.terminal) {   // before the master closes, which hangs the terminal up
        termios after;
        run.terminalKept = tcgetattr(slave, &after) == 0 && sameSettings(after, before);
        close(slave);
    }
    for (auto& f : fds) {
        if (f.fd >= 0) {
            close(f.fd);
        }
    }
    if (control.keepInput && !control.terminal) {
        close(in[1]);
    }
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    return run;
}

bool startBackground(Background& b, const std::string& program, const std::vector<std::string>& args,
                     const std::string& dir, const std::string& ready, const std::string& errPath)
{
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) {
        return false;
    }
    int devNull = open("/dev/null", O_RDONLY | O_CLOEXEC);
    int errFd = errPath.empty() ? 2 : open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    b.pid = spawn(program, args, dir, devNull, out[1], errFd < 0 ? 2 : errFd);
    close(devNull);
    if (errFd > 2) {
        close(errFd);
    }
    close(out[1]);
    b.outFd = out[0];
    struct pollfd pfd = {b.outFd, POLLIN, 0};
    while (b.out.find(ready) == std::string::npos) {
        if (poll(&pfd, 1, 10000) <= 0) {
            return false;
        }
        char buf[256];
        ssize_t n = read(b.outFd, buf, sizeof buf);
        if (n <= 0) {
            return false;
        }
        b.out.append(buf, (size_t)n);
    }
    return true;
}

int stopBackground(Background& b, int signal)
{
    if (b.pid <= 0) {
        return -1;
    }
    kill(b.pid, signal);
    char buf[4096];
    ssize_t n;
    while ((n = read(b.outFd, buf, sizeof buf)) > 0) {
        b.out.append(buf, (size_t)n);
    }
    close(b.outFd);
    int status = 0;
    waitpid(b.pid, &status, 0);
    b.pid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

bool startStandIn(StandIn& s, const std::vector<std::string>& args, const std::string& dir)
{
    s.logPath = dir + "/standin.log";
    std::vector<std::string> all = args;
    all.push_back("--log");
    all.push_back(s.logPath);
    all.push_back("--lifetime");
    all.push_back("120");
    std::string program = STANDIN_PATH;
    if (!s.netns.empty()) {   // nsenter enters it and becomes the stand-in
        all.insert(all.begin(), {"--net=" + s.netns, program});
        program = NSENTER;
    }
    Background b;
    bool started = startBackground(b, program, all, dir, "ready\n");
    s.pid = b.pid;
    s.outFd = b.outFd;
    return started;
}

std::string stopStandIn(StandIn& s)
{
    Background b;
    b.pid = s.pid;
    b.outFd = s.outFd;
    if (stopBackground(b, SIGTERM) != -1) {
        s.lastWords = b.out;
    }
    s.pid = -1;
    return readFile(s.logPath);
}

std::string makeTempDir()
{
    char pattern[] = "/tmp/brevindor-test-XXXXXX";
    const char* dir = mkdtemp(pattern);
    return dir != nullptr ? dir : "/tmp";
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

bool fileExists(const std::string& path)
{
    return access(path.c_str(), F_OK) == 0;
}
