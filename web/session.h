// The page's session: the table of controllers now, the one job that may run (a scan, an apply or
// a replacement through the engine's runner, or the watch, each on a thread of its own), and the last apply's outcomes
// and undo plan. Everything that changes goes out through publish as an event name and a JSON text, from whichever
// thread made the change. Its lock is its own: every member takes it as it needs.
#pragma once

#include <atomic>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "commission/job.h"
#include "commission/rows.h"
#include "commission/watch.h"
#include "platform/threads.h"
#include "web/options.h"

typedef std::function<void(const std::string& event, const std::string& data)> Publish;

// The watch's events kept for a page that opens late.
const size_t WATCH_EVENTS_KEPT = 200;

// One reason a row can't go out: its MAC as shown (as typed, made safe, when it does not read),
// and the words.
struct WebRefusal {
    std::string mac;
    std::string reason;
};

class Session {
public:
    Session(const WebSettings& settings, std::function<int()> stopSignal);
    ~Session();   // waits for the job
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    const WebSettings& settings() const
    {
        return settings_;
    }
    // Where the events go; set before the first job starts, cleared once none runs.
    void setPublish(Publish publish);

    // Starts a job unless one runs; false when one does. The scan's interfaces: where, or those of
    // the last scan, or --interface.
    bool startScan(const std::string& where, double quiet);
    bool startApply(const std::vector<PlanRow>& rows, bool dryRun);
    bool running();
    // Whether the job running is the watch.
    bool watching();

    // The watch (every 2 s, gone after 3 asks) from the interfaces of the last scan: its events go
    // out as they come and update the table. False when a job (the watch too) runs.
    bool startWatch();
    // Asks the watch to end (within a wait of the wire); nothing when it is off.
    void stopWatch();
    // Whether the watch is on and its latest events (at most WATCH_EVENTS_KEPT), oldest first.
    std::string watchText();

    enum Start { STARTED, BUSY, REFUSED };
    // The new controller takes the IP, gateway and mask the table last heard from the old one,
    // which must be gone, through the runner as an apply. REFUSED with *refusal when the table
    // gives no values for it.
    Start startReplace(const unsigned char* oldMac, const unsigned char* newMac, std::string* refusal);
    // Waits for the job's thread, if any.
    void join();

    // The rows as the engine reads them (place = position from 1), their faults, then the address
    // rules against the table now and this computer's addresses. No traffic.
    std::vector<WebRefusal> check(const std::vector<RowText>& rows, std::vector<PlanRow>* planRows);

    // The API's documents: the table as JSON and as scan --format csv writes it, the job, the last
    // apply's outcomes, and its undo plan (false while there is none).
    std::string controllersText();
    std::string controllersCsv();
    std::string jobText();
    std::string outcomesText();
    bool undoPlan(std::string* name, std::string* text);

    // Once the server stopped: how the last job ended, for what standard error tells.
    struct Ending {
        int status;                          // the job's exit status when a signal stopped it, else EXIT_OK
        std::vector<std::string> messages;   // an apply the signal cut short: how it ended,
        std::string summary;                 // its summary so far (empty when nothing was sent)
        std::string undoPath;                // and its undo file, when one was written
    };
    Ending ending();

private:
    bool claim(JobKind kind, bool watch = false);
    void launch(std::function<void()> job);
    void runScan(const std::string& where, double quiet);
    void runApply(const std::vector<PlanRow>& rows, bool dryRun, const Macs& mustBeGone);
    void runWatch(const std::string& where);
    void tellWatch(const WatchEvent& e);
    void endJob(const JobOrder& order, const JobResult& result);
    void tell(const char* event, const std::string& data);
    void tellTable(const Scanner& scanner);
    void takeAnswers(const std::vector<Sighting>& found);
    std::string jobTextLocked();

    const WebSettings settings_;
    const std::function<int()> stopSignal_;
    Publish publish_;

    Lock lock_;   // guards everything below
    std::vector<Sighting> found_;
    std::vector<ScanFlag> flags_;
    std::vector<std::string> rowTexts_;   // each row's JSON as last published
    std::string where_;                   // the interfaces of the last scan
    bool running_ = false;
    bool anyJob_ = false;
    JobKind kind_ = JOB_SCAN;
    bool watchJob_ = false;                  // the job (running, or the last) is the watch
    std::deque<std::string> watchEvents_;    // the watch's latest events as JSON, oldest first
    int status_ = -1;                        // the last job's exit status; -1 before the first ended
    std::vector<std::string> endMessages_;   // how the last job ended, beyond its status
    JobResult result_;                       // the last apply's
    std::string undoPath_;                   // the last apply's undo file, and its plan
    std::string undoText_;

    std::atomic<bool> watchStop_{false};
    Worker worker_;   // the job's thread
};
