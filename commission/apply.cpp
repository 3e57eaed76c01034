#include "commission/apply.h"

#include <cstring>

#include "commission/conflicts.h"
#include "commission/discovery.h"
#include "protocol/messages.h"

// During verification, a round this often until every controller reports its target: the settings
// not yet confirmed again (one may have been lost), then a request.
static const double VERIFY_REQUEST_EVERY_S = 0.5;

Failure scanOnce(Scanner& s, const ScanOptions& options, const EventSink& sink)
{
    for (const LocalInterface& local : s.locals) {
        Event e = eventOf(EVENT_SCANNING);
        e.local = local;
        sink(e);
    }
    Failure failure = noFailure();
    ListenEnd end = discover(s, options, sink, &failure);
    s.discovering = false;
    if (end == LISTEN_FAILED || end == LISTEN_STOPPED) {
        return failure;
    }
    if (end == LISTEN_DEADLINE) {
        Event e = eventOf(EVENT_MAX_TIME);
        e.seconds = options.maxTime;
        sink(e);
    }
    if (s.ignored > 0 || s.tooLong > 0) {
        Event e = eventOf(EVENT_IGNORED);
        e.count = s.ignored + s.tooLong;
        e.other = s.tooLong;
        sink(e);
    }
    Event e = eventOf(EVENT_SCANNED);
    e.count = (long)s.found.size();
    e.other = s.datagrams;
    sink(e);
    return noFailure();
}

// The target: each field as planned, or as the controller reports it (unknown when it is missing).
static void targetOf(const PlanRow& row, const Sighting* seen, Outcome* o)
{
    const struct {
        bool set;
        const unsigned char* given;
        const unsigned char* reported;
        bool* known;
        unsigned char* target;
    } fields[] = {
        {row.setIp, row.ip, seen != NULL ? seen->response.ip : NULL, &o->knownIp, o->target.ip},
        {row.setGateway, row.gateway, seen != NULL ? seen->response.gateway : NULL, &o->knownGateway,
         o->target.gateway},
        {row.setMask, row.mask, seen != NULL ? seen->response.mask : NULL, &o->knownMask, o->target.mask},
    };
    for (const auto& f : fields) {
        const unsigned char* value = f.set ? f.given : f.reported;
        *f.known = value != NULL;
        if (value != NULL) {
            memcpy(f.target, value, IPV4_LEN);
        }
    }
}

// The target of a row for the address rules, as far as it is known.
static Target ruleTarget(const PlanRow& row, const Outcome& o)
{
    Target t;
    memset(&t, 0, sizeof t);
    t.line = o.line;
    memcpy(t.mac, o.mac, MAC_LEN);
    const struct {
        bool known;
        bool set;
        const unsigned char* value;
        TargetField* field;
    } fields[] = {
        {o.knownIp, row.setIp, o.target.ip, &t.ip},
        {o.knownGateway, row.setGateway, o.target.gateway, &t.gateway},
        {o.knownMask, row.setMask, o.target.mask, &t.mask},
    };
    for (const auto& f : fields) {
        f.field->known = f.known;
        f.field->kept = !f.set;
        memcpy(f.field->value, f.value, IPV4_LEN);
    }
    return t;
}

// Every row's target against the rules, with what the scan found (nothing yet: only the rows
// whose fields are all given).
static std::vector<Refusal> refusalsOf(const Scanner& s, const std::vector<PlanRow>& rows,
                                       const std::vector<Sighting>& found, const ApplyOptions& options)
{
    std::vector<Target> targets;
    for (const PlanRow& row : rows) {
        Outcome o = Outcome();
        o.line = row.line;
        memcpy(o.mac, row.mac, MAC_LEN);
        targetOf(row, found.empty() ? NULL : findSighting(s, row.mac), &o);
        targets.push_back(ruleTarget(row, o));
    }
    std::vector<LocalInterface> own = s.locals;
    own.insert(own.end(), options.ownAddresses.begin(), options.ownAddresses.end());
    return refuseTargets(targets, found, own);
}

static bool reportsTarget(const Response& r, const Outcome& o)
{
    return memcmp(r.ip, o.target.ip, IPV4_LEN) == 0 && memcmp(r.gateway, o.target.gateway, IPV4_LEN) == 0 &&
           memcmp(r.mask, o.target.mask, IPV4_LEN) == 0;
}

