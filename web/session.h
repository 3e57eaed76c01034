// The page's session: the table of controllers now, the one job that may run (a scan or an apply,
// on a thread of its own), the last apply's outcomes and undo plan. Everything that changes goes
// out through publish as an event name and a JSON text, from whichever thread made the change.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "commission/apply.h"
#include "commission/conflicts.h"
#include "commission/plan.h"
#include "web/options.h"
#include "platform/threads.h"

typedef std::function<void(const std::string& event, const std::string& data)> Publish;

enum JobKind { JOB_NONE, JOB_SCAN, JOB_APPLY };

struct Session {
    WebSettings settings;
    Publish publish;
    std::function<bool()> stop;   // the run is to stop (a signal)

    Lock lock;   // guards everything below
    std::vector<Sighting> found;
    std::vector<ScanFlag> flags;
    std::vector<std::string> rowTexts;   // each row's JSON as last published
    std::string where;                   // the interfaces of the last scan
    bool running = false;
    JobKind kind = JOB_NONE;
    int status = -1;        // the last job's exit status; -1 before the first ended
    std::string message;    // why the last job failed, if it did
    bool applied = false;   // outcomes hold the last apply's
    ApplyResult result;
    std::string undoPath;   // the last apply's undo file, and its plan
    std::string undoText;
    Worker worker;   // the job's thread
};

// A target from the page: a MAC and the fields to give, as typed.
struct WebRow {
    std::string mac, ip, gateway, mask;
    bool hasIp, hasGateway, hasMask;
};

// One reason a row can't go out: its MAC as typed or as shown, and the words.
struct WebRefusal {
    std::string mac;
    std::string reason;
};

// The rows as plan rows (line = position from 1), or their faults (a MAC or address that does not
// read, a MAC or IP twice); then the address rules against the table now and this computer's
// addresses. No traffic.
std::vector<WebRefusal> checkRows(Session& s, const std::vector<WebRow>& rows, std::vector<PlanRow>* planRows);

// Starts a job unless one runs; false when one does. The scan's interfaces: where, or those of
// the last scan, or --interface.
bool startScan(Session& s, const std::string& where, double quiet);
bool startApply(Session& s, const std::vector<PlanRow>& rows, bool dryRun);

// Waits for the job's thread, if any.
void joinJob(Session& s);

// The API's JSON documents.
std::string controllersText(Session& s);
// The table as scan --format csv writes it.
std::string controllersCsv(Session& s);
std::string jobText(Session& s);
std::string outcomesText(Session& s);
