#include "web/session.h"

#include <nlohmann/json.hpp>

#include <cstring>

#include "commission/doctor.h"
#include "commission/replace.h"
#include "commission/rows.h"
#include "platform/host.h"
#include "report/cells.h"
#include "report/doctor_text.h"
#include "report/input_text.h"
#include "report/messages.h"
#include "report/refusal_text.h"
#include "report/scan_forms.h"
#include "report/summary_forms.h"
#include "report/watch_text.h"

typedef nlohmann::ordered_json Json;

// How often a running job tells the page what changed.
static const double TELL_EVERY_S = 0.1;

Session::Session(const WebSettings& settings, std::function<int()> stopSignal)
    : settings_(settings), stopSignal_(std::move(stopSignal))
{
}

Session::~Session()
{
    join();
}

void Session::setPublish(Publish publish)
{
    publish_ = std::move(publish);
}

void Session::tell(const char* event, const std::string& data)
{
    if (publish_) {
        publish_(event, data);
    }
}

static std::string joined(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines) {
        text += (text.empty() ? "" : "\n") + line;
    }
    return text;
}

static std::vector<LocalInterface> ownAddresses()
{
    std::vector<LocalInterface> chosen;
    std::vector<LocalInterface> candidates;
    std::vector<LocalInterface> listed;
    (void)chooseInterfaces("all", &chosen, &candidates, &listed);
    return listed;
}

std::vector<WebRefusal> Session::check(const std::vector<RowText>& rows, std::vector<PlanRow>* planRows)
{
    std::vector<WebRefusal> refusals;
    RowChecker checker;
    planRows->clear();
    for (size_t i = 0; i < rows.size(); ++i) {
        PlanRow row;
        std::vector<RowFault> faults;
        if (checkRow(checker, (int)i + 1, rows[i], &row, &faults)) {
            planRows->push_back(row);
            continue;
        }
        bool macRead = true;
        for (const RowFault& f : faults) {
            macRead = macRead && f.problem != ROW_BAD_MAC && f.problem != ROW_NO_MAC && f.problem != ROW_NOT_UTF8;
        }
        std::string mac = macRead ? macText(row.mac) : shownText(rows[i].mac);
        for (const RowFault& f : faults) {
            refusals.push_back({mac, rowFaultText(f, FRAME_PAGE)});
        }
    }
    std::vector<Sighting> found;
    {
        Hold hold(lock_);
        found = found_;
    }
    for (const Refusal& r : checkPlan(*planRows, found, ownAddresses())) {
        refusals.push_back({macText(r.mac), refusalText(r, FRAME_PAGE)});
    }
    return refusals;
}

// The rows of the scanner that changed since last told, into the table and out to the page.
void Session::tellTable(const Scanner& scanner)
{
    std::vector<ScanFlag> flags = scanFlags(scanner);
    Json changed = Json::array();
    {
        Hold hold(lock_);
        for (size_t i = 0; i < scanner.found.size(); ++i) {
            Json row = controllerJson(scanner.found[i], flags[i]);
            std::string text = jsonText(row, -1);
            if (i < rowTexts_.size() && rowTexts_[i] == text) {
                continue;
            }
            if (i >= rowTexts_.size()) {
                rowTexts_.resize(i + 1);
            }
            rowTexts_[i] = text;
            changed.push_back(row);
        }
        found_ = scanner.found;
        flags_ = flags;
    }
    if (!changed.empty()) {
        tell("rows", jsonText(changed, -1));
    }
}

// The controllers an apply heard: their rows in the table take the latest answers.
void Session::takeAnswers(const std::vector<Sighting>& heard)
{
    Json changed = Json::array();
    {
        Hold hold(lock_);
        for (const Sighting& seen : heard) {
            for (size_t i = 0; i < found_.size(); ++i) {
                if (memcmp(found_[i].response.mac, seen.response.mac, MAC_LEN) == 0) {
                    found_[i].response = seen.response;
                    memcpy(found_[i].sender, seen.sender, IPV4_LEN);
                    Json row = controllerJson(found_[i], flags_[i]);
                    rowTexts_[i] = jsonText(row, -1);
                    changed.push_back(row);
                }
            }
        }
    }
    if (!changed.empty()) {
        tell("rows", jsonText(changed, -1));
    }
}

