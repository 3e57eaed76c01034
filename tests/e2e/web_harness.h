// The web program's end-to-end fixture: the program started in the test's namespace, its address
// and token read from what it prints, and its API called as the page or a script would.
#pragma once

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

#include "e2e/harness.h"
#include "support/http.h"

class Web : public Network {
protected:
    void TearDown() override;

    // Starts the web program (with --no-browser unless browser) and reads its address from the
    // first line it prints. program: what runs it, as "prlimit --nofile=64:64", or empty.
    void start(const std::vector<std::string>& more = {}, bool browser = false,
               const std::vector<std::string>& program = {});
    // Stops the program as by SIGTERM, for a test that starts it again.
    void stop();

    HttpAnswer call(const std::string& method, const std::string& path, const std::string& body = "",
                    const std::string& headers = "");
    nlohmann::json get(const std::string& path);
    // Waits for the running job to end; its status.
    nlohmann::json waitForJob(double seconds = 30);
    static nlohmann::json row(const nlohmann::json& table, const std::string& mac);

    Background server;
    std::string url;       // the address it printed, with its token
    std::string address;   // the address it serves on
    int port = 0;
    std::string token;
};
