// The web program's parts that need no network: who the gate lets in, the token, and the JSON
// forms of a controller and an outcome that the page and the batch program share.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <cstring>
#include <set>

#include "report/formats.h"
#include "report/scan_forms.h"
#include "report/summary_forms.h"
#include "support/response.h"
#include "web/gate.h"
#include "web/token.h"

namespace {

const GateConfig CONFIG = {"00112233445566778899aabbccddeeff", 8080, "192.168.5.9", "ffeeddccbbaa99887766554433221100"};
const std::string TOKEN = CONFIG.token;
const std::string ONCE = CONFIG.once;

// A request from the page itself: every check passes.
GateRequest fromPage()
{
    GateRequest r;
    r.method = "GET";
    r.path = "/api/job";
    r.hasQueryToken = false;
    r.hasQueryOnce = false;
    r.host = "127.0.0.1:8080";
    r.cookie = "brevindor_8080=" + TOKEN;
    r.hasOrigin = false;
    return r;
}

// The browser coming from the launcher file: the page with the one-time token, no cookie yet.
GateRequest launched()
{
    GateRequest r = fromPage();
    r.path = "/";
    r.cookie = "";
    r.hasQueryOnce = true;
    r.queryOnce = ONCE;
    return r;
}

void spent(GateConfig& c)
{
    c.once.clear();
}

GateRequest post()
{
    GateRequest r = fromPage();
    r.method = "POST";
    r.path = "/api/apply";
    r.hasOrigin = true;
    r.origin = "http://127.0.0.1:8080";
    r.contentType = "application/json";
    return r;
}

}   // namespace

