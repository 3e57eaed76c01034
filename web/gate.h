// Who may call what: the one decision on every request, from its Host, its token (in the URL, the
// cookie or an Authorization header), its Origin, its method and its content type. Pure: the
// server gives the request's parts and acts on the status.
#pragma once

#include <string>

struct GateConfig {
    std::string token;
    int port;
    std::string listen;   // --listen's address, or empty
};

// The parts of a request the decision needs; a header that is absent is empty (has says which).
struct GateRequest {
    std::string method;
    std::string path;   // without the query
    bool hasQueryToken;
    std::string queryToken;   // ?token=
    std::string host;
    std::string cookie;
    std::string authorization;
    bool hasOrigin;
    std::string origin;
    std::string contentType;
};

const int GATE_PASS = 0;
const int GATE_LOGIN = 303;   // the right token in the URL: set the cookie, redirect to the bare URL

// GATE_PASS, GATE_LOGIN, or the status of the refusal: 403 (Host, Origin), 401 (no token),
// 405 (method), 415 (a POST that is not JSON).
int gateStatus(const GateRequest& r, const GateConfig& c);

// The name of the session cookie; the port is part of it, as a browser keeps cookies by host only.
std::string cookieName(const GateConfig& c);
