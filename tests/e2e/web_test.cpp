// brevindor-web through its HTTP API, against the stand-in: scan, apply and verify, refusals,
// one job at a time, undo, a stop during an apply, and requests from whoever is not the page.
#include <nlohmann/json.hpp>
#include <signal.h>
#include <unistd.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <map>
#include <set>
#include <thread>

#include "commission/apply.h"
#include "e2e/web_harness.h"
#include "support/http.h"

using nlohmann::json;

namespace {

Ctl web(int k, const std::string& extra = "")
{
    Ctl c = ctl(k);
    c.ip = "192.168.1." + std::to_string(20 + k);
    c.name = "Panel-" + std::to_string(k);
    c.extra = extra;
    return c;
}

// The lines of the stand-in's log that are not the scan's request: the settings it received.
std::set<std::string> settingsIn(const std::string& log)
{
    std::set<std::string> lines;
    for (size_t at = 0; at < log.size();) {
        size_t end = log.find('\n', at);
        std::string line = log.substr(at, end - at + 1);
        if (line != REQUEST_LOG) {
            lines.insert(line);
        }
        at = end == std::string::npos ? log.size() : end + 1;
    }
    return lines;
}

}   // namespace

TEST_F(Web, ScanShowsEveryControllerLiveIncludingOneThatAnswersLate)
{
    controllers({web(1), web(2), web(3, "delay=1000")});
    start({"--timeout", "2"});
    int events = httpConnect(port);
    ASSERT_GE(events, 0);
    std::string request = httpRequest("GET", "/api/events", port, "Authorization: Bearer " + token + "\r\n");
    ASSERT_EQ(write(events, request.data(), request.size()), (ssize_t)request.size());
    std::string stream;
    EXPECT_TRUE(readUntil(events, &stream, "\"mac\":\"00.1a.2b.3c.00.03\"", 15)) << stream;
    EXPECT_NE(stream.find("text/event-stream"), std::string::npos);
    close(events);

    json job = waitForJob();
    EXPECT_EQ(job["kind"], "scan");
    EXPECT_EQ(job["status"], 0);
    json table = get("/api/controllers");
    ASSERT_EQ(table.size(), 3u) << table.dump();
    json late = row(table, "00.1a.2b.3c.00.03");
    EXPECT_EQ(late["ip"], "192.168.1.23");
    EXPECT_EQ(late["node_name"], "Panel-3");
    EXPECT_EQ(late["conflict"], "");
}

TEST_F(Web, ApplyVerifiesTheOneControllerAndUndoPutsItBack)
{
    controllers({web(1), web(2)});
    start({"--timeout", "0.5"});
    waitForJob();
    EXPECT_EQ(call("GET", "/api/undo").status, 404);
    HttpAnswer a = call("POST", "/api/apply", R"({"rows":[{"mac":"00:1a:2b:3c:00:01","ip":"192.168.1.51"}]})");
    ASSERT_EQ(a.status, 202) << a.body;
    json job = waitForJob();
    EXPECT_EQ(job["kind"], "apply");
    EXPECT_EQ(job["status"], 0);
    json outcomes = get("/api/outcomes");
    ASSERT_EQ(outcomes.size(), 1u);
    EXPECT_EQ(outcomes[0]["state"], "verified");
    EXPECT_EQ(outcomes[0]["before_ip"], "192.168.1.21");
    EXPECT_EQ(outcomes[0]["after_ip"], "192.168.1.51");
    EXPECT_EQ(row(get("/api/controllers"), "00.1a.2b.3c.00.01")["ip"], "192.168.1.51");

    // The undo plan, written before the setting went out, is the file named by the job.
    HttpAnswer undo = call("GET", "/api/undo");
    ASSERT_EQ(undo.status, 200);
    EXPECT_EQ(undo.body, "mac,ip,gateway,mask\n00:1a:2b:3c:00:01,192.168.1.21,192.168.1.1,255.255.255.0\n");
    std::string path = job["undo_file"];
    EXPECT_EQ(path.compare(0, dir.size() + 16, dir + "/brevindor-undo-"), 0) << path;
    EXPECT_EQ(readFile(path), undo.body);

    json plan = json::parse(call("POST", "/api/plan", json{{"text", undo.body}}.dump()).body);
    ASSERT_EQ(plan["errors"].size(), 0u) << plan.dump();
    ASSERT_EQ(call("POST", "/api/apply", json{{"rows", plan["rows"]}}.dump()).status, 202);
    EXPECT_EQ(waitForJob()["status"], 0);
    EXPECT_EQ(row(get("/api/controllers"), "00.1a.2b.3c.00.01")["ip"], "192.168.1.21");

    std::set<std::string> only = {
        settingLogLine("00.1a.2b.3c.00.01", "192.168.1.51", "192.168.1.1", "255.255.255.0"),
        settingLogLine("00.1a.2b.3c.00.01", "192.168.1.21", "192.168.1.1", "255.255.255.0"),
    };
    EXPECT_EQ(settingsIn(received()), only);

    // Both applies are in the user's journal, a start and an end each, in one chain.
    std::string journal = readFile(dir + "/state/brevindor/journal.jsonl");
    std::vector<std::string> entries;
    for (size_t at = 0; at < journal.size(); at = journal.find('\n', at) + 1) {
        json e = json::parse(journal.substr(at, journal.find('\n', at) - at));
        EXPECT_EQ(e["kind"], "page apply");
        EXPECT_EQ(e["program"], "brevindor-web");
        entries.push_back(e["entry"].get<std::string>() + " " + e["rows"][0]["mac"].get<std::string>());
    }
    EXPECT_EQ(entries, (std::vector<std::string>{"start 00:1a:2b:3c:00:01", "end 00:1a:2b:3c:00:01",
                                                 "start 00:1a:2b:3c:00:01", "end 00:1a:2b:3c:00:01"}))
        << journal;

    // The handover report of that journal, as a page of its own.
    HttpAnswer report = call("GET", "/api/handover");
    EXPECT_EQ(report.status, 200) << report.body;
    EXPECT_NE(report.body.find("<html"), std::string::npos) << report.body.substr(0, 200);
    EXPECT_NE(report.body.find("192.168.1.21"), std::string::npos) << "the controller as the journal last knew it";
}

