// The API and the page's files: a request that passed the gate, answered from the session. The
// event stream (/api/events) is the server's own.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "web/session.h"

struct Answer {
    int status;
    std::string type;   // Content-Type
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;   // further headers
};

Answer route(Session& s, const std::string& method, const std::string& path, const std::string& body);

// An answer of this status with {"error": text}.
Answer errorAnswer(int status, const std::string& text);
