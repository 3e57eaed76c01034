#include "web/routes.h"

#include <nlohmann/json.hpp>

#include <cstring>

#include "commission/handover.h"
#include "commission/interfaces.h"
#include "commission/journal.h"
#include "commission/journal_read.h"
#include "commission/limits.h"
#include "report/cells.h"
#include "report/formats.h"
#include "report/handover_html.h"
#include "report/input_text.h"
#include "report/journal_text.h"
#include "report/messages.h"
#include "web/page_files.h"

typedef nlohmann::ordered_json Json;

static const char JSON_TYPE[] = "application/json";

static Answer jsonAnswer(int status, const std::string& text)
{
    return {status, JSON_TYPE, text, {}};
}

Answer errorAnswer(int status, const std::string& text)
{
    return jsonAnswer(status, jsonText(Json{{"error", text}}, -1));
}

static Answer busy(Session& s)
{
    return errorAnswer(409, busyText(s.watching()));
}

static Answer started()
{
    return {202, JSON_TYPE, "{\"started\":true}", {}};
}

// The interfaces one can name, as the engine chooses among them: up, not loopback, tunnels marked.
static Answer interfaces(Session&, const Json&)
{
    std::vector<LocalInterface> chosen;
    std::vector<LocalInterface> candidates;
    std::vector<LocalInterface> listed;
    if (chooseInterfaces("all", &chosen, &candidates, &listed) == CHOICE_FAILED) {
        return errorAnswer(500, "can't list the local addresses");
    }
    Json all = Json::array();
    for (const LocalInterface& one : candidates) {
        all.push_back({{"name", std::string(one.name)},
                       {"address", ipv4Text(one.address)},
                       {"loopback", one.loopback},
                       {"tunnel", one.tunnel}});
    }
    return jsonAnswer(200, jsonText(all, -1));
}

// The request's interface, or --interface; false with *error when it is no string.
static bool readWhere(const Session& s, const Json& request, std::string* where, Answer* error)
{
    *where = s.settings().where;
    if (request.contains("interface") && !request["interface"].is_null()) {
        if (!request["interface"].is_string()) {
            *error = errorAnswer(400, "interface: a string (an address, a name or 'all')");
            return false;
        }
        *where = request["interface"].get<std::string>();
    }
    return true;
}

static Answer scan(Session& s, const Json& request)
{
    std::string where;
    Answer error = {};
    if (!readWhere(s, request, &where, &error)) {
        return error;
    }
    double quiet = s.settings().apply.scan.quiet;
    if (request.contains("timeout") && !request["timeout"].is_null()) {
        const Json& t = request["timeout"];
        if (!t.is_number() || !secondsAllowed(t.get<double>(), true)) {
            return errorAnswer(400, "timeout: " + secondsRangeText(true));
        }
        quiet = t.get<double>();
    }
    return s.startScan(where, quiet) ? started() : busy(s);
}

// The rows of a check or an apply as typed; false with *error when they are not as documented.
static bool readRows(const Json& request, std::vector<RowText>* rows, std::string* error)
{
    if (!request.contains("rows") || !request["rows"].is_array()) {
        *error = "rows: an array of {mac, ip?, gateway?, mask?}";
        return false;
    }
    for (const Json& r : request["rows"]) {
        if (!r.is_object() || !r.contains("mac") || !r["mac"].is_string()) {
            *error = "each row needs a mac as a string";
            return false;
        }
        RowText row;
        row.mac = r["mac"].get<std::string>();
        const struct {
            const char* key;
            std::string* text;
        } fields[] = {{"ip", &row.ip}, {"gateway", &row.gateway}, {"mask", &row.mask}};
        for (const auto& f : fields) {
            if (!r.contains(f.key) || r[f.key].is_null()) {
                continue;   // kept, as an empty cell of a plan
            }
            if (!r[f.key].is_string()) {
                *error = std::string(f.key) + ": an address as a string";
                return false;
            }
            *f.text = r[f.key].get<std::string>();
        }
        rows->push_back(row);
    }
    return true;
}

static Json refusalList(const std::vector<WebRefusal>& refusals)
{
    Json list = Json::array();
    for (const WebRefusal& r : refusals) {
        list.push_back({{"mac", r.mac}, {"reason", r.reason}});
    }
    return list;
}