TEST_F(Web, RefusalsComeBackInTheBatchProgramsWordsAndNothingIsSent)
{
    controllers({web(1), web(2)});
    start({"--timeout", "0.5"});
    waitForJob();
    const struct {
        const char* rows;
        const char* reason;
    } cases[] = {
        {R"([{"mac":"00.1a.2b.3c.00.01","ip":"192.168.1.255"}])",
         "00.1a.2b.3c.00.01: IP 192.168.1.255 is the broadcast address of its subnet 192.168.1.0/24"},
        {R"([{"mac":"00.1a.2b.3c.00.01","ip":"192.168.1.22"}])",
         "00.1a.2b.3c.00.01: IP 192.168.1.22 is in use by 00.1a.2b.3c.00.02, which keeps it"},
        {R"([{"mac":"00.1a.2b.3c.00.01","ip":"192.168.1.300"}])",
         "bad IP address '192.168.1.300': four decimal numbers 0 to 255, no leading zeros"},
        {R"([{"mac":"00.1a.2b.3c.00.01","gateway":"10.0.0.1"}])",
         "00.1a.2b.3c.00.01: gateway 10.0.0.1 is outside the subnet 192.168.1.0/24 of IP 192.168.1.21"},
        {R"([{"mac":"00.1a.2b.3c.00.01","ip":"192.168.1.60"},{"mac":"00.1a.2b.3c.00.02","ip":"192.168.1.60"}])",
         "IP address '192.168.1.60' is given twice (first in row 1)"},
    };
    for (const auto& c : cases) {
        std::string body = std::string(R"({"rows":)") + c.rows + "}";
        json check = json::parse(call("POST", "/api/check", body).body);
        ASSERT_EQ(check["refusals"].size(), 1u) << c.rows << check.dump();
        EXPECT_EQ(check["refusals"][0]["reason"], c.reason);
        HttpAnswer a = call("POST", "/api/apply", body);
        EXPECT_EQ(a.status, 400) << c.rows;
        EXPECT_EQ(json::parse(a.body)["refusals"], check["refusals"]);
    }
    EXPECT_EQ(get("/api/job")["kind"], "scan");   // no apply ran
    EXPECT_EQ(settingsIn(received()), std::set<std::string>());
}

TEST_F(Web, OneJobAtATime)
{
    controllers({web(1, "delay=2500")});
    start({"--timeout", "3"});
    EXPECT_TRUE(get("/api/job")["running"]);
    EXPECT_EQ(call("POST", "/api/scan", "{}").status, 409);
    EXPECT_EQ(call("POST", "/api/apply", R"({"rows":[{"mac":"00.1a.2b.3c.00.01","ip":"192.168.1.70"}]})").status, 409);
    // What sends nothing answers while the job runs: the check and the reading of a plan.
    HttpAnswer check = call("POST", "/api/check", R"({"rows":[{"mac":"00.1a.2b.3c.00.01","ip":"192.168.1.300"}]})");
    EXPECT_EQ(check.status, 200) << check.body;
    EXPECT_EQ(json::parse(check.body, nullptr, false)["refusals"].size(), 1u) << check.body;
    HttpAnswer plan = call("POST", "/api/plan", R"({"text":"mac,ip\n00:1a:2b:3c:00:01,192.168.1.70\n"})");
    EXPECT_EQ(plan.status, 200) << plan.body;
    EXPECT_EQ(json::parse(plan.body, nullptr, false)["rows"].size(), 1u) << plan.body;
    EXPECT_TRUE(get("/api/job")["running"]) << "the job ended before the calls were made";
    waitForJob();
    EXPECT_EQ(call("POST", "/api/scan", R"({"timeout":0.2})").status, 202);
}

// The check of this computer runs as the session's job: the server answers meanwhile, and the
// findings are doctor's JSON, its scan hearing the controllers.
TEST_F(Web, CheckOfThisComputerRunsAsTheJob)
{
    controllers({web(1), web(2, "delay=1000")});
    start({"--timeout", "1.5"});
    waitForJob();
    ASSERT_EQ(call("POST", "/api/doctor", R"({"interface":"127.0.0.1"})").status, 202);
    json running = get("/api/job");
    EXPECT_TRUE(running["running"]) << running.dump();
    EXPECT_EQ(running["kind"], "doctor");
    EXPECT_EQ(call("POST", "/api/scan", "{}").status, 409);
    EXPECT_EQ(get("/api/controllers").size(), 2u) << "the table of the scan before, served meanwhile";
    json job = waitForJob();
    EXPECT_EQ(job["kind"], "doctor");
    json all = get("/api/doctor");
    EXPECT_EQ(all["status"], job["status"]) << all.dump();
    std::map<std::string, json> first;   // each kind's first finding
    for (const json& f : all["findings"]) {
        EXPECT_TRUE(f["text"].is_string()) << f.dump();
        first.insert({f["kind"].get<std::string>(), f});
    }
    EXPECT_EQ(first["scan"]["controllers"], 2) << all.dump();
    EXPECT_EQ(first["port"]["severity"], "ok") << "the server holds no socket between jobs: " << all.dump();
    EXPECT_EQ(call("POST", "/api/doctor", R"({"interface":1})").status, 400);
    EXPECT_EQ(settingsIn(received()), std::set<std::string>());
}

