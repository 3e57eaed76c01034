#include "report/handover_html.h"

#include <cstring>

#include "protocol/address.h"
#include "report/device_text.h"
#include "report/journal_text.h"

std::string htmlEscape(const std::string& text)
{
    std::string escaped;
    escaped.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&':
            escaped += "&amp;";
            break;
        case '<':
            escaped += "&lt;";
            break;
        case '>':
            escaped += "&gt;";
            break;
        case '"':
            escaped += "&quot;";
            break;
        case '\'':
            escaped += "&#39;";
            break;
        default:
            escaped += c;
        }
    }
    return escaped;
}

// Device or person's text: shown by the safe-text rule, then escaped.
static std::string shown(const std::string& text)
{
    std::string safe(text.size() + 1, '\0');
    (void)appendSafeText(&safe[0], safe.size(), (const unsigned char*)text.data(), text.size());
    safe.resize(strlen(safe.c_str()));
    return htmlEscape(safe);
}

// "2026-12-09T14:30:00.123Z" as "2026-12-09 14:30:00".
static std::string timeShown(const std::string& utc)
{
    if (utc.size() < 19) {
        return htmlEscape(utc);
    }
    std::string t = utc.substr(0, 19);
    t[10] = ' ';
    return htmlEscape(t);
}

// The mask as a prefix length when it is one, else -1.
static int prefixOf(const std::string& mask)
{
    unsigned char m[IPV4_LEN];
    if (!parseIpv4(mask.c_str(), m)) {
        return -1;
    }
    unsigned long bits = ((unsigned long)m[0] << 24) | ((unsigned long)m[1] << 16) | ((unsigned long)m[2] << 8) | m[3];
    int length = 0;
    while (length < 32 && (bits & (0x80000000UL >> length)) != 0) {
        ++length;
    }
    unsigned long prefix = length == 0 ? 0 : (0xffffffffUL << (32 - length)) & 0xffffffffUL;
    return bits == prefix ? length : -1;
}

// "192.168.1.21/24 gw 192.168.1.1", or a dash.
static std::string addressesShown(const JournalAddresses& a)
{
    if (!a.known) {
        return "&ndash;";
    }
    int prefix = prefixOf(a.mask);
    std::string text = a.ip + (prefix >= 0 ? "/" + std::to_string(prefix) : " mask " + a.mask);
    return htmlEscape(text + " gw " + a.gateway);
}

static std::string listShown(const std::vector<std::string>& list)
{
    std::string text;
    for (const std::string& item : list) {
        text += (text.empty() ? "" : ", ") + shown(item);
    }
    return text.empty() ? "&ndash;" : text;
}