TEST(Gate, Decisions)
{
    const struct {
        const char* what;
        GateRequest (*base)();
        void (*change)(GateRequest&);
        int status;
        void (*config)(GateConfig&);   // a change to CONFIG, or none
    } cases[] = {
        {"the page's GET", fromPage, [](GateRequest&) {}, GATE_PASS},
        {"the page's POST", post, [](GateRequest&) {}, GATE_PASS},
        {"the watch turned on or off", post, [](GateRequest& r) { r.path = "/api/watch"; }, GATE_PASS},
        {"the watch from a foreign page", post,
         [](GateRequest& r) {
             r.path = "/api/watch";
             r.origin = "http://attacker.example";
         },
         403},
        {"the watch as a form", post,
         [](GateRequest& r) {
             r.path = "/api/watch";
             r.contentType = "text/plain";
         },
         415},
        {"the watch's events without a token", fromPage,
         [](GateRequest& r) {
             r.path = "/api/watch";
             r.cookie = "";
         },
         401},
        {"a replacement", post, [](GateRequest& r) { r.path = "/api/replace"; }, GATE_PASS},
        {"the handover report", fromPage, [](GateRequest& r) { r.path = "/api/handover"; }, GATE_PASS},
        {"the handover report without a token", fromPage,
         [](GateRequest& r) {
             r.path = "/api/handover";
             r.cookie = "";
         },
         401},
        {"a replacement from a foreign page", post,
         [](GateRequest& r) {
             r.path = "/api/replace";
             r.origin = "null";
         },
         403},
        {"a replacement without a token", post,
         [](GateRequest& r) {
             r.path = "/api/replace";
             r.cookie = "";
         },
         401},
        {"localhost", fromPage, [](GateRequest& r) { r.host = "LocalHost:8080"; }, GATE_PASS},
        {"the --listen address", fromPage, [](GateRequest& r) { r.host = "192.168.5.9:8080"; }, GATE_PASS},
        {"a rebound name", fromPage, [](GateRequest& r) { r.host = "attacker.example:8080"; }, 403},
        {"another port", fromPage, [](GateRequest& r) { r.host = "127.0.0.1:8081"; }, 403},
        {"no port", fromPage, [](GateRequest& r) { r.host = "127.0.0.1"; }, 403},
        {"no Host", fromPage, [](GateRequest& r) { r.host = ""; }, 403},
        {"a rebound name with the token", fromPage,
         [](GateRequest& r) {
             r.host = "attacker.example:8080";
             r.authorization = "Bearer " + TOKEN;
         },
         403},
        {"no cookie", fromPage, [](GateRequest& r) { r.cookie = ""; }, 401},
        {"the cookie of another port", fromPage, [](GateRequest& r) { r.cookie = "brevindor_8081=" + TOKEN; }, 401},
        {"a wrong cookie", fromPage, [](GateRequest& r) { r.cookie = "brevindor_8080=" + TOKEN.substr(1); }, 401},
        {"a longer cookie", fromPage, [](GateRequest& r) { r.cookie = "brevindor_8080=" + TOKEN + "0"; }, 401},
        {"the cookie among others", fromPage,
         [](GateRequest& r) { r.cookie = "a=1; brevindor_8080=" + TOKEN + "; b=2"; }, GATE_PASS},
        {"bearer", fromPage,
         [](GateRequest& r) {
             r.cookie = "";
             r.authorization = "Bearer " + TOKEN;
         },
         GATE_PASS},
        {"a wrong bearer", fromPage,
         [](GateRequest& r) {
             r.cookie = "";
             r.authorization = "Bearer x" + TOKEN;
         },
         401},
        {"basic", fromPage,
         [](GateRequest& r) {
             r.cookie = "";
             r.authorization = "Basic " + TOKEN;
         },
         401},
        {"the token in the URL", fromPage,
         [](GateRequest& r) {
             r.path = "/";
             r.cookie = "";
             r.hasQueryToken = true;
             r.queryToken = TOKEN;
         },
         GATE_LOGIN},
        {"a wrong token in the URL", fromPage,
         [](GateRequest& r) {
             r.path = "/";
             r.hasQueryToken = true;
             r.queryToken = "f" + TOKEN.substr(1);
         },
         401},
        {"an empty token in the URL", fromPage,
         [](GateRequest& r) {
             r.path = "/";
             r.hasQueryToken = true;
         },
         401},
        {"the token in the URL of the API", fromPage,
         [](GateRequest& r) {
             r.cookie = "";
             r.hasQueryToken = true;
             r.queryToken = TOKEN;
         },
         401},
        {"the page without a token", fromPage,
         [](GateRequest& r) {
             r.path = "/";
             r.cookie = "";
         },
         401},
        {"the one-time token", launched, [](GateRequest&) {}, GATE_LAUNCH},
        {"the one-time token once spent", launched, [](GateRequest&) {}, 401, spent},
        {"the one-time token once spent, with the cookie", launched,
         [](GateRequest& r) { r.cookie = "brevindor_8080=" + TOKEN; }, GATE_PASS, spent},
        {"no launcher, an empty one-time token", launched, [](GateRequest& r) { r.queryOnce = ""; }, 401, spent},
        {"a wrong one-time token", launched, [](GateRequest& r) { r.queryOnce = "e" + ONCE.substr(1); }, 401},
        {"a wrong one-time token, with the cookie", launched,
         [](GateRequest& r) {
             r.queryOnce = ONCE.substr(1);
             r.cookie = "brevindor_8080=" + TOKEN;
         },
         GATE_PASS},
        {"the session's token as the one-time token", launched, [](GateRequest& r) { r.queryOnce = TOKEN; }, 401},
        {"the one-time token as the session's", launched,
         [](GateRequest& r) {
             r.hasQueryOnce = false;
             r.hasQueryToken = true;
             r.queryToken = ONCE;
         },
         401},
        {"the one-time token as a cookie", fromPage, [](GateRequest& r) { r.cookie = "brevindor_8080=" + ONCE; }, 401},
        {"the one-time token of the API", launched, [](GateRequest& r) { r.path = "/api/job"; }, 401},
        {"the one-time token by HEAD", launched, [](GateRequest& r) { r.method = "HEAD"; }, 401},
        {"the one-time token from a rebound name", launched, [](GateRequest& r) { r.host = "attacker.example:8080"; },
         403},
        {"PUT", fromPage, [](GateRequest& r) { r.method = "PUT"; }, 405},
        {"POST with no Origin", post, [](GateRequest& r) { r.hasOrigin = false; }, GATE_PASS},
        {"a foreign Origin", post, [](GateRequest& r) { r.origin = "http://attacker.example"; }, 403},
        {"the null Origin", post, [](GateRequest& r) { r.origin = "null"; }, 403},
        {"an empty Origin", post, [](GateRequest& r) { r.origin = ""; }, 403},
        {"the Origin of another port", post, [](GateRequest& r) { r.origin = "http://127.0.0.1:8081"; }, 403},
        {"https Origin", post, [](GateRequest& r) { r.origin = "https://127.0.0.1:8080"; }, 403},
        {"the Origin of localhost when Host is 127.0.0.1", post,
         [](GateRequest& r) { r.origin = "http://localhost:8080"; }, 403},
        {"JSON with a charset", post, [](GateRequest& r) { r.contentType = "application/json; charset=utf-8"; },
         GATE_PASS},
        {"text/plain", post, [](GateRequest& r) { r.contentType = "text/plain"; }, 415},
        {"a form", post, [](GateRequest& r) { r.contentType = "application/x-www-form-urlencoded"; }, 415},
        {"no content type", post, [](GateRequest& r) { r.contentType = ""; }, 415},
        // The check of this computer: a POST like the others, its findings a GET.
        {"the check of this computer", post, [](GateRequest& r) { r.path = "/api/doctor"; }, GATE_PASS},
        {"the check of this computer from a foreign Origin", post,
         [](GateRequest& r) {
             r.path = "/api/doctor";
             r.origin = "http://attacker.example";
         },
         403},
        {"the check of this computer as a form", post,
         [](GateRequest& r) {
             r.path = "/api/doctor";
             r.contentType = "application/x-www-form-urlencoded";
         },
         415},
        {"the findings without a token", fromPage,
         [](GateRequest& r) {
             r.path = "/api/doctor";
             r.cookie = "";
         },
         401},
        {"a foreign Origin without a token", post,
         [](GateRequest& r) {
             r.cookie = "";
             r.origin = "http://attacker.example";
         },
         401},
    };
    for (const auto& c : cases) {
        GateRequest r = c.base();
        c.change(r);
        GateConfig config = CONFIG;
        if (c.config != nullptr) {
            c.config(config);
        }
        EXPECT_EQ(gateStatus(r, config), c.status) << c.what;
    }
}

