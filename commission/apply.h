// The commissioning sequence: one scan, a setting for every planned controller whose addresses
// differ from its target, and the verification of them all together; then the exit status. What
// happens on the way goes out as events, for the front end to show.
#pragma once

#include <array>
#include <functional>
#include <vector>

#include "commission/address_rules.h"
#include "commission/discovery.h"
#include "commission/events.h"
#include "commission/failure.h"
#include "commission/plan.h"
#include "commission/scanner.h"

// Exit status of the batch program
const int EXIT_OK = 0;
const int EXIT_NOT_FOUND = 1;   // nothing found, or a planned controller not found
const int EXIT_USAGE = 2;       // usage or plan error, unknown or no interface; nothing sent
const int EXIT_NETWORK = 3;     // network or system failure
const int EXIT_UNCONFIRMED = 4;
const int EXIT_CONFLICT = 5;   // a planned MAC answered from two or more senders; nothing sent to it

// Requests from every local address and listens with the quiet-time rule.
Failure scanOnce(Scanner& s, const ScanOptions& options, const EventSink& sink);

struct Addresses {
    unsigned char ip[IPV4_LEN];
    unsigned char gateway[IPV4_LEN];
    unsigned char mask[IPV4_LEN];
};

// One planned controller: its target and what it reports now.
struct Outcome {
    int line;   // plan line; 0 for the set command
    unsigned char mac[MAC_LEN];
    // Which fields of the target are known: a kept field of a missing controller is not.
    bool knownIp;
    bool knownGateway;
    bool knownMask;
    Addresses target;
    bool found;
    Response before;   // the controller's answer at the scan, when found
    Response now;      // its latest answer, when found
    OutcomeState state;
    std::vector<SenderReport> senders;   // in a conflict: every sender, with what it reported
};

// True for both kinds of conflict.
bool isConflictState(OutcomeState state);

// Called once the settings to send are known, before the first goes out: the outcomes so far and
// the rows about to be sent. False stops the run with nothing sent.
typedef std::function<bool(const std::vector<Outcome>& outcomes, const std::vector<size_t>& toSend)> BeforeSending;

struct ApplyOptions {
    ScanOptions scan;
    double verifyTime = 10;   // how long to wait for the controllers to report their targets
    bool noVerify = false;
    bool dryRun = false;
    BeforeSending beforeSending;   // optional; not called with --dry-run
    // Every address of this computer: no target may take one. The scanner's own are always
    // among them.
    std::vector<LocalInterface> ownAddresses;
    // Controllers that must not answer (a replaced one): when one does, nothing is sent.
    Macs mustBeGone;
};

struct ApplyResult {
    std::vector<Outcome> outcomes;      // one a plan row, in its order
    Failure failure = noFailure();      // the network failure that ended the run early, if any
    bool summary = false;               // the outcomes are worth showing: the run got to verifying
    std::vector<Refusal> refusals;      // targets that cannot work; when any, nothing was sent
    bool held = false;                  // beforeSending said no: nothing sent
    std::vector<Sighting> stillHeard;   // of mustBeGone, those that answered: nothing sent
    bool stopped = false;               // the wire said stop; summary tells whether anything was sent
};

// Scans once, sends every setting that changes something, verifies them together. Targets that
// cannot work refuse the whole plan: before the scan when their fields are all given, else once
// the scan filled them in.
ApplyResult applyPlan(Scanner& s, const std::vector<PlanRow>& rows, const ApplyOptions& options, const EventSink& sink);

// What applyPlan would refuse once its scan found these controllers, with this computer's own
// addresses; no traffic (a front end checks edits against the table of an earlier scan).
std::vector<Refusal> checkPlan(const std::vector<PlanRow>& rows, const std::vector<Sighting>& found,
                               const std::vector<LocalInterface>& own);

// The exit status: EXIT_USAGE when refused, EXIT_CONFLICT when a controller that must be gone
// answered, else the first of EXIT_NETWORK, EXIT_UNCONFIRMED, EXIT_CONFLICT, EXIT_NOT_FOUND that
// applies. A stop by signal is the runner's to tell.
int applyStatus(const ApplyResult& result);