std::string Session::jobTextLocked()
{
    static const char* const KINDS[] = {"scan", "apply", "doctor", "watch"};
    Json job = Json::object();
    job["running"] = running_;
    job["kind"] = anyJob_ ? Json(KINDS[kind_]) : Json();
    bool ended = !running_ && status_ >= 0;
    job["status"] = ended ? Json(status_) : Json();
    std::string result = kind_ == PAGE_DOCTOR ? doctorStatusText(status_) : exitStatusText(status_);
    job["result"] = ended ? Json(result) : Json();
    job["message"] = endMessages_.empty() ? Json() : Json(joined(endMessages_));
    job["undo_file"] = undoPath_.empty() ? Json() : Json(undoPath_);
    return jsonText(job, -1);
}

std::string Session::jobText()
{
    Hold hold(lock_);
    return jobTextLocked();
}

void Session::endJob(const JobOrder& order, const JobResult& result)
{
    std::string job;
    {
        Hold hold(lock_);
        running_ = false;
        status_ = result.status;
        endMessages_ = jobEndMessages(order, result, FRAME_PAGE);
        job = jobTextLocked();
    }
    tell("job", job);
}

// The job's events for the page: the rows' states as they are decided (gathered until the next
// other event), the undo file once written, and a message for each other event worth one.
struct PageEvents {
    Session* session;
    std::function<void(const char*, const std::string&)> tell;
    std::function<void(const std::string&)> undoWritten;
    Json states = Json::array();

    void flush()
    {
        if (!states.empty()) {
            tell("states", jsonText(states, -1));
            states = Json::array();
        }
    }

    void take(const Event& e)
    {
        if (isRowState(e.kind)) {
            states.push_back(
                {{"mac", macText(e.mac)}, {"state", e.kind == EVENT_ROW_SENDING ? "sending" : outcomeName(e.state)}});
            return;
        }
        flush();
        if (e.kind == EVENT_UNDO_WRITTEN) {
            undoWritten(e.text);
            return;
        }
        std::string text = eventText(e, FRAME_PAGE);
        if (!text.empty()) {
            tell("message", jsonText(Json(text), -1));
        }
    }
};