TEST(Token, RandomHexOf128BitsComparedWhole)
{
    std::set<std::string> seen;
    for (int i = 0; i < 100; ++i) {
        std::string t;
        ASSERT_TRUE(makeToken(&t));
        EXPECT_EQ(t.size(), 2 * TOKEN_BYTES);
        EXPECT_EQ(t.find_first_not_of("0123456789abcdef"), std::string::npos) << t;
        seen.insert(t);
    }
    EXPECT_EQ(seen.size(), 100u);
    const std::string t = "abcd";
    for (const char* other : {"", "abc", "abcde", "abce", "Abcd", "bcd"}) {
        EXPECT_FALSE(sameToken(other, t)) << other;
    }
    EXPECT_TRUE(sameToken("abcd", t));
    EXPECT_FALSE(sameToken("", ""));
}

TEST(JsonForms, ControllerAndOutcome)
{
    unsigned char buf[RECV_LEN];
    makeResponse(buf, "<img src=x onerror=alert(1)>\x01");
    Sighting s;
    memset(&s, 0, sizeof s);
    s.response = decoded(buf, RECV_LEN);
    s.answers = 3;
    const unsigned char sender[IPV4_LEN] = {127, 0, 0, 2};
    memcpy(s.sender, sender, IPV4_LEN);
    ScanFlag clone;
    clone.senders = {{{127, 0, 0, 2}, s.response, false}, {{127, 0, 0, 9}, s.response, false}};
    clone.duplicateIp = false;
    nlohmann::ordered_json c = controllerJson(s, clone);
    EXPECT_EQ(c["node_name"], "<img src=x onerror=alert(1)>\x01");   // raw: the page shows it as text
    EXPECT_EQ(c["conflict"], "MAC answered from 127.0.0.2 (IP 192.168.1.20) and 127.0.0.9 (IP 192.168.1.20)");
    ASSERT_EQ(c["senders"].size(), 2u);
    EXPECT_EQ(c["senders"][1]["address"], "127.0.0.9");
    EXPECT_EQ(c["answers"], 3);
    std::string text = jsonText(c, -1);
    EXPECT_EQ(text.find('\n'), std::string::npos) << "one line, for an event's data";
    EXPECT_NE(text.find("\\u0001"), std::string::npos) << text;

    Outcome missing = Outcome();
    missing.line = 0;
    memcpy(missing.mac, s.response.mac, MAC_LEN);
    missing.knownIp = true;
    const unsigned char ip[IPV4_LEN] = {10, 0, 0, 5};
    memcpy(missing.target.ip, ip, IPV4_LEN);
    missing.state = OUTCOME_NOT_FOUND;
    nlohmann::ordered_json o = outcomeJson(missing);
    EXPECT_EQ(o["state"], "not found");
    EXPECT_EQ(o["ip"], "10.0.0.5");
    EXPECT_TRUE(o["line"].is_null());
    EXPECT_TRUE(o["gateway"].is_null());
    EXPECT_TRUE(o["before_ip"].is_null());
    EXPECT_TRUE(o["after_mask"].is_null());
}