bool isConflictState(OutcomeState state)
{
    return state == OUTCOME_CONFLICT || state == OUTCOME_CONFLICT_AFTER_SENDING;
}

static size_t indexOf(const Scanner& s, const Sighting* seen)
{
    return (size_t)(seen - s.found.data());
}

// A sender first heard while verifying, other than the row's new address (a controller may
// answer from the address it has just taken): a second device with this MAC.
static bool heardAnotherWhileVerifying(const Scanner& s, size_t index, const Outcome& o)
{
    if (index >= s.senders.size()) {
        return false;
    }
    for (const SenderReport& one : s.senders[index]) {
        if (one.afterScan && memcmp(one.address.data(), o.target.ip, IPV4_LEN) != 0) {
            return true;
        }
    }
    return false;
}

// Tells each plan row's state once it is decided, and again when it changes: SENDING stands for a
// row whose setting is about to go out.
static const int TOLD_NOTHING = -1;
static const int TOLD_SENDING = -2;

struct StateTeller {
    const EventSink& sink;
    std::vector<int> told;   // one a row: what was told last

    void tellOne(const Outcome& o, size_t row, int what)
    {
        if (told[row] == what) {
            return;
        }
        told[row] = what;
        Event e = eventOf(what == TOLD_SENDING ? EVENT_ROW_SENDING : EVENT_ROW_STATE);
        e.row = row;
        memcpy(e.mac, o.mac, MAC_LEN);
        e.state = o.state;
        sink(e);
    }

    // While verifying only what is settled: a row sent to stays as it was told until then.
    void tellSettled(const std::vector<Outcome>& outcomes)
    {
        for (size_t i = 0; i < outcomes.size(); ++i) {
            if (outcomes[i].state == OUTCOME_VERIFIED || outcomes[i].state == OUTCOME_CONFLICT_AFTER_SENDING) {
                tellOne(outcomes[i], i, outcomes[i].state);
            }
        }
    }

    void tellAll(const std::vector<Outcome>& outcomes)
    {
        for (size_t i = 0; i < outcomes.size(); ++i) {
            tellOne(outcomes[i], i, outcomes[i].state);
        }
    }
};

// The latest answers against the targets of the rows sent to; how many are settled: they report
// their targets, or a second device answered with their MAC (then waiting helps nothing).
static size_t confirm(const Scanner& s, const std::vector<size_t>& sent, std::vector<Outcome>& outcomes)
{
    size_t n = 0;
    for (size_t i : sent) {
        Outcome& o = outcomes[i];
        const Sighting* seen = findSighting(s, o.mac);
        o.now = seen->response;
        if (o.state == OUTCOME_CONFLICT_AFTER_SENDING || heardAnotherWhileVerifying(s, indexOf(s, seen), o)) {
            o.state = OUTCOME_CONFLICT_AFTER_SENDING;
            ++n;
        } else if (reportsTarget(seen->response, o)) {
            o.state = OUTCOME_VERIFIED;
            ++n;
        }
    }
    return n;
}

// The same setting again for every row sent to that does not report its target yet.
static Failure resendUnconfirmed(Scanner& s, const std::vector<size_t>& sent, const std::vector<Outcome>& outcomes)
{
    for (size_t i : sent) {
        const Outcome& o = outcomes[i];
        if (o.state == OUTCOME_VERIFIED || o.state == OUTCOME_CONFLICT_AFTER_SENDING) {
            continue;
        }
        unsigned char setting[SETTING_LEN];
        buildSetting(setting, o.mac, o.target.ip, o.target.gateway, o.target.mask);
        Failure failure = sendSetting(s, *findSighting(s, o.mac), setting);
        if (failure.call != FAILED_NONE || s.stopped) {
            return failure;
        }
    }
    return noFailure();
}

