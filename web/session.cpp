#include "web/session.h"

#include <nlohmann/json.hpp>

#include <cstring>
#include <map>

#include "commission/interfaces.h"
#include "commission/socket_wire.h"
#include "commission/undo.h"
#include "platform/host.h"
#include "protocol/address.h"
#include "report/batch_output.h"
#include "report/refusal_text.h"

typedef nlohmann::ordered_json Json;

// How often a running job tells the page what changed.
static const double TELL_EVERY_S = 0.1;

// What a report/ function prints, as text, each line's leading program name taken off; as one
// line, without the line ends at the end, unless told otherwise.
static std::string printed(const std::function<void(FILE*)>& print, bool oneLine = true)
{
    FILE* f = tmpfile();
    if (f == NULL) {
        return "";
    }
    print(f);
    std::string text;
    rewind(f);
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) {
        text.append(buffer, n);
    }
    fclose(f);
    const std::string lead = std::string(BATCH_PROGRAM) + ": ";
    for (size_t at = 0; (at = text.find(lead, at)) != std::string::npos;) {
        text.erase(at, lead.size());
    }
    while (oneLine && !text.empty() && text.back() == '\n') {
        text.pop_back();
    }
    return text;
}

static void tell(Session& s, const char* event, const Json& data)
{
    if (s.publish) {
        s.publish(event, jsonText(data, -1));
    }
}

static std::vector<LocalInterface> ownAddresses()
{
    std::vector<LocalInterface> own(256);
    int n = listLocalInterfaces(own.data(), (int)own.size());
    own.resize(n > 0 ? (size_t)n : 0);
    return own;
}

std::vector<WebRefusal> checkRows(Session& s, const std::vector<WebRow>& rows, std::vector<PlanRow>* planRows)
{
    std::vector<WebRefusal> refusals;
    std::map<std::string, std::string> macs;   // shown MAC -> as typed, and set IP -> MAC
    std::map<std::string, std::string> ips;
    planRows->clear();
    for (size_t i = 0; i < rows.size(); ++i) {
        const WebRow& w = rows[i];
        PlanRow p;
        memset(&p, 0, sizeof p);
        p.line = (int)i + 1;
        if (!parseMac(w.mac.c_str(), p.mac)) {
            refusals.push_back({w.mac, "MAC '" + w.mac + "' is not six hex pairs joined by ':', '.' or '-'"});
            continue;
        }
        std::string mac = macText(p.mac);
        if (!macs.emplace(mac, w.mac).second) {
            refusals.push_back({mac, mac + ": the MAC is given twice"});
            continue;
        }
        const struct {
            bool has;
            const std::string& text;
            bool* set;
            unsigned char* address;
            const char* name;
        } fields[] = {
            {w.hasIp, w.ip, &p.setIp, p.ip, "IP"},
            {w.hasGateway, w.gateway, &p.setGateway, p.gateway, "gateway"},
            {w.hasMask, w.mask, &p.setMask, p.mask, "mask"},
        };
        bool good = true;
        for (const auto& f : fields) {
            *f.set = f.has;
            if (f.has && !parseIpv4(f.text.c_str(), f.address)) {
                refusals.push_back({mac, mac + ": " + f.name + " '" + f.text +
                                             "' is no address: four decimal numbers 0 to 255, no leading zeros"});
                good = false;
            }
        }
        if (good && p.setIp) {
            auto taken = ips.emplace(ipv4Text(p.ip), mac);
            if (!taken.second) {
                refusals.push_back({mac, mac + ": IP " + ipv4Text(p.ip) + " is also given to " + taken.first->second});
                good = false;
            }
        }
        if (good) {
            planRows->push_back(p);
        }
    }
    std::vector<Sighting> found;
    {
        Hold hold(s.lock);
        found = s.found;
    }
    for (const Refusal& r : checkPlan(*planRows, found, ownAddresses())) {
        refusals.push_back({macText(r.mac), refusalText(r, true)});
    }
    return refusals;
}

