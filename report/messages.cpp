#include "report/messages.h"

#include <cstring>

#include "protocol/messages.h"
#include "report/cells.h"
#include "report/no_answer_text.h"
#include "report/scan_forms.h"

// How to name the interfaces to work from, where the message is read.
static const char* nameOneHint(Frame frame)
{
    return frame == FRAME_PAGE ? "choose one in the Interface menu" : "name one with --interface";
}

static std::string candidateLines(const std::vector<LocalInterface>& candidates)
{
    if (candidates.empty()) {
        return "\n  none: no interface other than loopback is up with an IPv4 address";
    }
    std::string text;
    for (const LocalInterface& c : candidates) {
        text += "\n  " + ipv4Text(c.address) + (c.name[0] != '\0' ? " " : "") + c.name +
                (c.tunnel ? " (a tunnel: used only when named)" : "");
    }
    return text;
}

std::string choiceFailureText(Choice choice, const std::string& where, const std::vector<LocalInterface>& candidates,
                              Frame frame)
{
    switch (choice) {
    case CHOICE_UNKNOWN:
        return "no interface has the address or name " + quoted(where) + "; candidates:" + candidateLines(candidates);
    case CHOICE_DOWN:
        return "the interface " + quoted(where) + " is down; candidates:" + candidateLines(candidates);
    case CHOICE_NONE:
        return std::string("no interface other than loopback or a tunnel is up with an IPv4 address; ") +
               nameOneHint(frame) + (candidates.empty() ? "" : candidateLines(candidates));   // tunnels alone
    case CHOICE_AMBIGUOUS:
        return std::string("more than one interface to choose from; ") + nameOneHint(frame) +
               " (or 'all'):" + candidateLines(candidates);
    case CHOICE_FAILED:
        return failureText(failureOf(FAILED_INTERFACES, NULL, 0));
    case CHOSEN:
        break;
    }
    return "";
}

std::string failureText(const Failure& f)
{
    std::string what;
    switch (f.call) {
    case FAILED_SOCKET:
        what = "can't make a socket for";
        break;
    case FAILED_BIND:
        what = "can't bind to port " + std::to_string(SCAN_PORT) + " on";
        break;
    case FAILED_TTL:
        what = "can't set the multicast time-to-live on";
        break;
    case FAILED_SEND:
        what = "can't send from";
        break;
    case FAILED_RECEIVE:
        what = "can't receive on";
        break;
    case FAILED_NO_SOCKET:
        return "no socket for the address that found the controller";
    case FAILED_INTERFACES:
        return "can't list the local addresses";
    case FAILED_NONE:
        return "";
    }
    return what + " " + (f.hasLocal ? ipv4Text(f.local) : "") + errorWords(f.error);
}

std::string errorWords(int error)
{
    if (error == 0) {
        return "";
    }
    char text[256];
    errorText(error, text, sizeof text);
    std::string words = ": " + std::string(text) + " (error " + std::to_string(error) + ")";
    switch (errorCause(error)) {
    case CAUSE_ADDRESS_IN_USE:
        return words + "; is another brevindor or brevindor-batch running?";
    case CAUSE_NO_DEVICE:
        return words + "; is the interface still up with this address?";
    case CAUSE_NETWORK_DOWN:
        return words + "; is the interface up and connected?";
    case CAUSE_PERMISSION:
        return words + "; does a firewall block UDP port " + std::to_string(SCAN_PORT) +
               ", or does it need root (Administrator on Windows)?";
    case CAUSE_OTHER:
        break;
    }
    return words;
}

std::vector<std::string> conflictWarnings(const std::vector<Sighting>& found, const std::vector<ScanFlag>& flags)
{
    std::vector<std::string> lines;
    for (size_t i = 0; i < found.size() && i < flags.size(); ++i) {
        std::string text = conflictWords(found[i], flags[i]);
        if (!text.empty()) {
            lines.push_back("warning: " + macText(found[i].response.mac) + ": " + text);
        }
    }
    return lines;
}

std::vector<std::string> outcomeWarnings(const std::vector<Outcome>& outcomes)
{
    std::vector<std::string> lines;
    for (const Outcome& o : outcomes) {
        if (!isConflictState(o.state)) {
            continue;
        }
        lines.push_back("warning: " + macText(o.mac) + ": MAC answered from " + sendersText(o.senders, true) + "; " +
                        (o.state == OUTCOME_CONFLICT
                             ? "nothing sent to it"
                             : "heard after the setting went out, which may have reached every one of them"));
    }
    return lines;
}

static std::string seconds(double s)
{
    char text[32];
    (void)snprintf(text, sizeof text, "%g s", s);
    return text;
}

