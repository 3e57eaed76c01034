// brevindor-web's server against clients other than the page: the file the browser is opened on,
// the cap on open connections, the deadlines of a request's head and body, the pause when the
// descriptors ran out, slow clients (slowhttptest) and many calls at once (ab).
#include <dirent.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <thread>

#include "e2e/web_harness.h"

namespace {

const size_t CAP = 128;   // connections open at once, as the manual gives it

double secondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void pause(double seconds)
{
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

// CPU seconds, user and system, that the process has used.
double cpuSeconds(pid_t pid)
{
    std::string stat = readFile("/proc/" + std::to_string(pid) + "/stat");
    std::istringstream fields(stat.substr(stat.rfind(')') + 2));   // from the third field, the state
    std::string field;
    long ticks = 0;
    for (int k = 3; k <= 15 && fields >> field; ++k) {
        ticks += k >= 14 ? strtol(field.c_str(), nullptr, 10) : 0;   // utime, stime
    }
    return (double)ticks / (double)sysconf(_SC_CLK_TCK);
}

size_t socketsOf(pid_t pid)
{
    std::string fds = "/proc/" + std::to_string(pid) + "/fd";
    DIR* d = opendir(fds.c_str());
    size_t n = 0;
    while (d != nullptr) {
        const dirent* e = readdir(d);
        if (e == nullptr) {
            break;
        }
        char target[64] = {};
        std::string link = fds + "/" + e->d_name;
        if (readlink(link.c_str(), target, sizeof target - 1) > 0 && std::string(target).rfind("socket:", 0) == 0) {
            ++n;
        }
    }
    if (d != nullptr) {
        closedir(d);
    }
    return n;
}

// True when the peer has closed fd (end of input, or a reset); what it sent before is dropped.
bool closedByPeer(int fd, double seconds = 0)
{
    auto start = std::chrono::steady_clock::now();
    do {
        struct pollfd p = {fd, POLLIN, 0};
        int wait = (int)((seconds - secondsSince(start)) * 1000);
        if (poll(&p, 1, wait > 0 ? wait : 0) > 0) {
            char buffer[4096];
            ssize_t n = recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
            if (n == 0 || (n < 0 && errno != EAGAIN)) {
                return true;
            }
        }
    } while (secondsSince(start) < seconds);
    return false;
}

// Connections that send their first bytes, then more every half second: when did the server end each?
struct Slow {
    const char* what;
    std::string first;
    std::string more;     // sent every half second until the connection ends
    bool untilBroken;     // the end is a send that fails (the server half-closed at once), not end of input
    double from, to;      // the end must come within these seconds
    std::string answer;   // what the server must have said first
};

}   // namespace

TEST_F(Web, TheBrowserIsOpenedOnAFileOnlyThisUserCanRead)
{
    // A stand-in xdg-open: writes down its arguments, the modes and owners of the file and its
    // folder, and a copy of the file.
    ASSERT_EQ(mkdir((dir + "/bin").c_str(), 0700), 0);
    std::string opener =
        file("bin/xdg-open", "#!/bin/sh\n"
                             "{ echo \"$#\"; echo \"$1\"; stat -c '%a %u' \"$1\" \"$(dirname \"$1\")\"; }"
                             " > \"$0.tmp\" && cp \"$1\" \"$0.file\" && mv \"$0.tmp\" \"$0.said\"\n");
    ASSERT_EQ(chmod(opener.c_str(), 0755), 0);
    ASSERT_EQ(setenv("PATH", (dir + "/bin:" + getenv("PATH")).c_str(), 1), 0);
    std::string runtime = dir + "/runtime", loose = dir + "/loose", others = dir + "/others", link = dir + "/link";
    std::string temporary = dir + "/tmp";
    for (const std::string& d : {runtime, loose, others, temporary}) {
        ASSERT_EQ(mkdir(d.c_str(), 0700), 0);
    }
    ASSERT_EQ(chmod(loose.c_str(), 0755), 0);
    ASSERT_EQ(chmod(temporary.c_str(), 01777), 0);
    ASSERT_EQ(symlink(runtime.c_str(), link.c_str()), 0);
    bool chowned = chown(others.c_str(), 65534, 65534) == 0;   // not in a user namespace
    ASSERT_EQ(setenv("TMPDIR", temporary.c_str(), 1), 0);
    const uid_t me = geteuid();
    const struct {
        const char* what;
        const char* runtime;   // $XDG_RUNTIME_DIR, or unset
        std::string base;      // where the file's folder must be
        int signal;            // what stops the server
    } cases[] = {
        {"its own runtime folder", runtime.c_str(), runtime, SIGTERM},
        {"a runtime folder others may enter", loose.c_str(), temporary, SIGINT},
        {"a runtime folder reached through a link", link.c_str(), temporary, SIGTERM},
        {"another user's runtime folder", chowned ? others.c_str() : nullptr, temporary, SIGHUP},
        {"no runtime folder", nullptr, temporary, SIGINT},
    };
    for (const auto& c : cases) {
        if (c.runtime != nullptr) {
            ASSERT_EQ(setenv("XDG_RUNTIME_DIR", c.runtime, 1), 0);
        } else {
            ASSERT_EQ(unsetenv("XDG_RUNTIME_DIR"), 0);
        }
        (void)unlink((opener + ".said").c_str());
        start({"--timeout", "0.2"}, true);
        auto started = std::chrono::steady_clock::now();
        while (!fileExists(opener + ".said") && secondsSince(started) < 10) {
            pause(0.05);
        }
        std::istringstream said(readFile(opener + ".said"));
        std::string count, path, fileMode, folderMode;
        uid_t fileOwner = 0, folderOwner = 0;
        said >> count >> path >> fileMode >> fileOwner >> folderMode >> folderOwner;
        EXPECT_EQ(count, "1") << c.what;
        std::string folder = path.substr(0, path.rfind('/'));
        EXPECT_EQ(folder.compare(0, c.base.size() + 15, c.base + "/brevindor-web-"), 0) << c.what << ": " << path;
        EXPECT_EQ(path.substr(folder.size()), "/brevindor-web.html") << c.what;
        EXPECT_EQ(fileMode, "600") << c.what;
        EXPECT_EQ(folderMode, "700") << c.what;
        EXPECT_EQ(fileOwner, me) << c.what;
        EXPECT_EQ(folderOwner, me) << c.what;

        // The file holds a one-time token, not the session's; spent, it opens nothing.
        std::string text = readFile(opener + ".file");
        EXPECT_EQ(text.find(token), std::string::npos) << c.what;
        size_t at = text.find("/?once=");
        ASSERT_NE(at, std::string::npos) << c.what << ": " << text;
        std::string once = text.substr(at + 7, 32);
        std::string p = std::to_string(port);
        EXPECT_NE(text.find("url=http://127.0.0.1:" + p + "/?once=" + once + "\""), std::string::npos) << text;
        HttpAnswer login = httpExchange(port, httpRequest("GET", "/?once=" + once, port, ""));
        EXPECT_EQ(login.status, 200) << c.what;
        EXPECT_EQ(login.headers["set-cookie"], "brevindor_" + p + "=" + token + "; HttpOnly; SameSite=Strict; Path=/");
        EXPECT_EQ(login.headers["content-type"], "text/html; charset=utf-8");
        EXPECT_NE(login.body.find("<meta http-equiv=\"refresh\" content=\"0; url=/\">"), std::string::npos);
        std::string cookie = "Cookie: brevindor_" + p + "=" + token + "\r\n";
        EXPECT_EQ(httpExchange(port, httpRequest("GET", "/api/job", port, cookie)).status, 200) << c.what;
        EXPECT_EQ(httpExchange(port, httpRequest("GET", "/?once=" + once, port, "")).status, 401) << c.what;

        stopBackground(server, c.signal);
        EXPECT_FALSE(fileExists(path)) << c.what;
        EXPECT_FALSE(fileExists(folder)) << c.what;
    }

    // Without a browser, no file.
    (void)unlink((opener + ".said").c_str());
    start({"--timeout", "0.2"});
    waitForJob();
    EXPECT_FALSE(fileExists(opener + ".said"));
    DIR* d = opendir(temporary.c_str());
    ASSERT_NE(d, nullptr);
    for (const dirent* e = readdir(d); e != nullptr; e = readdir(d)) {
        EXPECT_NE(std::string(e->d_name).rfind("brevindor-web-", 0), 0u) << e->d_name;
    }
    closedir(d);
}

TEST_F(Web, AtTheCapTheConnectionWaitingLongestMakesRoom)
{
    start({"--timeout", "0.2"});
    waitForJob();
    // An event stream first: the oldest, but not waiting for a request.
    int stream = httpConnect(port);
    std::string request = httpRequest("GET", "/api/events", port, "Authorization: Bearer " + token + "\r\n");
    ASSERT_EQ(write(stream, request.data(), request.size()), (ssize_t)request.size());
    std::string events;
    ASSERT_TRUE(readUntil(stream, &events, "event: job", 10)) << events;

    std::vector<int> waiting;   // nothing sent, or half a head
    for (size_t i = 0; i + 1 < CAP; ++i) {
        waiting.push_back(httpConnect(port));
        ASSERT_GE(waiting.back(), 0);
        if (i % 2 == 1) {
            ASSERT_GT(write(waiting.back(), "GET / HTTP/1.1\r\nHost: 127.0", 27), 0);
        }
    }
    // At the cap: a call makes the first of them give way, and only it.
    EXPECT_EQ(call("GET", "/api/job").status, 200);
    EXPECT_TRUE(closedByPeer(waiting[0], 5));
    for (size_t i = 1; i < waiting.size(); ++i) {
        EXPECT_FALSE(closedByPeer(waiting[i])) << i;
    }
    // Twice as many again: the oldest make room each time; the stream stays, the page is served.
    for (size_t i = 0; i < 2 * CAP; ++i) {
        int fd = httpConnect(port);
        ASSERT_GE(fd, 0);
        waiting.push_back(fd);
    }
    EXPECT_EQ(call("GET", "/api/job").status, 200);
    EXPECT_LE(socketsOf(server.pid), CAP + 4);   // the listener, the scan's
    EXPECT_TRUE(closedByPeer(waiting[CAP], 5));
    EXPECT_FALSE(closedByPeer(waiting.back()));
    EXPECT_FALSE(closedByPeer(stream));
    for (int fd : waiting) {
        close(fd);
    }

    // Streams alone at the cap: none is closed for a newcomer, which is closed instead.
    std::vector<int> streams = {stream};
    while (streams.size() < CAP) {
        streams.push_back(httpConnect(port));
        ASSERT_GE(streams.back(), 0) << "no connection: " << strerror(errno);
        ASSERT_EQ(write(streams.back(), request.data(), request.size()), (ssize_t)request.size()) << strerror(errno);
        std::string opening;
        ASSERT_TRUE(readUntil(streams.back(), &opening, "event: job", 10)) << streams.size();
    }
    EXPECT_EQ(call("GET", "/api/job").status, 0);
    for (int fd : streams) {
        EXPECT_FALSE(closedByPeer(fd));
    }
    close(streams.back());
    auto started = std::chrono::steady_clock::now();
    while (call("GET", "/api/job").status != 200 && secondsSince(started) < 5) {
        pause(0.05);
    }
    EXPECT_EQ(call("GET", "/api/job").status, 200);
    for (int fd : streams) {
        close(fd);
    }
}

TEST_F(Web, TheHeadAndTheBodyHaveDeadlinesThatBytesDoNotRenew)
{
    start({"--timeout", "0.2"});
    std::string host = "Host: 127.0.0.1:" + std::to_string(port) + "\r\n";
    std::string bearer = "Authorization: Bearer " + token + "\r\n";
    std::string post =
        "POST /api/check HTTP/1.1\r\n" + host + "Content-Type: application/json\r\n" + "Content-Length: 100000\r\n";
    const Slow cases[] = {
        {"nothing sent", "", "", false, 9, 13, ""},
        {"a head, a line every half second", "GET /api/job HTTP/1.1\r\n" + host, "X-Slow: 1\r\n", false, 9, 13, ""},
        {"a body, a byte every half second", post + bearer + "\r\n{", " ", false, 19, 24, ""},
        {"a body without the token, refused at its head", post + "\r\n{", " ", true, 1.5, 4.5, "HTTP/1.1 401"},
        {"an answer, then nothing", "GET /api/job HTTP/1.1\r\n" + host + bearer + "\r\n", "", false, 9, 13,
         "HTTP/1.1 200"},
    };
    const size_t n = sizeof cases / sizeof cases[0];
    std::vector<int> fds;
    std::vector<double> ended(n, -1);
    std::vector<std::string> got(n);
    auto started = std::chrono::steady_clock::now();
    for (const Slow& c : cases) {
        fds.push_back(httpConnect(port));
        ASSERT_GE(fds.back(), 0);
        ASSERT_EQ(send(fds.back(), c.first.data(), c.first.size(), MSG_NOSIGNAL), (ssize_t)c.first.size());
    }
    auto nextDrip = started;
    size_t open = n;
    while (open > 0 && secondsSince(started) < 30) {
        bool drip = std::chrono::steady_clock::now() >= nextDrip;
        if (drip) {
            nextDrip += std::chrono::milliseconds(500);
        }
        for (size_t i = 0; i < n; ++i) {
            if (ended[i] >= 0) {
                continue;
            }
            bool broken = drip && !cases[i].more.empty() &&
                          send(fds[i], cases[i].more.data(), cases[i].more.size(), MSG_NOSIGNAL) < 0;
            char buffer[4096];
            ssize_t r = recv(fds[i], buffer, sizeof buffer, MSG_DONTWAIT);
            if (r > 0) {
                got[i].append(buffer, (size_t)r);
            }
            bool reset = r < 0 && errno != EAGAIN;
            if (broken || reset || (r == 0 && !cases[i].untilBroken)) {
                ended[i] = secondsSince(started);
                --open;
            }
        }
        pause(0.02);
    }
    for (size_t i = 0; i < n; ++i) {
        EXPECT_GE(ended[i], cases[i].from) << cases[i].what;
        EXPECT_LE(ended[i], cases[i].to) << cases[i].what;
        EXPECT_EQ(got[i].compare(0, cases[i].answer.size(), cases[i].answer), 0) << cases[i].what << ": " << got[i];
        close(fds[i]);
    }
    EXPECT_EQ(call("GET", "/api/job").status, 200);
}

TEST_F(Web, OutOfDescriptorsTheLongestWaitingMakeRoomElseItWaitsInsteadOfSpinning)
{
    start({"--timeout", "0.2"}, false, {"/usr/bin/prlimit", "--nofile=64:64"});
    waitForJob();
    auto answersWithin = [this](double seconds) {
        auto started = std::chrono::steady_clock::now();
        while (call("GET", "/api/job").status != 200) {
            if (secondsSince(started) > seconds) {
                return false;
            }
            pause(0.1);
        }
        return true;
    };
    // More connections than descriptors, all waiting for a request: they make room, as at the cap.
    // Fewer than the smallest listen queue a system may keep (128), so none depends on its size.
    std::vector<int> held;
    for (int i = 0; i < 120; ++i) {
        held.push_back(httpConnect(port));   // queued by the system until the server takes them
        ASSERT_GE(held.back(), 0);
    }
    EXPECT_TRUE(answersWithin(10)) << "no answer while connections that wait hold the descriptors";
    EXPECT_LE(socketsOf(server.pid), 64u);
    for (int fd : held) {
        close(fd);
    }

    // Event streams hold every descriptor: none can make room, and accepting waits between tries.
    std::string request = httpRequest("GET", "/api/events", port, "Authorization: Bearer " + token + "\r\n");
    std::vector<int> streams;
    for (bool taken = true; taken && streams.size() < 80;) {
        streams.push_back(httpConnect(port));
        ASSERT_GE(streams.back(), 0) << "no connection: " << strerror(errno);
        ASSERT_EQ(write(streams.back(), request.data(), request.size()), (ssize_t)request.size()) << strerror(errno);
        std::string opening;
        taken = readUntil(streams.back(), &opening, "event: job", 2);
    }
    ASSERT_LT(streams.size(), 80u) << "the descriptors did not run out";
    int waiting = httpConnect(port);
    pause(0.5);
    double before = cpuSeconds(server.pid);
    pause(2);
    EXPECT_LT(cpuSeconds(server.pid) - before, 0.5) << "it spins: trying to accept again at once takes a core";
    close(waiting);
    for (int fd : streams) {
        close(fd);
    }
    EXPECT_TRUE(answersWithin(10)) << "no answer once the streams closed";
}

TEST_F(Web, SlowClientsNeitherHoldThePageNorPassTheCap)
{
    if (!fileExists("/usr/bin/slowhttptest")) {
        unavailable("/usr/bin/slowhttptest is missing (tools/packages.sh installs it)");
        return;
    }
    start({"--timeout", "0.2"});
    waitForJob();
    std::string url = "http://127.0.0.1:" + std::to_string(port) + "/";
    Background heads, bodies;   // slow headers and slow bodies, 200 each, for 8 s
    for (auto* b : {&heads, &bodies}) {
        std::vector<std::string> args = {
            b == &heads ? "-H" : "-B", "-c", "200", "-r", "200", "-i", "1", "-l", "8", "-s", "65536", "-u", url};
        ASSERT_TRUE(startBackground(*b, "/usr/bin/slowhttptest", args, dir, "", dir + "/slow.err"));
    }
    auto started = std::chrono::steady_clock::now();
    size_t most = 0, calls = 0;
    while (secondsSince(started) < 8) {
        HttpAnswer a =
            httpExchange(port, httpRequest("GET", "/api/job", port, "Authorization: Bearer " + token + "\r\n"), 5);
        EXPECT_EQ(a.status, 200) << "at " << secondsSince(started) << " s";
        ++calls;
        most = std::max(most, socketsOf(server.pid));
        pause(0.2);
    }
    stopBackground(heads, SIGINT);
    stopBackground(bodies, SIGINT);
    EXPECT_GT(calls, 20u);
    EXPECT_LE(most, CAP + 4);
    EXPECT_GT(most, CAP / 2) << "slowhttptest did not reach the server: " << readFile(dir + "/slow.err");
}

TEST_F(Web, TwoThousandCallsTwentyAtOnceAllAnswered)
{
    if (!fileExists("/usr/bin/ab")) {
        unavailable("/usr/bin/ab is missing (tools/packages.sh installs apache2-utils)");
        return;
    }
    controllers({ctl(1), ctl(2), ctl(3)});
    start({"--timeout", "0.3"});
    waitForJob();
    for (bool keepAlive : {false, true}) {
        std::vector<std::string> args = {"-n", "2000", "-c", "20", "-H", "Authorization: Bearer " + token};
        if (keepAlive) {
            args.push_back("-k");   // HTTP/1.0 with Connection: keep-alive
        }
        args.push_back("http://127.0.0.1:" + std::to_string(port) + "/api/controllers");
        ToolRun ab = runProgram("/usr/bin/ab", args, "", dir, 60);
        EXPECT_EQ(ab.exitCode, 0) << ab.err;
        EXPECT_NE(ab.out.find("Complete requests:      2000\n"), std::string::npos) << ab.out;
        EXPECT_NE(ab.out.find("Failed requests:        0\n"), std::string::npos) << ab.out;
        EXPECT_EQ(ab.out.find("Non-2xx responses"), std::string::npos) << ab.out;
        EXPECT_EQ(ab.out.find("Keep-Alive requests:    2000\n") != std::string::npos, keepAlive) << ab.out;
    }
}