TEST_F(Web, StopDuringAnApplyEndsAsTheBatchProgramDoes)
{
    controllers({web(1, "settings=ignore")});
    start({"--timeout", "0.3", "--verify-time", "20"});
    waitForJob();
    ASSERT_EQ(call("POST", "/api/apply", R"({"rows":[{"mac":"00.1a.2b.3c.00.01","ip":"192.168.1.71"}]})").status, 202);
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (get("/api/job")["undo_file"].is_null() && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(stopBackground(server, SIGINT), 128 + SIGINT);
    std::string err = readFile(dir + "/web.err");
    EXPECT_NE(err.find("brevindor-web: stopped by signal 2\n"), std::string::npos) << err;
    EXPECT_NE(err.find("00.1a.2b.3c.00.01  not confirmed  192.168.1.71"), std::string::npos) << err;
    EXPECT_NE(err.find("brevindor-web: the undo file is " + dir + "/brevindor-undo-"), std::string::npos) << err;
}

TEST_F(Web, OnlyThePageGetsIn)
{
    controllers({web(1)});
    start({"--timeout", "0.3"});
    waitForJob();
    const std::string bearer = "Authorization: Bearer " + token + "\r\n";
    const std::string json = "Content-Type: application/json\r\n";
    const std::string check = R"({"rows":[]})";
    const std::string p = std::to_string(port);
    const struct {
        const char* what;
        std::string raw;
        int status;
    } cases[] = {
        {"the page with its token", httpRequest("GET", "/", port, bearer), 200},
        {"wrong Host", httpRequest("GET", "/api/job", port, "Host: attacker.example:" + p + "\r\n" + bearer), 403},
        {"wrong Host, page", httpRequest("GET", "/", port, "Host: rebound.example:" + p + "\r\n"), 403},
        {"Host without the port", httpRequest("GET", "/api/job", port, "Host: 127.0.0.1\r\n" + bearer), 403},
        {"localhost", httpRequest("GET", "/api/job", port, "Host: localhost:" + p + "\r\n" + bearer), 200},
        {"no token, API", httpRequest("GET", "/api/controllers", port, ""), 401},
        {"no token, page", httpRequest("GET", "/", port, ""), 401},
        {"no token, script", httpRequest("GET", "/page.js", port, ""), 401},
        {"wrong token", httpRequest("GET", "/api/job", port, "Authorization: Bearer " + token.substr(1) + "0\r\n"),
         401},
        {"wrong token in the URL", httpRequest("GET", "/?token=" + std::string(32, '0'), port, ""), 401},
        {"foreign cookie name", httpRequest("GET", "/api/job", port, "Cookie: brevindor_1=" + token + "\r\n"), 401},
        {"foreign Origin",
         httpRequest("POST", "/api/check", port, bearer + json + "Origin: http://evil.example\r\n", check), 403},
        {"null Origin", httpRequest("POST", "/api/check", port, bearer + json + "Origin: null\r\n", check), 403},
        {"own Origin",
         httpRequest("POST", "/api/check", port, bearer + json + "Origin: http://127.0.0.1:" + p + "\r\n", check), 200},
        {"text/plain POST", httpRequest("POST", "/api/scan", port, bearer + "Content-Type: text/plain\r\n", "{}"), 415},
        {"form POST",
         httpRequest("POST", "/api/scan", port, bearer + "Content-Type: application/x-www-form-urlencoded\r\n", "a=b"),
         415},
        {"DELETE", httpRequest("DELETE", "/api/job", port, bearer), 405},
        {"GET of a POST call", httpRequest("GET", "/api/apply", port, bearer), 405},
        {"the check of this computer from a foreign Origin",
         httpRequest("POST", "/api/doctor", port, bearer + json + "Origin: http://evil.example\r\n", "{}"), 403},
        {"the check of this computer as text/plain",
         httpRequest("POST", "/api/doctor", port, bearer + "Content-Type: text/plain\r\n", "{}"), 415},
        {"the findings without a token", httpRequest("GET", "/api/doctor", port, ""), 401},
        {"the findings before any check", httpRequest("GET", "/api/doctor", port, bearer), 404},
        {"PUT of the check", httpRequest("PUT", "/api/doctor", port, bearer), 405},
        {"not JSON", httpRequest("POST", "/api/check", port, bearer + json, "{rows"), 400},
        {"rows of the wrong kind", httpRequest("POST", "/api/check", port, bearer + json, R"({"rows":[{"mac":1}]})"),
         400},
        {"unknown call", httpRequest("GET", "/api/nothing", port, bearer), 404},
        {"header over 16 KiB",
         httpRequest("GET", "/api/job", port, bearer + "X-Pad: " + std::string((size_t)17 * 1024, 'a') + "\r\n"), 431},
        {"body over 1 MiB", httpRequest("POST", "/api/check", port, bearer + json, std::string(1024 * 1024 + 1, ' ')),
         413},
        {"body over 1 MiB, announced only",
         "POST /api/check HTTP/1.1\r\nHost: 127.0.0.1:" + p + "\r\n" + bearer + json +
             "Content-Length: 99999999\r\n\r\n{",
         413},
        {"malformed request line", "GARBAGE\r\n\r\n", 400},
        {"malformed header", "GET /api/job HTTP/1.1\r\nHost 127.0.0.1\r\n\r\n", 400},
    };
    for (const auto& c : cases) {
        HttpAnswer a = httpExchange(port, c.raw);
        EXPECT_EQ(a.status, c.status) << c.what << ": " << a.body;
        EXPECT_EQ(a.headers["content-security-policy"], "default-src 'self'; frame-ancestors 'none'") << c.what;
        EXPECT_EQ(a.headers["x-content-type-options"], "nosniff") << c.what;
        EXPECT_EQ(a.headers["referrer-policy"], "no-referrer") << c.what;
        EXPECT_EQ(a.headers["cache-control"], "no-store") << c.what;
        EXPECT_EQ(a.headers.count("access-control-allow-origin"), 0u) << c.what;
    }
    // The token in the URL once: a cookie for the page, and a redirect to the bare URL.
    HttpAnswer login = httpExchange(port, httpRequest("GET", "/?token=" + token, port, ""));
    EXPECT_EQ(login.status, 303);
    EXPECT_EQ(login.headers["location"], "/");
    std::string cookie = "brevindor_" + p + "=" + token;
    EXPECT_EQ(login.headers["set-cookie"], cookie + "; HttpOnly; SameSite=Strict; Path=/");
    EXPECT_EQ(httpExchange(port, httpRequest("GET", "/api/job", port, "Cookie: a=b; " + cookie + "\r\n")).status, 200);
    EXPECT_EQ(settingsIn(received()), std::set<std::string>());
}

TEST_F(Web, IdleConnectionsDoNotStopItServing)
{
    controllers({web(1)});
    start({"--timeout", "0.3"});
    std::vector<int> idle;
    for (int i = 0; i < 64; ++i) {
        idle.push_back(httpConnect(port));
        if (i % 2 == 0) {
            ASSERT_GT(write(idle.back(), "GET / HTTP/1.1\r\nHost: 127.0", 27), 0);   // slow: half a request
        }
    }
    auto before = std::chrono::steady_clock::now();
    EXPECT_EQ(call("GET", "/api/job").status, 200);
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(5));
    for (int fd : idle) {
        close(fd);
    }
}

