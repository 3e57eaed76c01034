#include "web/gate.h"

#include <cctype>

#include "web/token.h"

static std::string lower(std::string text)
{
    for (char& c : text) {
        c = (char)tolower((unsigned char)c);
    }
    return text;
}

static std::string trimmed(const std::string& text)
{
    size_t from = text.find_first_not_of(" \t");
    if (from == std::string::npos) {
        return "";
    }
    size_t to = text.find_last_not_of(" \t");
    return text.substr(from, to - from + 1);
}

std::string cookieName(const GateConfig& c)
{
    return "brevindor_" + std::to_string(c.port);
}

std::string sessionCookie(const GateConfig& c)
{
    return cookieName(c) + "=" + c.token + "; HttpOnly; SameSite=Strict; Path=/";
}

static bool hostAllowed(const std::string& host, const GateConfig& c)
{
    std::string h = lower(host);
    std::string port = ":" + std::to_string(c.port);
    return h == "127.0.0.1" + port || h == "localhost" + port || (!c.listen.empty() && h == c.listen + port);
}

// The value of the named cookie in a Cookie header, or empty.
static std::string cookieValue(const std::string& header, const std::string& name)
{
    size_t at = 0;
    while (at <= header.size()) {
        size_t end = header.find(';', at);
        std::string pair = trimmed(header.substr(at, end == std::string::npos ? std::string::npos : end - at));
        size_t equals = pair.find('=');
        if (equals != std::string::npos && pair.substr(0, equals) == name) {
            return pair.substr(equals + 1);
        }
        if (end == std::string::npos) {
            break;
        }
        at = end + 1;
    }
    return "";
}

static bool hasToken(const GateRequest& r, const GateConfig& c)
{
    std::string cookie = cookieValue(r.cookie, cookieName(c));
    if (!cookie.empty() && sameToken(cookie, c.token)) {
        return true;
    }
    const std::string bearer = "bearer ";
    std::string auth = trimmed(r.authorization);
    return lower(auth.substr(0, bearer.size())) == bearer && sameToken(trimmed(auth.substr(bearer.size())), c.token);
}

int gateStatus(const GateRequest& r, const GateConfig& c)
{
    if (!hostAllowed(r.host, c)) {
        return 403;
    }
    bool page = r.path == "/" && r.method == "GET";
    if (page && r.hasQueryOnce && sameToken(r.queryOnce, c.once)) {
        return GATE_LAUNCH;
    }
    if (page && r.hasQueryToken) {
        return sameToken(r.queryToken, c.token) ? GATE_LOGIN : 401;
    }
    if (!hasToken(r, c)) {
        return 401;
    }
    if (r.method == "GET" || r.method == "HEAD") {
        return GATE_PASS;
    }
    if (r.method != "POST") {
        return 405;
    }
    if (r.hasOrigin && lower(r.origin) != "http://" + lower(r.host)) {
        return 403;
    }
    std::string type = lower(trimmed(r.contentType.substr(0, r.contentType.find(';'))));
    return type == "application/json" ? GATE_PASS : 415;
}