// The rows of the scanner that changed since last told, into the table and out to the page.
static void tellTable(Session& s, const Scanner& scanner)
{
    std::vector<ScanFlag> flags = scanFlags(scanner);
    Json changed = Json::array();
    Hold hold(s.lock);
    for (size_t i = 0; i < scanner.found.size(); ++i) {
        Json row = controllerJson(scanner.found[i], flags[i]);
        std::string text = jsonText(row, -1);
        if (i < s.rowTexts.size() && s.rowTexts[i] == text) {
            continue;
        }
        if (i >= s.rowTexts.size()) {
            s.rowTexts.resize(i + 1);
        }
        s.rowTexts[i] = text;
        changed.push_back(row);
    }
    s.found = scanner.found;
    s.flags = flags;
    if (!changed.empty()) {
        tell(s, "rows", changed);
    }
}

// The controllers an apply heard: their rows in the table take the latest answers.
static void takeAnswers(Session& s, const Scanner& scanner)
{
    Json changed = Json::array();
    Hold hold(s.lock);
    for (const Sighting& seen : scanner.found) {
        for (size_t i = 0; i < s.found.size(); ++i) {
            if (memcmp(s.found[i].response.mac, seen.response.mac, MAC_LEN) == 0) {
                s.found[i].response = seen.response;
                memcpy(s.found[i].sender, seen.sender, IPV4_LEN);
                Json row = controllerJson(s.found[i], s.flags[i]);
                s.rowTexts[i] = jsonText(row, -1);
                changed.push_back(row);
            }
        }
    }
    if (!changed.empty()) {
        tell(s, "rows", changed);
    }
}

static Json jobJson(const Session& s)
{
    static const char* const KINDS[] = {NULL, "scan", "apply"};
    Json job = Json::object();
    job["running"] = s.running;
    job["kind"] = s.kind == JOB_NONE ? Json() : Json(KINDS[s.kind]);
    job["status"] = s.running || s.status < 0 ? Json() : Json(s.status);
    job["message"] = s.message.empty() ? Json() : Json(s.message);
    job["undo_file"] = s.undoPath.empty() ? Json() : Json(s.undoPath);
    return job;
}

static void endJob(Session& s, int status, const std::string& message)
{
    Json job;
    {
        Hold hold(s.lock);
        s.running = false;
        s.status = status;
        s.message = message;
        job = jobJson(s);
    }
    tell(s, "job", job);
}

// The interfaces to work from, their sockets and a scanner; EXIT_OK, or the status with *message.
static int openScanner(const Session& s, const std::string& where, Sockets& sockets, Scanner& scanner,
                       std::vector<LocalInterface>* own, std::string* message)
{
    std::vector<LocalInterface> locals;
    std::vector<LocalInterface> candidates;
    Choice choice = chooseInterfaces(where, &locals, &candidates, own);
    if (choice != CHOSEN) {
        *message = printed([&](FILE* f) { printChoiceFailure(f, choice, where, candidates); });
        return choice == CHOICE_FAILED ? EXIT_NETWORK : EXIT_USAGE;
    }
    Failure failure = openSockets(sockets, locals);
    if (failure.call != FAILED_NONE) {
        *message = printed([&](FILE* f) { printFailure(f, failure); });
        return EXIT_NETWORK;
    }
    startScanner(scanner, socketWire(sockets), locals);
    scanner.wire.stop = s.stop;
    return EXIT_OK;
}

static EventSink messages(Session& s, const std::function<void(const Event&)>& progress)
{
    return [&s, progress](const Event& e) {
        if (isProgress(e.kind)) {
            progress(e);
            return;
        }
        tell(s, "message", Json(printed([&](FILE* f) { printEvent(f, e); })));
    };
}