// Each option reaches its own setting and no other. The controllers: 2 answers 1.2 s late, 1
// takes a setting 2.5 s after it arrives.
TEST_F(Web, EachOptionSetsItsOwnSetting)
{
    controllers({web(1, "setdelay=2500"), web(2, "delay=1200")});
    const std::string undoDir = dir + "/undo";
    ASSERT_EQ(mkdir(undoDir.c_str(), 0700), 0);
    const std::string bin = dir + "/bin";   // a browser opener that only notes the address it got
    ASSERT_EQ(mkdir(bin.c_str(), 0700), 0);
    file("bin/xdg-open", "#!/bin/sh\nprintf '%s\\n' \"$1\" >>" + dir + "/opened\n");
    ASSERT_EQ(chmod((bin + "/xdg-open").c_str(), 0700), 0);
    int probe = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);   // a port that is free now
    sockaddr_in at = {};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof at;
    ASSERT_EQ(bind(probe, (const sockaddr*)&at, sizeof at), 0);
    ASSERT_EQ(getsockname(probe, (sockaddr*)&at, &size), 0);
    const int freePort = ntohs(at.sin_port);
    close(probe);
    // A new IP each time: the controller keeps what it was given.
    auto apply = [](int ip) {
        return R"({"rows":[{"mac":"00.1a.2b.3c.00.01","ip":"192.168.1.)" + std::to_string(ip) + "\"}]}";
    };
    const std::string quick = "0.3";   // a scan's quiet time that ends before 2 answers

    const struct {
        const char* what;
        std::vector<std::string> args;
        bool browser;
        std::function<void()> check;
    } cases[] = {
        {"--timeout: the scan's quiet time, not the verify time",
         {"--timeout", quick},
         false,
         [&]() {
             EXPECT_EQ(waitForJob()["status"], 0);
             EXPECT_EQ(get("/api/controllers").size(), 1u) << "the scan waited for the late answer";
             ASSERT_EQ(call("POST", "/api/apply", apply(51)).status, 202);
             EXPECT_EQ(waitForJob()["status"], 0) << "the setting taken after 2.5 s was not verified";
         }},
        {"--verify-time: the verify time, not the scan's quiet time",
         {"--verify-time", "1"},
         false,
         [&]() {
             EXPECT_EQ(waitForJob()["status"], 0);
             EXPECT_EQ(get("/api/controllers").size(), 2u) << "the scan did not wait 2 s for the late answer";
             ASSERT_EQ(call("POST", "/api/apply", apply(52)).status, 202);
             EXPECT_EQ(waitForJob()["status"], 4) << "verified a setting taken after 2.5 s within 1 s";
         }},
        {"--port",
         {"--timeout", quick, "--port", std::to_string(freePort)},
         false,
         [&]() {
             EXPECT_EQ(port, freePort) << url;
             EXPECT_EQ(call("GET", "/api/job").status, 200);
         }},
        {"--listen",
         {"--timeout", quick, "--listen", "127.0.0.5"},
         false,
         [&]() {
             EXPECT_EQ(address, "127.0.0.5") << url;
             EXPECT_EQ(call("GET", "/api/job").status, 200);
             EXPECT_EQ(httpExchange(port, httpRequest("GET", "/api/job", port, ""), 2).status, 0)
                 << "it serves on 127.0.0.1 too";
             EXPECT_NE(readFile(dir + "/web.err").find("warning: serving on 127.0.0.5"), std::string::npos);
         }},
        {"--undo-dir",
         {"--timeout", quick, "--undo-dir", undoDir},
         false,
         [&]() {
             waitForJob();
             ASSERT_EQ(call("POST", "/api/apply", apply(53)).status, 202);
             std::string path = waitForJob()["undo_file"];
             EXPECT_EQ(path.compare(0, undoDir.size() + 1, undoDir + "/"), 0) << path;
             EXPECT_TRUE(fileExists(path)) << path;
         }},
        {"--interface: the first scan's and the default of later ones",
         {"--timeout", quick, "--interface", "brvnone"},
         false,
         [&]() {
             json job = waitForJob();
             EXPECT_EQ(job["status"], 2);
             EXPECT_NE(job.value("message", "").find("brvnone"), std::string::npos) << job.dump();
             ASSERT_EQ(call("POST", "/api/scan", "{}").status, 202);
             EXPECT_EQ(waitForJob()["status"], 2);
             ASSERT_EQ(call("POST", "/api/scan", R"({"interface":"127.0.0.1"})").status, 202);
             EXPECT_EQ(waitForJob()["status"], 0);
         }},
        {"without --no-browser: the page is opened",
         {"--timeout", quick},
         true,
         [&]() {
             auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
             while (!fileExists(dir + "/opened") && std::chrono::steady_clock::now() < end) {
                 std::this_thread::sleep_for(std::chrono::milliseconds(20));
             }
             // A file only this user can read, never the address with its token (see web_server_test.cpp).
             std::string opened = readFile(dir + "/opened");
             const std::string name = "/brevindor-web.html\n";
             EXPECT_EQ(opened.compare(opened.size() < name.size() ? 0 : opened.size() - name.size(), name.size(), name),
                       0)
                 << opened;
             EXPECT_EQ(opened.find(token), std::string::npos) << opened;
         }},
    };
    const char* path = getenv("PATH");
    const std::string before = path != nullptr ? path : "/usr/bin:/bin";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        unlink((dir + "/opened").c_str());
        setenv("PATH", bin.c_str(), 1);   // the opener above, and no other
        start(c.args, c.browser);
        setenv("PATH", before.c_str(), 1);
        if (server.pid <= 0) {
            continue;
        }
        c.check();
        stop();
        if (!c.browser) {
            EXPECT_FALSE(fileExists(dir + "/opened")) << "a browser was opened";
        }
    }
}

