#include "web/routes.h"

#include <nlohmann/json.hpp>

#include <cstring>

#include "report/batch_output.h"
#include "web/page_files.h"

typedef nlohmann::ordered_json Json;

static const char JSON_TYPE[] = "application/json";
static const double MAX_SECONDS = 86400;

static Answer jsonAnswer(int status, const std::string& text)
{
    return {status, JSON_TYPE, text, {}};
}

Answer errorAnswer(int status, const std::string& text)
{
    return jsonAnswer(status, jsonText(Json{{"error", text}}, -1));
}

static Answer busy()
{
    return errorAnswer(409, "a scan or an apply is running");
}

static Answer interfaces()
{
    std::vector<LocalInterface> list(256);
    int n = listLocalInterfaces(list.data(), (int)list.size());
    if (n < 0) {
        return errorAnswer(500, "can't list the local addresses");
    }
    Json all = Json::array();
    for (int i = 0; i < n; ++i) {
        all.push_back({{"name", std::string(list[i].name)},
                       {"address", ipv4Text(list[i].address)},
                       {"loopback", list[i].loopback}});
    }
    return jsonAnswer(200, jsonText(all, -1));
}

static Answer scan(Session& s, const Json& request)
{
    std::string where = s.settings.where;
    double quiet = s.settings.apply.scan.quiet;
    if (request.contains("interface") && !request["interface"].is_null()) {
        if (!request["interface"].is_string()) {
            return errorAnswer(400, "interface: a string (an address, a name or 'all')");
        }
        where = request["interface"].get<std::string>();
    }
    if (request.contains("timeout") && !request["timeout"].is_null()) {
        const Json& t = request["timeout"];
        if (!t.is_number() || !(t.get<double>() >= 0 && t.get<double>() <= MAX_SECONDS)) {
            return errorAnswer(400, "timeout: seconds, 0 to 86400");
        }
        quiet = t.get<double>();
    }
    return startScan(s, where, quiet) ? jsonAnswer(202, "{\"started\":true}") : busy();
}

// The rows of a check or an apply; false with *error when they are not as documented.
static bool readRows(const Json& request, std::vector<WebRow>* rows, std::string* error)
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
        WebRow w;
        w.mac = r["mac"].get<std::string>();
        const struct {
            const char* key;
            std::string* text;
            bool* has;
        } fields[] = {{"ip", &w.ip, &w.hasIp}, {"gateway", &w.gateway, &w.hasGateway}, {"mask", &w.mask, &w.hasMask}};
        for (const auto& f : fields) {
            *f.has = false;
            if (!r.contains(f.key) || r[f.key].is_null()) {
                continue;
            }
            if (!r[f.key].is_string()) {
                *error = std::string(f.key) + ": an address as a string";
                return false;
            }
            *f.text = r[f.key].get<std::string>();
            *f.has = !f.text->empty();   // empty keeps the controller's value, as in a plan
        }
        rows->push_back(w);
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

static Answer check(Session& s, const Json& request, bool apply)
{
    std::vector<WebRow> rows;
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
    {
        Hold hold(s.lock);
        if (apply && s.running) {
            return busy();
        }
    }
    std::vector<PlanRow> planRows;
    std::vector<WebRefusal> refusals = checkRows(s, rows, &planRows);
    Json answer = {{"refusals", refusalList(refusals)}};
    if (!apply) {
        return jsonAnswer(200, jsonText(answer, -1));
    }
    if (!refusals.empty()) {
        return jsonAnswer(400, jsonText(answer, -1));
    }
    return startApply(s, planRows, dryRun) ? jsonAnswer(202, "{\"started\":true}") : busy();
}

// A plan file's text as rows for the page, or its errors in the batch program's words.
static Answer plan(const Json& request)
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

static Answer undo(Session& s)
{
    Hold hold(s.lock);
    if (s.undoPath.empty()) {
        return errorAnswer(404, "no apply has sent anything yet");
    }
    std::string name = s.undoPath.substr(s.undoPath.find_last_of("/\\") + 1);
    return {
        200, "text/csv; charset=utf-8", s.undoText, {{"Content-Disposition", "attachment; filename=\"" + name + "\""}}};
}

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
    static const char* const GETS[] = {"/api/interfaces", "/api/controllers", "/api/controllers.csv",
                                       "/api/job",        "/api/outcomes",    "/api/undo"};
    static const char* const POSTS[] = {"/api/scan", "/api/check", "/api/apply", "/api/plan"};
    bool isGet = method == "GET" || method == "HEAD";
    for (const char* p : GETS) {
        if (path == p && !isGet) {
            return errorAnswer(405, "use GET");
        }
    }
    for (const char* p : POSTS) {
        if (path == p && method != "POST") {
            return errorAnswer(405, "use POST");
        }
    }
    if (method == "POST") {
        Json request = Json::parse(body, nullptr, false);
        if (request.is_discarded() || !request.is_object()) {
            return errorAnswer(400, "the body is no JSON object");
        }
        if (path == "/api/scan") {
            return scan(s, request);
        }
        if (path == "/api/check" || path == "/api/apply") {
            return check(s, request, path == "/api/apply");
        }
        if (path == "/api/plan") {
            return plan(request);
        }
        return errorAnswer(404, "no such call");
    }
    if (path == "/api/interfaces") {
        return interfaces();
    }
    if (path == "/api/controllers") {
        return jsonAnswer(200, controllersText(s));
    }
    if (path == "/api/controllers.csv") {
        return {200, "text/csv; charset=utf-8", controllersCsv(s), {}};
    }
    if (path == "/api/job") {
        return jsonAnswer(200, jobText(s));
    }
    if (path == "/api/outcomes") {
        return jsonAnswer(200, outcomesText(s));
    }
    if (path == "/api/undo") {
        return undo(s);
    }
    if (path.compare(0, 5, "/api/") == 0) {
        return errorAnswer(404, "no such call");
    }
    return isGet ? pageFile(path) : errorAnswer(405, "use GET");
}