// Asks again every VERIFY_REQUEST_EVERY_S, from the second round re-sending what is not confirmed, until every row sent
// to reports its target or the verify time is up. With progressEvery, tells how far it is that often.
static Failure verify(Scanner& s, const std::vector<size_t>& sent, std::vector<Outcome>& outcomes, double seconds,
                      double progressEvery, StateTeller& teller)
{
    const EventSink& sink = teller.sink;
    Failure failure = noFailure();
    const double end = s.wire.now() + seconds;
    auto confirmed = [&]() {
        bool all = confirm(s, sent, outcomes) == sent.size();
        teller.tellSettled(outcomes);
        return all;
    };
    for (bool first = true;; first = false) {
        double left = end - s.wire.now();
        if (left <= TIME_STEP_S || confirmed()) {
            break;
        }
        failure = first ? noFailure() : resendUnconfirmed(s, sent, outcomes);
        if (failure.call != FAILED_NONE || s.stopped) {
            break;
        }
        failure = sendRequests(s);
        if (failure.call != FAILED_NONE || s.stopped) {
            break;
        }
        const double roundEnd = s.wire.now() + (left < VERIFY_REQUEST_EVERY_S ? left : VERIFY_REQUEST_EVERY_S);
        ListenEnd heard;
        do {
            double now = s.wire.now();
            double wait = roundEnd - now;
            if (progressEvery > 0) {
                Event e = eventOf(EVENT_VERIFY_WAIT);
                e.count = (long)confirm(s, sent, outcomes);
                e.other = (long)sent.size();
                e.seconds = end - now;
                sink(e);
                wait = wait < progressEvery ? wait : progressEvery;
            }
            heard = listenFor(s, -1, wait, confirmed, &failure);
        } while (heard == LISTEN_DEADLINE && s.wire.now() < roundEnd - TIME_STEP_S);
        if (heard == LISTEN_FAILED || heard == LISTEN_STOPPED) {
            break;
        }
    }
    confirmed();
    return failure;
}

// A row left unchanged whose MAC a second sender answered for later in the run is a conflict too;
// every conflict row carries its senders and what each reported.
static void markConflicts(const Scanner& s, std::vector<Outcome>& outcomes)
{
    for (Outcome& o : outcomes) {
        const Sighting* seen = o.found ? findSighting(s, o.mac) : NULL;
        if (seen == NULL || indexOf(s, seen) >= s.senders.size()) {
            continue;
        }
        const std::vector<SenderReport>& senders = s.senders[indexOf(s, seen)];
        if (o.state == OUTCOME_UNCHANGED && senders.size() > 1) {
            o.state = OUTCOME_CONFLICT;
        }
        if (isConflictState(o.state)) {
            o.senders = senders;
        }
    }
}

