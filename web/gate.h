// Who may call what: the one decision on every request, from its Host, its token (in the URL, the
// cookie or an Authorization header), its Origin, its method and its content type. Pure: the
// server gives the request's parts (the head alone: a refused request's body is never read) and
// acts on the status.
#pragma once

#include <string>

struct GateConfig {
    std::string token;
    int port;
    std::string listen;   // --listen's address, or empty
    std::string once;     // the launcher file's one-time token; empty without one, or once spent
};

// The parts of a request the decision needs; a header that is absent is empty (has says which).
struct GateRequest {
    std::string method;
    std::string path;   // without the query
    bool hasQueryToken;
    std::string queryToken;   // ?token=
    bool hasQueryOnce;
    std::string queryOnce;   // ?once=
    std::string host;
    std::string cookie;
    std::string authorization;
    bool hasOrigin;
    std::string origin;
    std::string contentType;
};

const int GATE_PASS = 0;
const int GATE_LOGIN = 303;   // the right token in the URL: set the cookie, redirect to the bare URL
// The launcher file's one-time token in the URL: the server spends it (empties c.once), sets the
// cookie on a page of its own that moves on to the bare URL. A redirect would not do: the file is
// another site, and a SameSite=Strict cookie set on a redirect from there is not sent on the
// request that follows it.
const int GATE_LAUNCH = 1;

// GATE_PASS, GATE_LOGIN, GATE_LAUNCH, or the status of the refusal: 403 (Host, Origin), 401 (no
// token), 405 (method), 415 (a POST that is not JSON). A spent or wrong one-time token is as none.
int gateStatus(const GateRequest& r, const GateConfig& c);

// The name of the session cookie; the port is part of it, as a browser keeps cookies by host only.
std::string cookieName(const GateConfig& c);
// The Set-Cookie value that gives a browser the session.
std::string sessionCookie(const GateConfig& c);