static Answer checkOrApply(Session& s, const Json& request, bool apply)
{
    std::vector<RowText> rows;
    std::string error;
    if (!readRows(request, &rows, &error)) {
        return errorAnswer(400, error);
    }
    bool dryRun = false;
    if (apply && request.contains("dry_run")) {
        if (!request["dry_run"].is_boolean()) {
            return errorAnswer(400, "dry_run: true or false");
        }
        dryRun = request["dry_run"].get<bool>();
    }
    if (apply && rows.empty()) {
        return errorAnswer(400, "no rows to apply");
    }
    if (apply && s.running()) {
        return busy(s);
    }
    std::vector<PlanRow> planRows;
    std::vector<WebRefusal> refusals = s.check(rows, &planRows);
    Json answer = {{"refusals", refusalList(refusals)}};
    if (!apply) {
        return jsonAnswer(200, jsonText(answer, -1));
    }
    if (!refusals.empty()) {
        return jsonAnswer(400, jsonText(answer, -1));
    }
    return s.startApply(planRows, dryRun) ? started() : busy(s);
}

static Answer check(Session& s, const Json& request)
{
    return checkOrApply(s, request, false);
}

static Answer apply(Session& s, const Json& request)
{
    return checkOrApply(s, request, true);
}

// A plan file's text as rows for the page, or its errors in the batch program's words.
static Answer plan(Session&, const Json& request)
{
    if (!request.contains("text") || !request["text"].is_string()) {
        return errorAnswer(400, "text: the plan file's content as a string");
    }
    std::vector<PlanRow> rows;
    std::vector<PlanError> errors;
    Json answer = {{"rows", Json::array()}, {"errors", Json::array()}};
    if (!readPlan(request["text"].get<std::string>(), &rows, &errors)) {
        for (const PlanError& e : errors) {
            answer["errors"].push_back({{"line", e.line}, {"text", planErrorText(e)}});
        }
    }
    for (const PlanRow& r : rows) {
        Json row = {{"line", r.line}, {"mac", macText(r.mac)}};
        if (r.setIp) {
            row["ip"] = ipv4Text(r.ip);
        }
        if (r.setGateway) {
            row["gateway"] = ipv4Text(r.gateway);
        }
        if (r.setMask) {
            row["mask"] = ipv4Text(r.mask);
        }
        answer["rows"].push_back(row);
    }
    return jsonAnswer(200, jsonText(answer, -1));
}

// The check of this computer, on the session's job thread: 202, then the findings on GET once
// /api/job says it ended.
static Answer startDoctor(Session& s, const Json& request)
{
    std::string where;
    Answer error = {};
    if (!readWhere(s, request, &where, &error)) {
        return error;
    }
    return s.startDoctor(where) ? started() : busy(s);
}

static Answer doctor(Session& s, const Json&)
{
    std::string text;
    if (!s.doctorFindings(&text)) {
        return errorAnswer(404, "no check of this computer has ended yet");
    }
    return jsonAnswer(200, text);
}

static Answer controllers(Session& s, const Json&)
{
    return jsonAnswer(200, s.controllersText());
}

static Answer controllersCsv(Session& s, const Json&)
{
    return {200, "text/csv; charset=utf-8", s.controllersCsv(), {}};
}

static Answer job(Session& s, const Json&)
{
    return jsonAnswer(200, s.jobText());
}

static Answer outcomes(Session& s, const Json&)
{
    return jsonAnswer(200, s.outcomesText());
}

static Answer undo(Session& s, const Json&)
{
    std::string name;
    std::string text;
    if (!s.undoPlan(&name, &text)) {
        return errorAnswer(404, "no apply has sent anything yet");
    }
    return {200, "text/csv; charset=utf-8", text, {{"Content-Disposition", "attachment; filename=\"" + name + "\""}}};
}

// The handover report of the user's journal, every run in it, as one printable page.
static Answer handover(Session&, const Json&)
{
    int error = 0;
    std::string path = defaultJournalPath(&error);
    if (path.empty()) {
        return errorAnswer(500, journalPlaceFailureText(error));
    }
    JournalRead read = readJournal(path, JournalFilter());
    if (read.status != JOURNAL_FILE_READ) {
        return errorAnswer(read.status == JOURNAL_FILE_MISSING ? 404 : 500, journalReadFailureText(path, read));
    }
    if (!handoverWritten(read)) {
        return errorAnswer(404, journalNothingText(path));
    }
    Handover h = handoverOf(read, "", "", "");
    return {200,
            "text/html; charset=utf-8",
            handoverHtml(h, handoverMakerNow(path, "brevindor-web", BREVINDOR_VERSION)),
            {}};
}

