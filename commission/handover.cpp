#include "commission/handover.h"

#include <map>

#include "platform/host.h"

const char HANDOVER_TITLE[] = "Handover report";

HandoverMaker handoverMakerNow(const std::string& journalPath, const std::string& program, const std::string& version)
{
    return {journalPath, program, version, computerName(), utcTimeText(wallClockMs())};
}

// Adds text to list unless it is there or empty.
static void addOnce(std::vector<std::string>& list, const std::string& text)
{
    if (text.empty()) {
        return;
    }
    for (const std::string& t : list) {
        if (t == text) {
            return;
        }
    }
    list.push_back(text);
}

Handover handoverOf(const JournalRead& read, const std::string& title, const std::string& since,
                    const std::string& until)
{
    Handover h;
    h.title = title.empty() ? HANDOVER_TITLE : title;
    h.since = since;
    h.until = until;
    h.chain = read.chain;
    h.entries = read.entries.size();
    if (!read.entries.empty()) {
        h.first = read.entries.front().time;
        h.last = read.entries.back().time;
    }
    std::map<std::string, size_t> rowOf;   // MAC -> index in h.rows
    for (const JournalEntry& e : read.entries) {
        addOnce(h.computers, e.computer);
        addOnce(h.operators, e.user);
        addOnce(h.programs, e.program + (e.version.empty() ? "" : " " + e.version));
        for (const JournalRow& r : e.rows) {
            auto found = rowOf.find(r.mac);
            if (found == rowOf.end()) {
                found = rowOf.emplace(r.mac, h.rows.size()).first;
                h.rows.push_back(HandoverRow());
                h.rows.back().mac = r.mac;
                h.rows.back().before = r.before;
            }
            HandoverRow& row = h.rows[found->second];
            row.nodeName = r.nodeName.empty() ? row.nodeName : r.nodeName;
            row.before = row.before.known ? row.before : r.before;
            row.time = e.time;
            if (e.entry == "start") {
                ++row.runs;
                row.ended = false;   // until its end says otherwise
                row.state.clear();
                row.after = JournalAddresses();
            } else {
                row.runs += row.ended ? 1 : 0;   // an end whose start lies before the range
                row.ended = true;
                row.state = r.state;
                row.after = r.after;
            }
        }
    }
    return h;
}

bool handoverWritten(const JournalRead& read)
{
    return read.status == JOURNAL_FILE_READ && !read.entries.empty();
}

int handoverStatus(const JournalRead& read)
{
    if (read.status == JOURNAL_FILE_FAILED) {
        return EXIT_NETWORK;
    }
    return handoverWritten(read) && read.chain.result == CHAIN_INTACT ? EXIT_OK : EXIT_NOT_FOUND;
}