// A plan as large as a request may be is read whole; one byte more is refused unread.
TEST_F(Web, PlanImportUpToTheBodyLimit)
{
    controllers({web(1)});
    start({"--timeout", "0.3"});
    waitForJob();
    const size_t limit = (size_t)1024 * 1024;
    const std::string lead = R"({"text":"mac,ip\n)";
    std::string text;
    size_t rows = 0;
    char line[64];
    for (;; ++rows) {
        int n = snprintf(line, sizeof line, "00:1a:2b:%02zx:%02zx:%02zx,10.%zu.%zu.%zu\\n", rows >> 16,
                         (rows >> 8) & 255, rows & 255, rows / 64000, rows / 250 % 256, rows % 250 + 1);
        if (lead.size() + text.size() + (size_t)n + 2 > limit) {
            break;
        }
        text += line;
    }
    std::string body = lead + text + "\"}";
    body += std::string(limit - body.size(), ' ');   // JSON may end in white space
    ASSERT_EQ(body.size(), limit);
    HttpAnswer a = call("POST", "/api/plan", body, "", 60);
    ASSERT_EQ(a.status, 200) << a.body.substr(0, 300);
    json plan = json::parse(a.body, nullptr, false);
    ASSERT_EQ(plan["errors"].size(), 0u) << plan["errors"].dump().substr(0, 300);
    ASSERT_EQ(plan["rows"].size(), rows);
    const json& last = plan["rows"][rows - 1];
    (void)snprintf(line, sizeof line, "00.1a.2b.%02zx.%02zx.%02zx", (rows - 1) >> 16, ((rows - 1) >> 8) & 255,
                   (rows - 1) & 255);
    EXPECT_EQ(last["mac"], line);
    EXPECT_EQ(last["line"], rows + 1);

    HttpAnswer over = call("POST", "/api/plan", body + " ");
    EXPECT_EQ(over.status, 413) << over.body;
    EXPECT_EQ(call("GET", "/api/job").status, 200) << "it stopped serving";
}

// A new scan empties the table and tells every row again, the unchanged ones too.
TEST_F(Web, SecondScanTellsEveryRowAgain)
{
    controllers({web(1), web(2), web(3)});
    start({"--timeout", "0.3"});
    waitForJob();
    int events = httpConnect(port);
    ASSERT_GE(events, 0);
    std::string request = httpRequest("GET", "/api/events", port, "Authorization: Bearer " + token + "\r\n");
    ASSERT_EQ(write(events, request.data(), request.size()), (ssize_t)request.size());
    std::string first;   // reset, rows, then the job's end
    ASSERT_TRUE(readUntil(events, &first, "\"undo_file\":null}\n\n", 10)) << first;
    ASSERT_EQ(call("POST", "/api/scan", "{}").status, 202);
    std::string after;
    EXPECT_TRUE(readUntil(events, &after, "\"running\":false", 15)) << after;
    close(events);
    size_t reset = after.find("event: reset\n");
    ASSERT_NE(reset, std::string::npos) << after;
    for (const char* mac : {"00.1a.2b.3c.00.01", "00.1a.2b.3c.00.02", "00.1a.2b.3c.00.03"}) {
        EXPECT_NE(after.find(std::string("\"mac\":\"") + mac + "\"", reset), std::string::npos)
            << mac << " not told again: " << after;
    }
    EXPECT_EQ(get("/api/controllers").size(), 3u);
}