// {"on": true} starts the watch, {"on": false} ends it (nothing when it is off).
static Answer watch(Session& s, const Json& request)
{
    if (!request.contains("on") || !request["on"].is_boolean()) {
        return errorAnswer(400, "on: true or false");
    }
    if (!request["on"].get<bool>()) {
        s.stopWatch();
        return jsonAnswer(200, s.watchText());
    }
    return s.startWatch() ? started() : busy(s);
}

static Answer watchEvents(Session& s, const Json&)
{
    return jsonAnswer(200, s.watchText());
}

// A MAC of a replacement read by the row checker; false with *error in its words.
static bool readMac(const Json& request, const char* key, unsigned char* mac, std::string* error)
{
    if (!request.contains(key) || !request[key].is_string()) {
        *error = std::string(key) + ": a MAC as a string";
        return false;
    }
    RowChecker checker;
    PlanRow row;
    std::vector<RowFault> faults;
    if (checkRow(checker, 0, {request[key].get<std::string>(), "", "", ""}, &row, &faults)) {
        memcpy(mac, row.mac, MAC_LEN);
        return true;
    }
    *error = std::string(key) + ": " + rowFaultText(faults[0], FRAME_PAGE);
    return false;
}

// {"old": MAC, "new": MAC}: the new controller takes the old one's values from the table.
static Answer replace(Session& s, const Json& request)
{
    unsigned char oldMac[MAC_LEN];
    unsigned char newMac[MAC_LEN];
    std::string error;
    if (!readMac(request, "old", oldMac, &error) || !readMac(request, "new", newMac, &error)) {
        return errorAnswer(400, error);
    }
    if (memcmp(oldMac, newMac, MAC_LEN) == 0) {
        return errorAnswer(400, sameControllerText());
    }
    switch (s.startReplace(oldMac, newMac, &error)) {
    case Session::STARTED:
        return started();
    case Session::REFUSED:
        return errorAnswer(400, error);
    case Session::BUSY:
        break;
    }
    return busy(s);
}

struct Route {
    const char* method;   // GET answers HEAD too
    const char* path;
    Answer (*handler)(Session& s, const Json& request);   // request: the POST's body, null for GET
};

static const Route ROUTES[] = {
    {"GET", "/api/interfaces", interfaces},
    {"GET", "/api/controllers", controllers},
    {"GET", "/api/controllers.csv", controllersCsv},
    {"GET", "/api/job", job},
    {"GET", "/api/outcomes", outcomes},
    {"GET", "/api/undo", undo},
    {"GET", "/api/handover", handover},
    {"GET", "/api/watch", watchEvents},
    {"GET", "/api/doctor", doctor},
    {"POST", "/api/scan", scan},
    {"POST", "/api/check", check},
    {"POST", "/api/apply", apply},
    {"POST", "/api/plan", plan},
    {"POST", "/api/watch", watch},
    {"POST", "/api/replace", replace},
    {"POST", "/api/doctor", startDoctor},
};

static Answer pageFile(const std::string& path)
{
    if (path == "/favicon.ico") {
        return {204, "image/x-icon", "", {}};   // none, and no error in the browser's console
    }
    std::string wanted = path == "/" ? "/index.html" : path;
    for (size_t i = 0; i < PAGE_FILE_COUNT; ++i) {
        if (wanted == PAGE_FILES[i].path) {
            return {200, PAGE_FILES[i].type, std::string((const char*)PAGE_FILES[i].data, PAGE_FILES[i].size), {}};
        }
    }
    return errorAnswer(404, "no such page");
}

Answer route(Session& s, const std::string& method, const std::string& path, const std::string& body)
{
    bool isGet = method == "GET" || method == "HEAD";
    std::string methods;   // those of the path, when none is the request's
    for (const Route& r : ROUTES) {
        if (path != r.path) {
            continue;
        }
        bool get = strcmp(r.method, "GET") == 0;
        if (get ? !isGet : method != r.method) {
            methods += (methods.empty() ? "" : " or ") + std::string(r.method);
            continue;
        }
        if (get) {
            return r.handler(s, Json());
        }
        Json request = Json::parse(body, nullptr, false);
        if (request.is_discarded() || !request.is_object()) {
            return errorAnswer(400, "the body is no JSON object");
        }
        return r.handler(s, request);
    }
    if (!methods.empty()) {
        return errorAnswer(405, "use " + methods);
    }
    if (path.compare(0, 5, "/api/") == 0) {
        return errorAnswer(404, "no such call");
    }
    return isGet ? pageFile(path) : errorAnswer(405, "use GET");
}
