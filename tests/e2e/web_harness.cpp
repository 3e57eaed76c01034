#include "e2e/web_harness.h"

#include <signal.h>
#include <stdio.h>

#include <chrono>
#include <thread>

#ifndef BREVINDOR_WEB_PATH
#error BREVINDOR_WEB_PATH must name the web program
#endif

using nlohmann::json;

void Web::TearDown()
{
    if (server.pid > 0) {
        std::string state = readFile("/proc/" + std::to_string(server.pid) + "/stat");
        bool alive = state.find(") Z") == std::string::npos && !state.empty();
        int status = stopBackground(server, SIGTERM);
        if (HasFailure()) {   // what the program said helps more than the failed check alone
            printf("the web program %s, status %d; its standard error:\n%s\n",
                   alive ? "still ran at the end" : "had ended before the end", status,
                   readFile(dir + "/web.err").c_str());
        }
    }
    Network::TearDown();
}

void Web::start(const std::vector<std::string>& more, bool browser, const std::vector<std::string>& program)
{
    std::string path = BREVINDOR_WEB_PATH;
    std::vector<std::string> args;
    if (!program.empty()) {
        path = program[0];
        args.assign(program.begin() + 1, program.end());
        args.push_back(BREVINDOR_WEB_PATH);
    }
    args.insert(args.end(), {"--interface", "127.0.0.1", "--undo-dir", dir});
    if (!browser) {
        args.push_back("--no-browser");
    }
    args.insert(args.end(), more.begin(), more.end());
    if (server.pid > 0) {
        stopBackground(server, SIGTERM);
    }
    server = Background();
    ASSERT_TRUE(startBackground(server, path, args, dir, "\n", dir + "/web.err")) << "the web program did not start";
    url = server.out.substr(0, server.out.find('\n'));
    const std::string lead = "http://";
    ASSERT_EQ(url.compare(0, lead.size(), lead), 0) << url;
    size_t colon = url.find(':', lead.size());
    ASSERT_NE(colon, std::string::npos) << url;
    address = url.substr(lead.size(), colon - lead.size());
    port = (int)strtol(url.c_str() + colon + 1, nullptr, 10);
    token = url.substr(url.find("/?token=") + 8);
    ASSERT_GE(token.size(), 32u);
}

void Web::stop()
{
    stopBackground(server, SIGTERM);
    server = Background();
}

HttpAnswer Web::call(const std::string& method, const std::string& path, const std::string& body,
                     const std::string& headers)
{
    std::string h =
        "Host: " + address + ":" + std::to_string(port) + "\r\n" + "Authorization: Bearer " + token + "\r\n" + headers;
    if (method == "POST") {
        h += "Content-Type: application/json\r\n";
    }
    return httpExchange(port, httpRequest(method, path, port, h, body), 10, address);
}

json Web::get(const std::string& path)
{
    HttpAnswer a = call("GET", path);
    EXPECT_EQ(a.status, 200) << path << ": " << a.body;
    return json::parse(a.body, nullptr, false);
}

json Web::waitForJob(double seconds)
{
    auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    json job;
    do {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        job = get("/api/job");
    } while (job.value("running", true) && std::chrono::steady_clock::now() < end);
    EXPECT_FALSE(job.value("running", true)) << "the job did not end";
    return job;
}

json Web::row(const json& table, const std::string& mac)
{
    for (const json& r : table) {
        if (r["mac"] == mac) {
            return r;
        }
    }
    return json();
}