std::string eventText(const Event& e, Frame frame)
{
    switch (e.kind) {
    case EVENT_SCANNING:
        return "scanning from " + ipv4Text(e.local.address) + (e.local.name[0] != '\0' ? " on " : "") + e.local.name;
    case EVENT_SMALL_BUFFER:
        return "warning: the receive buffer can't be enlarged";
    case EVENT_MAX_TIME:
        return std::string("answers kept coming; the scan ended at ") +
               (frame == FRAME_PAGE ? "its time limit" : "--max-time") + " (" + seconds(e.seconds) + ")";
    case EVENT_IGNORED:
        return "ignored " + counted(e.count, "datagram", "datagrams") + " that " + (e.count == 1 ? "is" : "are") +
               " no response (" + std::to_string(e.other) + " too long)";
    case EVENT_SCANNED:
        return counted(e.count, "controller", "controllers") + ", " + counted(e.other, "answer", "answers");
    case EVENT_NOT_FOUND:
        return "no controller with MAC " + macText(e.mac) + " answered; nothing sent to it";
    case EVENT_SENT:
        return "sent " + counted(e.count, "setting", "settings");
    case EVENT_SCAN_WAIT:
    case EVENT_PLANNED_WAIT:
    case EVENT_VERIFY_WAIT:
    case EVENT_ROW_STATE:
    case EVENT_ROW_SENDING:
    case EVENT_UNDO_WRITTEN:
        break;   // for the status line (report/status_line.h) and the page's rows
    }
    return "";
}

std::vector<std::string> jobEndMessages(const JobOrder& order, const JobResult& r, Frame frame)
{
    std::vector<std::string> lines;
    switch (r.end) {
    case JOB_NO_INTERFACE:
        lines.push_back(choiceFailureText(r.choice, order.where, r.candidates, frame));
        return lines;
    case JOB_UNDO_FAILED:
        lines.push_back("can't write the undo file " + order.undoPath + ": " + strerror(r.undoError) +
                        "; nothing sent");
        return lines;
    case JOB_JOURNAL_FAILED:
        lines.push_back((r.journalPath.empty() ? std::string("no place for the journal")
                                               : "can't write the journal " + r.journalPath) +
                        ": " + strerror(r.journalError) + "; nothing sent");
        return lines;
    case JOB_FAILED:
    case JOB_STOPPED:
    case JOB_FINISHED:
        break;
    }
    if (r.journalEndFailed) {
        lines.push_back("can't write the end of this run to the journal " + r.journalPath + ": " +
                        strerror(r.journalError));
    }
    for (const Sighting& old : r.apply.stillHeard) {
        lines.push_back("the controller " + macText(old.response.mac) + " still answers (from " + ipv4Text(old.sender) +
                        ", IP " + ipv4Text(old.response.ip) +
                        "): unplug it first, or two controllers would claim one address; nothing sent");
    }
    const std::vector<Refusal>& refusals = r.apply.refusals;
    if (!refusals.empty()) {
        lines.push_back(counted((long)refusals.size(), "address", "addresses") + " refused; nothing sent");
    }
    if (r.failure.call != FAILED_NONE) {
        lines.push_back(failureText(r.failure));
    }
    if (r.end == JOB_STOPPED) {
        bool scanning = order.kind == JOB_APPLY && !r.apply.summary;
        lines.push_back("stopped by signal " + std::to_string(r.signal) +
                        (scanning ? " during the scan; nothing sent" : ""));
    }
    if (r.end == JOB_FINISHED && order.kind == JOB_SCAN && r.found.empty()) {
        std::string text = "no controller answered";
        for (const std::string& hint : noAnswerHints(r.locals, candidatesAmong(r.listed), WINDOWS_HOST)) {
            text += "\n  " + hint;
        }
        lines.push_back(text);
    }
    return lines;
}

std::string exitStatusText(int status)
{
    switch (status) {
    case EXIT_OK:
        return "done";
    case EXIT_NOT_FOUND:
        return "nothing found, or a planned controller not found";
    case EXIT_USAGE:
        return "refused; nothing sent";
    case EXIT_NETWORK:
        return "network or system failure";
    case EXIT_UNCONFIRMED:
        return "sent but not confirmed";
    case EXIT_CONFLICT:
        return "a MAC answered from two or more senders";
    default:
        break;
    }
    return status > 128 ? "stopped by signal " + std::to_string(status - 128) : "status " + std::to_string(status);
}

std::string undoFileText(const std::string& path)
{
    return "the undo file is " + path;
}

std::string socketLibraryText()
{
    return "the socket library did not start";
}

std::string outOfMemoryText()
{
    return "out of memory";
}

std::string busyText(bool watching)
{
    return watching
               ? "the watch is on: turn Watch off before a scan, an apply, a replacement or a check of this computer"
               : "a scan, an apply or a check of this computer is running";
}

std::string sameControllerText()
{
    return "the old and the new MAC name the same controller";
}