static void runScan(Session& s, const std::string& where, double quiet)
{
    Sockets sockets;
    Scanner scanner;
    std::string message;
    int status = openScanner(s, where, sockets, scanner, NULL, &message);
    if (status == EXIT_OK) {
        ScanOptions options = s.settings.apply.scan;
        options.quiet = quiet;
        options.progressEvery = TELL_EVERY_S;
        Failure failure =
            scanOnce(scanner, options, messages(s, [&s, &scanner](const Event&) { tellTable(s, scanner); }));
        tellTable(s, scanner);
        if (failure.call != FAILED_NONE) {
            message = printed([&](FILE* f) { printFailure(f, failure); });
            status = EXIT_NETWORK;
        } else if (scanner.stopped) {
            status = 128 + stopSignal();
        } else if (scanner.found.empty()) {
            message = "no controller answered";
            status = EXIT_NOT_FOUND;
        }
    }
    closeSockets(sockets);
    endJob(s, status, message);
}

static bool fileExists(const std::string& path)
{
    FILE* f = fopen(path.c_str(), "rb");
    if (f != NULL) {
        fclose(f);
    }
    return f != NULL;
}

// A new file name in the undo folder, with the date and time.
static std::string undoFileName(const std::string& dir)
{
    std::string base = dir + "/brevindor-undo-" + localTimeStamp();
    std::string path = base + ".csv";
    for (int n = 2; fileExists(path); ++n) {
        path = base + "-" + std::to_string(n) + ".csv";
    }
    return path;
}

static void tellStates(Session& s, const std::vector<Outcome>& outcomes, const std::vector<size_t>& sending)
{
    Json states = Json::array();
    for (size_t i = 0; i < outcomes.size(); ++i) {
        bool isSending = false;
        for (size_t k : sending) {
            isSending = isSending || k == i;
        }
        states.push_back(
            {{"mac", macText(outcomes[i].mac)}, {"state", isSending ? "sending" : outcomeName(outcomes[i].state)}});
    }
    tell(s, "states", states);
}

static Json refusalsJson(const std::vector<WebRefusal>& refusals)
{
    Json list = Json::array();
    for (const WebRefusal& r : refusals) {
        list.push_back({{"mac", r.mac}, {"reason", r.reason}});
    }
    return list;
}

static void runApply(Session& s, const std::vector<PlanRow>& rows, bool dryRun)
{
    Sockets sockets;
    Scanner scanner;
    std::string message;
    ApplyOptions options = s.settings.apply;
    std::string where;
    {
        Hold hold(s.lock);
        where = s.where;
    }
    int status = openScanner(s, where, sockets, scanner, &options.ownAddresses, &message);
    if (status != EXIT_OK) {
        closeSockets(sockets);
        endJob(s, status, message);
        return;
    }
    options.dryRun = dryRun;
    options.scan.progressEvery = TELL_EVERY_S;
    std::vector<Outcome> sending;   // the rows sent to and not yet told verified
    options.beforeSending = [&](const std::vector<Outcome>& outcomes, const std::vector<size_t>& toSend) {
        std::string path = undoFileName(s.settings.undoDir);
        int error = 0;
        if (!writeUndoFile(path, outcomes, toSend, &error)) {
            message = "can't write the undo file " + path + ": " + strerror(error) + "; nothing sent";
            return false;
        }
        FILE* f = fopen(path.c_str(), "rb");
        std::string text;
        char buffer[4096];
        size_t n;
        while (f != NULL && (n = fread(buffer, 1, sizeof buffer, f)) > 0) {
            text.append(buffer, n);
        }
        if (f != NULL) {
            fclose(f);
        }
        Json job;
        {
            Hold hold(s.lock);
            s.undoPath = path;
            s.undoText = text;
            job = jobJson(s);
        }
        tell(s, "job", job);
        tellStates(s, outcomes, toSend);
        for (size_t i : toSend) {
            sending.push_back(outcomes[i]);
        }
        return true;
    };
    auto progress = [&](const Event& e) {
        if (e.kind != EVENT_VERIFY_WAIT) {
            return;
        }
        Json states = Json::array();
        for (size_t i = 0; i < sending.size(); ++i) {
            const Sighting* seen = findSighting(scanner, sending[i].mac);
            const Addresses& t = sending[i].target;
            if (seen != NULL && memcmp(seen->response.ip, t.ip, IPV4_LEN) == 0 &&
                memcmp(seen->response.gateway, t.gateway, IPV4_LEN) == 0 &&
                memcmp(seen->response.mask, t.mask, IPV4_LEN) == 0) {
                states.push_back({{"mac", macText(sending[i].mac)}, {"state", outcomeName(OUTCOME_VERIFIED)}});
                sending.erase(sending.begin() + (long)i--);
            }
        }
        if (!states.empty()) {
            tell(s, "states", states);
        }
    };
    ApplyResult result = applyPlan(scanner, rows, options, messages(s, progress));
    closeSockets(sockets);
    takeAnswers(s, scanner);
    std::vector<WebRefusal> refusals;
    for (const Refusal& r : result.refusals) {
        refusals.push_back({macText(r.mac), refusalText(r, true)});
    }
    if (!refusals.empty()) {
        tell(s, "refusals", refusalsJson(refusals));
        message = counted((long)refusals.size(), "address", "addresses") + " refused; nothing sent";
    }
    if (result.failure.call != FAILED_NONE) {
        message = printed([&](FILE* f) { printFailure(f, result.failure); });
    }
    Json outcomes = Json::array();
    for (const Outcome& o : result.outcomes) {
        outcomes.push_back(outcomeJson(o));
    }
    {
        Hold hold(s.lock);
        s.applied = true;
        s.result = result;
    }
    tell(s, "outcomes", outcomes);
    status = result.stopped ? 128 + stopSignal() : result.held ? EXIT_USAGE : applyStatus(result);
    endJob(s, status, message);
}