static const char STYLE[] = R"(@page { size: A4 portrait; margin: 14mm 12mm 16mm 12mm; }
* { box-sizing: border-box; }
html { -webkit-print-color-adjust: exact; print-color-adjust: exact; }
body { font-family: "DejaVu Sans", "Liberation Sans", Arial, sans-serif; font-size: 8pt; color: #000; margin: 0; }
h1 { font-size: 15pt; margin: 0 0 3mm; }
table { border-collapse: collapse; }
.facts th { text-align: left; padding: 0.4mm 4mm 0.4mm 0; vertical-align: top; white-space: nowrap; }
.facts td { padding: 0.4mm 0; vertical-align: top; overflow-wrap: anywhere; }
.facts { margin-bottom: 4mm; width: 100%; }
.broken { color: #a00000; font-weight: bold; }
.rows { width: 100%; table-layout: fixed; }
.rows thead { display: table-header-group; }
.rows tr { break-inside: avoid; page-break-inside: avoid; }
.rows th, .rows td { border: 0.25mm solid #777; padding: 0.6mm 1mm; text-align: left; vertical-align: top;
  overflow-wrap: anywhere; }
.rows th { background: #e8e8e8; }
.rows td { font-size: 7.5pt; }
.rows td.n { text-align: right; }
.rows td.k { white-space: nowrap; }
.sign { break-inside: avoid; page-break-inside: avoid; margin-top: 8mm; width: 100%; }
.sign td { width: 50%; padding: 0 6mm 0 0; vertical-align: top; }
.sign p { margin: 6mm 0 0; border-bottom: 0.3mm solid #000; padding-bottom: 0.5mm; }
.sign h2 { font-size: 10pt; margin: 0; }
)";

static std::string signatureBlock(const char* who)
{
    return std::string("<td><h2>") + who + "</h2><p>Name</p><p>Signature</p><p>Date</p></td>";
}

std::string handoverHtml(const Handover& h, const HandoverMaker& maker)
{
    std::string title = htmlEscape(h.title);
    std::string html = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>" + title +
                       "</title>\n<style>\n" + STYLE + "</style>\n</head>\n<body>\n<h1>" + title + "</h1>\n";
    html += "<table class=\"facts\">\n";
    html += "<tr><th>Computer</th><td>" + listShown(h.computers) + "</td></tr>\n";
    html += "<tr><th>Operators</th><td>" + listShown(h.operators) + "</td></tr>\n";
    html += "<tr><th>Program</th><td>" + listShown(h.programs) + "</td></tr>\n";
    std::string range = h.first.empty() ? "&ndash;" : timeShown(h.first) + " to " + timeShown(h.last) + " UTC";
    if (!h.since.empty() || !h.until.empty()) {
        range += " (asked for: " + (h.since.empty() ? std::string("the start") : htmlEscape(h.since)) + " to " +
                 (h.until.empty() ? std::string("the end") : htmlEscape(h.until)) + ")";
    }
    html += "<tr><th>Time range</th><td>" + range + "</td></tr>\n";
    html += "<tr><th>Journal</th><td>" + shown(maker.journalPath) + ": <span" +
            (h.chain.result == CHAIN_INTACT ? "" : " class=\"broken\"") + ">" + htmlEscape(chainSummary(h.chain)) +
            "</span></td></tr>\n";
    html += "<tr><th>Entries</th><td>" + std::to_string(h.entries) + " in the range, " + std::to_string(h.rows.size()) +
            " controller" + (h.rows.size() == 1 ? "" : "s") + "</td></tr>\n";
    html += "<tr><th>Made</th><td>" + timeShown(maker.time) + " UTC by " + shown(maker.program) + " " +
            shown(maker.version) + " on " + shown(maker.computer) + "</td></tr>\n";
    html += "</table>\n";
    html += "<table class=\"rows\">\n<colgroup><col style=\"width:4%\"><col style=\"width:17%\">"
            "<col style=\"width:14%\"><col style=\"width:17%\"><col style=\"width:17%\"><col style=\"width:12%\">"
            "<col style=\"width:19%\"></colgroup>\n";
    html += "<thead><tr><th>#</th><th>MAC</th><th>Node name</th><th>Before</th><th>After</th><th>State</th>"
            "<th>Time (UTC)</th></tr></thead>\n<tbody>\n";
    for (size_t i = 0; i < h.rows.size(); ++i) {
        const HandoverRow& r = h.rows[i];
        std::string state = r.ended ? shown(r.state) : std::string("no end recorded");
        if (r.runs > 1) {
            state += " (" + std::to_string(r.runs) + " runs)";
        }
        html += "<tr><td class=\"n\">" + std::to_string(i + 1) + "</td><td class=\"k\">" + htmlEscape(r.mac) +
                "</td><td>" + shown(r.nodeName) + "</td><td>" + addressesShown(r.before) + "</td><td>" +
                addressesShown(r.after) + "</td><td>" + state + "</td><td class=\"k\">" + timeShown(r.time) +
                "</td></tr>\n";
    }
    html += "</tbody>\n</table>\n";
    html += "<table class=\"sign\"><tr>" + signatureBlock("Commissioned by") + signatureBlock("Accepted by") +
            "</tr></table>\n";
    html += "</body>\n</html>\n";
    return html;
}