ApplyResult applyPlan(Scanner& s, const std::vector<PlanRow>& rows, const ApplyOptions& options, const EventSink& sink)
{
    ApplyResult result;
    result.summary = false;
    result.failure = noFailure();
    result.refusals = refusalsOf(s, rows, std::vector<Sighting>(), options);
    if (!result.refusals.empty()) {
        return result;
    }
    ScanOptions scan = options.scan;
    for (const PlanRow& row : rows) {
        scan.wanted.emplace_back();
        memcpy(scan.wanted.back().data(), row.mac, MAC_LEN);
    }
    // One that must be gone is asked for too: the scan then waits for it as long as for the others.
    scan.wanted.insert(scan.wanted.end(), options.mustBeGone.begin(), options.mustBeGone.end());
    result.failure = scanOnce(s, scan, sink);
    if (result.failure.call != FAILED_NONE || s.stopped) {
        result.stopped = s.stopped;
        return result;
    }
    for (const auto& mac : options.mustBeGone) {
        const Sighting* seen = findSighting(s, mac.data());
        if (seen != NULL) {
            result.stillHeard.push_back(*seen);
        }
    }
    if (!result.stillHeard.empty()) {
        return result;
    }
    result.refusals = refusalsOf(s, rows, s.found, options);
    if (!result.refusals.empty()) {
        return result;
    }

    result.outcomes.resize(rows.size());
    std::vector<size_t> toSend;
    std::vector<size_t> sent;
    for (size_t i = 0; i < rows.size(); ++i) {
        Outcome& o = result.outcomes[i];
        o = Outcome();
        o.line = rows[i].line;
        memcpy(o.mac, rows[i].mac, MAC_LEN);
        const Sighting* seen = findSighting(s, rows[i].mac);
        targetOf(rows[i], seen, &o);
        if (seen == NULL) {
            o.state = OUTCOME_NOT_FOUND;
            Event e = eventOf(EVENT_NOT_FOUND);
            memcpy(e.mac, o.mac, MAC_LEN);
            sink(e);
            continue;
        }
        o.found = true;
        o.before = seen->response;
        o.now = seen->response;
        if (isConflict(s, indexOf(s, seen))) {
            o.state = OUTCOME_CONFLICT;
            continue;
        }
        if (reportsTarget(seen->response, o)) {
            o.state = OUTCOME_UNCHANGED;
            continue;
        }
        if (options.dryRun) {
            o.state = OUTCOME_WOULD_SEND;
            continue;
        }
        o.state = OUTCOME_INTERRUPTED;
        toSend.push_back(i);
    }
    if (!toSend.empty() && options.beforeSending && !options.beforeSending(result.outcomes, toSend)) {
        result.held = true;
        return result;
    }
    StateTeller teller = {sink, std::vector<int>(rows.size(), TOLD_NOTHING)};
    for (size_t i = 0, k = 0; i < rows.size(); ++i) {
        bool sending = k < toSend.size() && toSend[k] == i;
        teller.tellOne(result.outcomes[i], i, sending ? TOLD_SENDING : result.outcomes[i].state);
        k += sending ? 1 : 0;
    }
    for (size_t i : toSend) {
        Outcome& o = result.outcomes[i];
        if (s.wire.stop && s.wire.stop()) {
            result.stopped = true;
            break;
        }
        unsigned char setting[SETTING_LEN];
        buildSetting(setting, o.mac, o.target.ip, o.target.gateway, o.target.mask);
        result.failure = sendSetting(s, *findSighting(s, o.mac), setting);
        if (s.stopped) {
            result.stopped = true;   // a signal cut this send short: it did not go out
            break;
        }
        if (result.failure.call != FAILED_NONE) {
            // What went out before the failure is told as sent, the rest as interrupted.
            for (size_t k : sent) {
                result.outcomes[k].state = OUTCOME_SENT;
            }
            markConflicts(s, result.outcomes);
            teller.tellAll(result.outcomes);
            result.summary = true;
            return result;
        }
        o.state = options.noVerify ? OUTCOME_SENT : OUTCOME_NOT_CONFIRMED;
        sent.push_back(i);
    }
    if (!sent.empty()) {
        Event e = eventOf(EVENT_SENT);
        e.count = (long)sent.size();
        sink(e);
    }
    if (!sent.empty() && !options.noVerify && !result.stopped) {
        result.failure = verify(s, sent, result.outcomes, options.verifyTime, options.scan.progressEvery, teller);
        result.stopped = s.stopped;
    }
    markConflicts(s, result.outcomes);
    teller.tellAll(result.outcomes);
    result.summary = true;
    return result;
}

int applyStatus(const ApplyResult& result)
{
    if (!result.refusals.empty()) {
        return EXIT_USAGE;
    }
    if (!result.stillHeard.empty()) {
        return EXIT_CONFLICT;
    }
    bool unconfirmed = false;
    bool missing = false;
    bool conflict = false;
    for (const Outcome& o : result.outcomes) {
        conflict = conflict || isConflictState(o.state);
        unconfirmed = unconfirmed || o.state == OUTCOME_NOT_CONFIRMED;
        missing = missing || o.state == OUTCOME_NOT_FOUND;
    }
    if (result.failure.call != FAILED_NONE || result.held) {
        return EXIT_NETWORK;
    }
    if (unconfirmed) {
        return EXIT_UNCONFIRMED;
    }
    if (conflict) {
        return EXIT_CONFLICT;
    }
    return missing ? EXIT_NOT_FOUND : EXIT_OK;
}

std::vector<Refusal> checkPlan(const std::vector<PlanRow>& rows, const std::vector<Sighting>& found,
                               const std::vector<LocalInterface>& own)
{
    std::vector<Target> targets;
    for (const PlanRow& row : rows) {
        const Sighting* seen = NULL;
        for (const Sighting& f : found) {
            seen = memcmp(f.response.mac, row.mac, MAC_LEN) == 0 ? &f : seen;
        }
        Outcome o = Outcome();
        o.line = row.line;
        memcpy(o.mac, row.mac, MAC_LEN);
        targetOf(row, seen, &o);
        targets.push_back(ruleTarget(row, o));
    }
    return refuseTargets(targets, found, own);
}