// Marks the job running, or false when one is.
static bool claim(Session& s, JobKind kind)
{
    Json job;
    {
        Hold hold(s.lock);
        if (s.running) {
            return false;
        }
        s.running = true;
        s.kind = kind;
        s.message.clear();
        job = jobJson(s);
    }
    tell(s, "job", job);
    return true;
}

// Runs the job claimed on the worker thread (the one before has ended: running was false).
static void launch(Session& s, std::function<void()> job)
{
    if (!s.worker.start(std::move(job))) {
        endJob(s, EXIT_NETWORK, "can't start a thread for the job");
    }
}

bool startScan(Session& s, const std::string& where, double quiet)
{
    if (!claim(s, JOB_SCAN)) {
        return false;
    }
    {
        Hold hold(s.lock);
        s.where = where;
        s.found.clear();
        s.flags.clear();
        s.rowTexts.clear();
    }
    tell(s, "reset", Json::array());
    launch(s, [&s, where, quiet]() { runScan(s, where, quiet); });
    return true;
}

bool startApply(Session& s, const std::vector<PlanRow>& rows, bool dryRun)
{
    if (!claim(s, JOB_APPLY)) {
        return false;
    }
    launch(s, [&s, rows, dryRun]() { runApply(s, rows, dryRun); });
    return true;
}

void joinJob(Session& s)
{
    s.worker.join();
}

std::string controllersText(Session& s)
{
    Hold hold(s.lock);
    std::string text = "[";
    for (size_t i = 0; i < s.rowTexts.size(); ++i) {
        text += (i > 0 ? "," : "") + s.rowTexts[i];   // one line: an event's data
    }
    return text + "]";
}

std::string jobText(Session& s)
{
    Hold hold(s.lock);
    return jsonText(jobJson(s), -1);
}

std::string outcomesText(Session& s)
{
    Hold hold(s.lock);
    Json outcomes = Json::array();
    for (const Outcome& o : s.result.outcomes) {
        outcomes.push_back(outcomeJson(o));
    }
    return jsonText(outcomes, -1);
}

std::string controllersCsv(Session& s)
{
    Hold hold(s.lock);
    return printed([&](FILE* f) { printScanCsv(f, s.found, s.flags); }, false);
}