void Session::runScan(const std::string& where, double quiet)
{
    JobOrder order;
    order.kind = JOB_SCAN;
    order.where = where;
    order.options = settings_.apply;
    order.options.scan.quiet = quiet;
    order.options.scan.progressEvery = TELL_EVERY_S;
    order.stopSignal = stopSignal_;
    PageEvents events = {this, [this](const char* e, const std::string& d) { tell(e, d); }, nullptr, Json::array()};
    JobSink sink = {[&events](const Event& e) { events.take(e); }, [this](const Scanner& s) { tellTable(s); }};
    JobResult result = runJob(order, sink);
    events.flush();
    endJob(order, result);
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

static Json refusalsJson(const std::vector<WebRefusal>& refusals)
{
    Json list = Json::array();
    for (const WebRefusal& r : refusals) {
        list.push_back({{"mac", r.mac}, {"reason", r.reason}});
    }
    return list;
}

void Session::runApply(const std::vector<PlanRow>& rows, bool dryRun, const Macs& mustBeGone)
{
    JobOrder order;
    order.kind = JOB_APPLY;
    order.options = settings_.apply;
    order.options.dryRun = dryRun;
    order.options.mustBeGone = mustBeGone;
    order.options.scan.progressEvery = TELL_EVERY_S;
    order.rows = rows;
    order.undoPath = undoFileName(settings_.undoDir);
    order.stopSignal = stopSignal_;
    order.journal = JOURNAL_DEFAULT;
    order.journalRun.kind = "page apply";
    order.journalRun.program = "brevindor-web";
    order.journalRun.version = BREVINDOR_VERSION;
    {
        Hold hold(lock_);
        order.where = where_;
    }
    auto undoWritten = [this](const std::string& path) {
        std::string text;
        int error = 0;
        (void)readPlanFile(path, &text, &error);   // what the page offers is what went to the disk
        std::string job;
        {
            Hold hold(lock_);
            undoPath_ = path;
            undoText_ = text;
            job = jobTextLocked();
        }
        tell("job", job);
    };
    PageEvents events = {this, [this](const char* e, const std::string& d) { tell(e, d); }, undoWritten, Json::array()};
    JobResult result = runJob(order, {[&events](const Event& e) { events.take(e); }, nullptr});
    events.flush();
    takeAnswers(result.found);
    std::vector<WebRefusal> refusals;
    for (const Refusal& r : result.apply.refusals) {
        refusals.push_back({macText(r.mac), refusalText(r, FRAME_PAGE)});
    }
    if (!refusals.empty()) {
        tell("refusals", jsonText(refusalsJson(refusals), -1));
    }
    Json outcomes = Json::array();
    for (const Outcome& o : result.apply.outcomes) {
        outcomes.push_back(outcomeJson(o));
    }
    {
        Hold hold(lock_);
        result_ = result;
    }
    tell("outcomes", jsonText(outcomes, -1));
    endJob(order, result);
}

// The check of this computer: its scans tell nothing to the table (the page keeps the last scan's
// rows); the findings are kept for /api/doctor, and the job ends with the check's status.
void Session::runCheck(const std::string& where)
{
    DoctorOrder order;
    order.where = where;
    order.scan = settings_.apply.scan;
    order.stopSignal = stopSignal_;
    DoctorResult result = runDoctor(order, {[](const Event&) {}, nullptr});
    std::string job;
    {
        Hold hold(lock_);
        doctorText_ = jsonText(doctorJson(result.findings, result.status, WINDOWS_HOST), -1);
        running_ = false;
        status_ = result.status;
        job = jobTextLocked();
    }
    tell("job", job);
}

// Marks the job running, or false when one is.
bool Session::claim(PageJob kind)
{
    std::string job;
    {
        Hold hold(lock_);
        if (running_) {
            return false;
        }
        running_ = true;
        anyJob_ = true;
        kind_ = kind;
        endMessages_.clear();
        job = jobTextLocked();
    }
    tell("job", job);
    return true;
}

// Runs the job claimed on the worker thread (the one before has ended: running was false).
void Session::launch(std::function<void()> job)
{
    if (!worker_.start(std::move(job))) {
        std::string text;
        {
            Hold hold(lock_);
            running_ = false;
            status_ = EXIT_NETWORK;
            endMessages_ = {"can't start a thread for the job"};
            text = jobTextLocked();
        }
        tell("job", text);
    }
}

bool Session::startScan(const std::string& where, double quiet)
{
    if (!claim(PAGE_SCAN)) {
        return false;
    }
    {
        Hold hold(lock_);
        where_ = where;
        found_.clear();
        flags_.clear();
        rowTexts_.clear();
    }
    tell("reset", "[]");
    launch([this, where, quiet]() { runScan(where, quiet); });
    return true;
}

bool Session::startApply(const std::vector<PlanRow>& rows, bool dryRun)
{
    if (!claim(PAGE_APPLY)) {
        return false;
    }
    launch([this, rows, dryRun]() { runApply(rows, dryRun, Macs()); });
    return true;
}

Session::Start Session::startReplace(const unsigned char* oldMac, const unsigned char* newMac, std::string* refusal)
{
    std::vector<PlanRow> table;
    {
        Hold hold(lock_);
        for (const Sighting& seen : found_) {
            PlanRow r = PlanRow();
            memcpy(r.mac, seen.response.mac, MAC_LEN);
            r.setIp = r.setGateway = r.setMask = true;
            memcpy(r.ip, seen.response.ip, IPV4_LEN);
            memcpy(r.gateway, seen.response.gateway, IPV4_LEN);
            memcpy(r.mask, seen.response.mask, IPV4_LEN);
            table.push_back(r);
        }
    }
    PlanRow row;
    ReplacementValues values = replacementRow(table, oldMac, newMac, &row);
    if (values != VALUES_FOUND) {
        *refusal = replacementText(values, "the table", oldMac);
        return REFUSED;
    }
    if (!claim(PAGE_APPLY)) {
        return BUSY;
    }
    Macs gone(1);
    memcpy(gone[0].data(), oldMac, MAC_LEN);
    std::vector<PlanRow> rows(1, row);
    launch([this, rows, gone]() { runApply(rows, false, gone); });
    return STARTED;
}

// A watch event: the controller's row in the table as last heard, then the event itself.
void Session::tellWatch(const WatchEvent& e)
{
    if (e.kind == WATCH_FULL) {
        tell("message", jsonText(Json(watchFullLine()), -1));
        return;
    }
    std::string row = jsonText(controllerJson(e.controller, e.flag), -1);
    std::string event = jsonText(watchEventJson(e), -1);
    {
        Hold hold(lock_);
        size_t i = 0;
        while (i < found_.size() && memcmp(found_[i].response.mac, e.controller.response.mac, MAC_LEN) != 0) {
            ++i;
        }
        if (i == found_.size()) {
            found_.push_back(e.controller);
            flags_.push_back(e.flag);
        } else {
            found_[i] = e.controller;
            flags_[i] = e.flag;
        }
        rowTexts_.resize(found_.size());
        rowTexts_[i] = row;
        watchEvents_.push_back(event);
        if (watchEvents_.size() > WATCH_EVENTS_KEPT) {
            watchEvents_.pop_front();
        }
    }
    tell("rows", "[" + row + "]");
    tell("watch", event);
}

// The watch until it is turned off or the server stops: its status, and how it ended in words.
static int watchFrom(const std::string& where, const std::function<bool()>& stop, const WatchSink& sink,
                     std::vector<std::string>* messages)
{
    WatchLinks links;
    if (!openWatchLinks(links, where)) {
        messages->push_back(links.choice != CHOSEN
                                ? choiceFailureText(links.choice, where, links.candidates, FRAME_PAGE)
                                : failureText(links.failure));
        return watchLinksStatus(links);
    }
    links.scanner.wire.stop = stop;
    WatchOptions options;
    options.every = WATCH_EVERY_S;
    options.goneAfter = WATCH_GONE_AFTER;
    WatchResult result = watchControllers(links.scanner, options, sink);
    closeWatchLinks(links);
    if (result.end == WATCH_ENDED_FAILED) {
        messages->push_back(failureText(result.failure));
    }
    return watchStatus(result);
}

void Session::runWatch(const std::string& where)
{
    std::vector<std::string> messages;
    int status = watchFrom(
        where, [this]() { return watchStop_.load() || (stopSignal_ && stopSignal_() != 0); },
        [this](const WatchEvent& e) { tellWatch(e); }, &messages);
    std::string job;
    {
        Hold hold(lock_);
        running_ = false;
        status_ = status;
        endMessages_ = messages;
        job = jobTextLocked();
    }
    tell("job", job);
}

bool Session::startWatch()
{
    if (!claim(PAGE_WATCH)) {
        return false;
    }
    std::string where;
    {
        Hold hold(lock_);
        where = where_.empty() ? settings_.where : where_;
        watchEvents_.clear();
    }
    watchStop_ = false;
    launch([this, where]() { runWatch(where); });
    return true;
}

void Session::stopWatch()
{
    Hold hold(lock_);
    if (running_ && kind_ == PAGE_WATCH) {
        watchStop_ = true;
    }
}

bool Session::watching()
{
    Hold hold(lock_);
    return running_ && kind_ == PAGE_WATCH;
}

std::string Session::watchText()
{
    Hold hold(lock_);
    std::string events;
    for (const std::string& e : watchEvents_) {
        events += (events.empty() ? "" : ",") + e;
    }
    return std::string("{\"on\":") + (running_ && kind_ == PAGE_WATCH ? "true" : "false") + ",\"events\":[" + events +
           "]}";
}

bool Session::startDoctor(const std::string& where)
{
    if (!claim(PAGE_DOCTOR)) {
        return false;
    }
    launch([this, where]() { runCheck(where); });
    return true;
}

bool Session::running()
{
    Hold hold(lock_);
    return running_;
}

void Session::join()
{
    worker_.join();
}

std::string Session::controllersText()
{
    Hold hold(lock_);
    std::string text = "[";
    for (size_t i = 0; i < rowTexts_.size(); ++i) {
        text += (i > 0 ? "," : "") + rowTexts_[i];   // one line: an event's data
    }
    return text + "]";
}

std::string Session::outcomesText()
{
    Hold hold(lock_);
    Json outcomes = Json::array();
    for (const Outcome& o : result_.apply.outcomes) {
        outcomes.push_back(outcomeJson(o));
    }
    return jsonText(outcomes, -1);
}

std::string Session::controllersCsv()
{
    Hold hold(lock_);
    return scanText(FORMAT_CSV, found_, flags_);
}

bool Session::undoPlan(std::string* name, std::string* text)
{
    Hold hold(lock_);
    if (undoPath_.empty()) {
        return false;
    }
    *name = undoPath_.substr(undoPath_.find_last_of("/\\") + 1);
    *text = undoText_;
    return true;
}

bool Session::doctorFindings(std::string* text)
{
    Hold hold(lock_);
    *text = doctorText_;
    return !doctorText_.empty();
}

Session::Ending Session::ending()
{
    Hold hold(lock_);
    Ending e = {EXIT_OK, {}, "", ""};
    if (status_ < 128) {
        return e;
    }
    e.status = status_;
    if (kind_ == PAGE_APPLY) {
        e.messages = endMessages_;
        if (result_.apply.summary) {
            e.summary = summaryText(FORMAT_TABLE, result_.apply.outcomes, false);
        }
        e.undoPath = undoPath_;
    }
    return e;
}