namespace {

// One target typed the same way into a plan, set's options and the page.
struct Typed {
    std::string mac, ip, gateway, mask;
};

// Controller k's MAC answering from controller other's sender address.
Ctl webClone(int k, int other)
{
    Ctl c = web(k);
    c.from = ctl(other).from;
    return c;
}

std::vector<std::string> operator+(std::vector<std::string> a, const std::vector<std::string>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// A plan of these rows: the header and one line each (no field here needs quotes).
std::string planOf(const std::vector<Typed>& rows)
{
    std::string text = "mac,ip,gateway,mask\n";
    for (const Typed& t : rows) {
        text += t.mac + "," + t.ip + "," + t.gateway + "," + t.mask + "\n";
    }
    return text;
}

json rowsJson(const std::vector<Typed>& rows)
{
    json list = json::array();
    for (const Typed& t : rows) {
        json row = {{"mac", t.mac}};
        for (const auto& f :
             {std::make_pair("ip", t.ip), std::make_pair("gateway", t.gateway), std::make_pair("mask", t.mask)}) {
            if (!f.second.empty()) {
                row[f.first] = f.second;
            }
        }
        list.push_back(row);
    }
    return list;
}

}   // namespace

// The same rows through a plan, set and the page's check: the same verdict and, once each front
// end's frame is taken off (the plan's file and line, set's option, the page's row), the same words;
// a hint names each one's own way to fix a kept field.
TEST_F(Web, ParityOfPlanSetAndPage)
{
    controllers({web(1), web(2)});
    start({"--timeout", "0.3"});
    waitForJob();
    const std::string M1 = "00:1a:2b:3c:00:01";
    const std::string FORM = ": four decimal numbers 0 to 255, no leading zeros";
    const std::string KEPT = "00.1a.2b.3c.00.01: gateway 192.168.1.1 is outside the subnet 10.0.0.0/24 of IP 10.0.0.5";
    const struct {
        const char* what;
        std::vector<Typed> rows;
        std::string words;                     // frame-free
        const char* option;                    // set's option framing a row's fault; nullptr: a refusal
        std::vector<std::string> hints = {};   // the plan's, set's and the page's, after the words
    } cases[] = {
        {"a NUL in a MAC",
         {{M1 + std::string("\0junk", 5), "192.168.1.60", "", ""}},
         "bad MAC address '00:1a:2b:3c:00:01?junk': six hex pairs joined by ':', '.' or '-', or twelve hex digits",
         "--mac"},
        {"a 5,000-character cell",
         {{M1, std::string(5000, '9'), "", ""}},
         "bad IP address '" + std::string(40, '9') + "...'" + FORM,
         "--ip"},
        {"control characters", {{M1, "", "\x1b[31m1.2.3.4", ""}}, "bad gateway '?[31m1.2.3.4'" + FORM, "--gateway"},
        {"an octet past 255", {{M1, "300.1.1.1", "", ""}}, "bad IP address '300.1.1.1'" + FORM, "--ip"},
        {"a mask that is no prefix",
         {{M1, "", "", "255.0.255.0"}},
         "00.1a.2b.3c.00.01: mask 255.0.255.0 is not a contiguous prefix",
         nullptr},
        {"the subnet's broadcast",
         {{M1, "192.168.1.255", "", ""}},
         "00.1a.2b.3c.00.01: IP 192.168.1.255 is the broadcast address of its subnet 192.168.1.0/24",
         nullptr},
        {"loopback",
         {{M1, "127.0.0.9", "0.0.0.0", ""}},
         "00.1a.2b.3c.00.01: IP 127.0.0.9 is a loopback address (127.0.0.0/8)",
         nullptr},
        {"an IP another keeps",
         {{M1, "192.168.1.22", "", ""}},
         "00.1a.2b.3c.00.01: IP 192.168.1.22 is in use by 00.1a.2b.3c.00.02, which keeps it",
         nullptr},
        {"a kept gateway",
         {{M1, "10.0.0.5", "", ""}},
         KEPT,
         nullptr,
         {" (kept from the controller; fill in its gateway column, or 0.0.0.0 for none)",
          " (kept from the controller; give --gateway, or --gateway 0.0.0.0 for none)",
          " (kept from the controller; type its gateway, or 0.0.0.0 for none)"}},
    };
    // Long enough a settle time that every controller, not only the planned one, is heard.
    const std::vector<std::string> LO = {"--interface", "127.0.0.1", "--timeout", "0.3", "--settle", "0.5"};
    for (const auto& c : cases) {
        std::vector<std::string> hint = c.hints.empty() ? std::vector<std::string>(3) : c.hints;
        file("parity.csv", planOf(c.rows));
        ToolRun plan = batch(std::vector<std::string>{"apply", "parity.csv", "--dry-run"} + LO);
        EXPECT_EQ(plan.exitCode, 2) << c.what << "\n" << plan.err;
        EXPECT_NE(plan.err.find("parity.csv:2: " + c.words + hint[0] + "\n"), std::string::npos) << c.what << "\n"
                                                                                                 << plan.err;

        const Typed& t = c.rows[0];
        if (t.mac.find('\0') == std::string::npos) {   // a command line holds no NUL
            std::vector<std::string> args = {"set", "--mac", t.mac};
            for (const auto& f : {std::make_pair("--ip", t.ip), std::make_pair("--gateway", t.gateway),
                                  std::make_pair("--mask", t.mask)}) {
                if (!f.second.empty()) {
                    args.insert(args.end(), {f.first, f.second});
                }
            }
            ToolRun set = batch(args + LO);
            EXPECT_EQ(set.exitCode, 2) << c.what << "\n" << set.err;
            std::string frame =
                std::string("brevindor-batch: ") + (c.option != nullptr ? c.option + std::string(": ") : "");
            EXPECT_NE(set.err.find(frame + c.words + hint[1] + "\n"), std::string::npos) << c.what << "\n" << set.err;
        }

        json check = json::parse(call("POST", "/api/check", json{{"rows", rowsJson(c.rows)}}.dump()).body);
        ASSERT_EQ(check["refusals"].size(), 1u) << c.what << check.dump();
        EXPECT_EQ(check["refusals"][0]["reason"], c.words + hint[2]) << c.what;
    }

    // Rows given twice: a plan's line, the page's row.
    std::vector<Typed> twice = {{M1, "192.168.1.60", "", ""}, {"00-1A-2B-3C-00-01", "192.168.1.61", "", ""}};
    file("parity.csv", planOf(twice));
    ToolRun plan = batch(std::vector<std::string>{"apply", "parity.csv", "--dry-run"} + LO);
    EXPECT_EQ(plan.exitCode, 2);
    const std::string words = "MAC '00-1A-2B-3C-00-01' is given twice";
    EXPECT_NE(plan.err.find("parity.csv:3: " + words + " (first on line 2)\n"), std::string::npos) << plan.err;
    json check = json::parse(call("POST", "/api/check", json{{"rows", rowsJson(twice)}}.dump()).body);
    ASSERT_EQ(check["refusals"].size(), 1u) << check.dump();
    EXPECT_EQ(check["refusals"][0]["reason"], words + " (first in row 1)");
    EXPECT_EQ(settingsIn(received()), std::set<std::string>()) << "nothing sent by any of them";
}

// The same situations end with the same status through apply and the page's job.
TEST_F(Web, ParityOfStatuses)
{
    controllers({web(1), web(2, "settings=ignore"), web(3), webClone(3, 4)});
    start({"--timeout", "0.3", "--verify-time", "1"});
    waitForJob();
    const std::vector<std::string> LO = {"--interface", "127.0.0.1", "--timeout", "0.3", "--verify-time", "1"};
    const struct {
        const char* what;
        std::string mac;
        std::string ip;
        int status;
    } cases[] = {
        {"verified", "00:1a:2b:3c:00:01", "192.168.1.61", 0},
        {"not confirmed", "00:1a:2b:3c:00:02", "192.168.1.62", 4},
        {"a clone", "00:1a:2b:3c:00:03", "192.168.1.63", 5},
    };
    for (const auto& c : cases) {
        json rows = json::array({{{"mac", c.mac}, {"ip", c.ip}}});
        ASSERT_EQ(call("POST", "/api/apply", json{{"rows", rows}}.dump()).status, 202) << c.what;
        json job = waitForJob();
        EXPECT_EQ(job["status"], c.status) << c.what;
        file("parity.csv", "mac,ip\n" + c.mac + "," + c.ip + "\n");
        ToolRun apply = batch(std::vector<std::string>{"apply", "parity.csv"} + LO);
        EXPECT_EQ(apply.exitCode, c.status) << c.what << "\n" << apply.err;
    }
}

// An undo folder that can't be written: exit 3 for apply, status 3 for the page, nothing sent.
TEST_F(Web, ParityOfAnUndoPlaceThatCantBeWritten)
{
    controllers({web(1)});
    start({"--timeout", "0.3", "--undo-dir", dir + "/no-such-folder"});
    waitForJob();
    ASSERT_EQ(call("POST", "/api/apply", R"({"rows":[{"mac":"00:1a:2b:3c:00:01","ip":"192.168.1.61"}]})").status, 202);
    json job = waitForJob();
    EXPECT_EQ(job["status"], 3);
    EXPECT_NE(job["message"].get<std::string>().find("can't write the undo file " + dir + "/no-such-folder/"),
              std::string::npos)
        << job.dump();
    file("parity.csv", "mac,ip\n00:1a:2b:3c:00:01,192.168.1.61\n");
    ToolRun apply = batch({"apply", "parity.csv", "--interface", "127.0.0.1", "--undo", dir + "/no-such-folder/u.csv"});
    EXPECT_EQ(apply.exitCode, 3) << apply.err;
    EXPECT_EQ(settingsIn(received()), std::set<std::string>());
}

namespace {

// The watch's events kept by the server: each MAC's in their order.
std::map<std::string, std::vector<std::string>> watchEvents(const json& watch)
{
    std::map<std::string, std::vector<std::string>> each;
    for (const json& e : watch["events"]) {
        each[e["mac"]].push_back(e["event"]);
    }
    return each;
}

}   // namespace

TEST_F(Web, WatchTellsEachEventAndHoldsOffEveryOtherJob)
{
    // Once the watch asks (every 2 s, from about 1.5 s on): the second falls silent for three asks,
    // the third starts late.
    controllers({web(1), web(2, "silent=6000ms-12000ms"), web(3, "start=6000ms")});
    start({"--timeout", "0.3"});
    waitForJob();
    int events = httpConnect(port);
    ASSERT_GE(events, 0);
    std::string request = httpRequest("GET", "/api/events", port, "Authorization: Bearer " + token + "\r\n");
    ASSERT_EQ(write(events, request.data(), request.size()), (ssize_t)request.size());

    ASSERT_EQ(call("POST", "/api/watch", R"({"on":true})").status, 202);
    json job = get("/api/job");
    EXPECT_TRUE(job["running"]);
    EXPECT_EQ(job["kind"], "watch");
    const std::string busy =
        R"({"error":"the watch is on: turn Watch off before a scan, an apply, a replacement or a check of this computer"})";
    const struct {
        const char* path;
        const char* body;
    } held[] = {
        {"/api/watch", R"({"on":true})"},
        {"/api/scan", "{}"},
        {"/api/apply", R"({"rows":[{"mac":"00.1a.2b.3c.00.01","ip":"192.168.1.70"}]})"},
        {"/api/replace", R"({"old":"00.1a.2b.3c.00.02","new":"00.1a.2b.3c.00.03"})"},
    };
    for (const auto& h : held) {
        HttpAnswer a = call("POST", h.path, h.body);
        EXPECT_EQ(a.status, 409) << h.path;
        EXPECT_EQ(a.body, busy) << h.path;
    }
    EXPECT_EQ(call("POST", "/api/watch", R"({"on":"yes"})").status, 400);

    std::string stream;
    EXPECT_TRUE(readUntil(events, &stream, "\"event\":\"back\"", 25)) << stream;
    close(events);
    EXPECT_NE(stream.find("event: watch\ndata: {\"time\":\""), std::string::npos) << stream;
    const std::map<std::string, std::vector<std::string>> told = {
        {"00.1a.2b.3c.00.01", {"present"}},
        {"00.1a.2b.3c.00.02", {"present", "gone", "back"}},
        {"00.1a.2b.3c.00.03", {"appeared"}},
    };
    json watch = get("/api/watch");
    EXPECT_TRUE(watch["on"]);
    EXPECT_EQ(watchEvents(watch), told) << watch.dump();
    EXPECT_EQ(row(get("/api/controllers"), "00.1a.2b.3c.00.03")["ip"], "192.168.1.23") << "a MAC that appeared joins";

    HttpAnswer off = call("POST", "/api/watch", R"({"on":false})");
    EXPECT_EQ(off.status, 200) << off.body;
    job = waitForJob(5);
    EXPECT_EQ(job["kind"], "watch");
    EXPECT_EQ(job["status"], 0);
    EXPECT_FALSE(get("/api/watch")["on"]);
    EXPECT_EQ(call("POST", "/api/watch", R"({"on":false})").status, 200) << "off when off: nothing";
    EXPECT_EQ(call("POST", "/api/scan", R"({"timeout":0.2})").status, 202);
    waitForJob();
    // A stop while the watch is on ends it, and the program, at once: with 0, as a watch of
    // brevindor-batch ended by a signal.
    ASSERT_EQ(call("POST", "/api/watch", R"({"on":true})").status, 202);
    auto stopping = std::chrono::steady_clock::now();
    EXPECT_EQ(stopBackground(server, SIGINT), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - stopping, std::chrono::seconds(2));
    EXPECT_EQ(settingsIn(received()), std::set<std::string>());
}

TEST_F(Web, ReplaceGivesTheNewControllerTheOldOnesValuesOnlyOnceItIsGone)
{
    // The first scan is request 1: the first is off from then on, the fourth starts after it.
    controllers({web(1, "silent=2-"), web(2), web(4, "start=2")});
    start({"--timeout", "0.3", "--verify-time", "2"});
    waitForJob();
    const struct {   // NOLINT(clang-analyzer-optin.performance.Padding): in the order a row reads
        const char* what;
        const char* body;
        int status;
        std::string error;     // a refusal's words; empty: started
        int jobStatus;         // once it ended
        std::string message;   // in how it ended
    } cases[] = {
        {"the old one still answers", R"({"old":"00.1a.2b.3c.00.02","new":"00.1a.2b.3c.00.04"})", 202, "",
         EXIT_CONFLICT, "the controller 00.1a.2b.3c.00.02 still answers"},
        {"the new one is missing", R"({"old":"00.1a.2b.3c.00.01","new":"00.1a.2b.3c.00.09"})", 202, "", EXIT_NOT_FOUND,
         ""},
        {"the old one is not in the table", R"({"old":"00.1a.2b.3c.00.08","new":"00.1a.2b.3c.00.04"})", 400,
         "the table has no row for 00.1a.2b.3c.00.08; nothing sent"},
        {"one controller twice", R"({"old":"00.1a.2b.3c.00.01","new":"00:1a:2b:3c:00:01"})", 400,
         "the old and the new MAC name the same controller"},
        {"no MAC", R"({"old":"00.1a.2b.3c.00.01","new":"pump"})", 400, "new: bad MAC"},
        {"no new", R"({"old":"00.1a.2b.3c.00.01"})", 400, "new: a MAC as a string"},
    };
    for (const auto& c : cases) {
        HttpAnswer a = call("POST", "/api/replace", c.body);
        ASSERT_EQ(a.status, c.status) << c.what << ": " << a.body;
        if (c.status != 202) {
            std::string error = json::parse(a.body)["error"];
            EXPECT_EQ(error.compare(0, c.error.size(), c.error), 0) << c.what << ": " << error;
            continue;
        }
        json job = waitForJob();
        EXPECT_EQ(job["status"], c.jobStatus) << c.what << ": " << job.dump();
        std::string message = job["message"].is_string() ? job["message"].get<std::string>() : "";
        EXPECT_NE(message.find(c.message), std::string::npos) << c.what << ": " << message;
    }
    ASSERT_EQ(call("POST", "/api/replace", R"({"old":"00.1a.2b.3c.00.01","new":"00.1a.2b.3c.00.04"})").status, 202);
    json job = waitForJob();
    EXPECT_EQ(job["status"], 0) << job.dump();
    json outcomes = get("/api/outcomes");
    ASSERT_EQ(outcomes.size(), 1u);
    EXPECT_EQ(outcomes[0]["mac"], "00.1a.2b.3c.00.04");
    EXPECT_EQ(outcomes[0]["state"], "verified");
    EXPECT_EQ(outcomes[0]["after_ip"], "192.168.1.21");
    std::set<std::string> only = {settingLogLine("00.1a.2b.3c.00.04", "192.168.1.21", "192.168.1.1", "255.255.255.0")};
    EXPECT_EQ(settingsIn(received()), only);
}

TEST_F(Web, WatchWhereNoInterfaceCanBeChosenEndsAsTheScanDid)
{
    controllers({web(1)});
    start({"--timeout", "0.3", "--interface", "brvnone"});
    json scan = waitForJob();
    ASSERT_NE(scan["status"], 0) << scan.dump();
    ASSERT_EQ(call("POST", "/api/watch", R"({"on":true})").status, 202);
    json watch = waitForJob(5);
    EXPECT_EQ(watch["kind"], "watch");
    EXPECT_EQ(watch["status"], scan["status"]);
    EXPECT_EQ(watch["message"], scan["message"]);
    EXPECT_FALSE(get("/api/watch")["on"]);
}
