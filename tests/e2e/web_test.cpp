// brevindor-web through its HTTP API, against the stand-in: scan, apply and verify, refusals,
// one job at a time, undo, a stop during an apply, and requests from whoever is not the page.
#include <nlohmann/json.hpp>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <set>
#include <thread>

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
         "00.1a.2b.3c.00.01: IP '192.168.1.300' is no address: four decimal numbers 0 to 255, no leading zeros"},
        {R"([{"mac":"00.1a.2b.3c.00.01","gateway":"10.0.0.1"}])",
         "00.1a.2b.3c.00.01: gateway 10.0.0.1 is outside the subnet 192.168.1.0/24 of IP 192.168.1.21"},
        {R"([{"mac":"00.1a.2b.3c.00.01","ip":"192.168.1.60"},{"mac":"00.1a.2b.3c.00.02","ip":"192.168.1.60"}])",
         "00.1a.2b.3c.00.02: IP 192.168.1.60 is also given to 00.1a.2b.3c.00.01"},
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
    waitForJob();
    EXPECT_EQ(call("POST", "/api/scan", R"({"timeout":0.2})").status, 202);
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
