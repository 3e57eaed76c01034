#include "report/watch_text.h"

#include <nlohmann/json.hpp>

#include <cstring>

#include "platform/host.h"
#include "report/cells.h"
#include "report/device_text.h"
#include "report/formats.h"
#include "report/scan_forms.h"

namespace {

const size_t TIME_WIDTH = 12;   // 15:30:00.123
const size_t EVENT_WIDTH = 8;   // appeared, conflict
const size_t MAC_WIDTH = 17;
const size_t IP_WIDTH = 15;
const size_t NAME_WIDTH = 20;   // columns; a longer name pushes what follows on its line

// The node name as the console dumps show it.
std::string shownName(const Response& r)
{
    char safe[NODE_NAME_LEN + 1] = "";
    (void)appendSafeText(safe, sizeof safe, r.nodeName, strlen((const char*)r.nodeName));
    return safe;
}

// The cells padded to their widths, two spaces apart, without blanks at the end.
std::string columns(const std::string (&cells)[6], const size_t (&widths)[5])
{
    std::string line;
    for (size_t i = 0; i < 6; ++i) {
        line += cells[i];
        if (i < 5) {
            size_t shown = displayWidth(cells[i].data(), cells[i].size());
            line += std::string((shown < widths[i] ? widths[i] - shown : 0) + 2, ' ');
        }
    }
    line.erase(line.find_last_not_of(' ') + 1);
    return line + "\n";
}

const size_t WIDTHS[5] = {TIME_WIDTH, EVENT_WIDTH, MAC_WIDTH, IP_WIDTH, NAME_WIDTH};

// A field's value in an answer, as the table shows it.
std::string fieldText(const Response& r, unsigned field)
{
    switch (field) {
    case WATCH_FIELD_IP:
        return ipv4Text(r.ip);
    case WATCH_FIELD_GATEWAY:
        return ipv4Text(r.gateway);
    case WATCH_FIELD_MASK:
        return ipv4Text(r.mask);
    default:
        return "'" + shownName(r) + "'";
    }
}

// What changed, for people: "ip 192.168.1.23 -> 192.168.1.50, name 'A' -> 'B'".
std::string changeText(const WatchEvent& e)
{
    std::string text;
    for (unsigned field : WATCH_FIELDS) {
        if ((e.fields & field) != 0) {
            text += (text.empty() ? "" : ", ") +
                    std::string(field == WATCH_FIELD_NODE_NAME ? "name" : watchFieldKey(field)) + " " +
                    fieldText(e.was, field) + " -> " + fieldText(e.controller.response, field);
        }
    }
    return text;
}

}   // namespace

const char* watchEventName(WatchEventKind kind)
{
    switch (kind) {
    case WATCH_PRESENT:
        return "present";
    case WATCH_APPEARED:
        return "appeared";
    case WATCH_GONE:
        return "gone";
    case WATCH_BACK:
        return "back";
    case WATCH_CHANGED:
        return "changed";
    case WATCH_CONFLICT:
        return "conflict";
    case WATCH_FULL:
        break;
    }
    return "";
}

const char* watchFieldKey(unsigned field)
{
    switch (field) {
    case WATCH_FIELD_IP:
        return "ip";
    case WATCH_FIELD_GATEWAY:
        return "gateway";
    case WATCH_FIELD_MASK:
        return "mask";
    default:
        return "node_name";
    }
}

std::string watchTableHead()
{
    return columns({"TIME", "EVENT", "MAC", "IP", "NODE NAME", "DETAIL"}, WIDTHS);
}

std::string watchTableLine(const WatchEvent& e)
{
    const Response& r = e.controller.response;
    std::string detail;
    if (e.kind == WATCH_CHANGED) {
        detail = changeText(e);
    } else if (e.kind == WATCH_CONFLICT) {
        detail = "! " + conflictText(e.controller, e.flag);
    }
    return columns(
        {localTimeOfDay(e.time.wallMs), watchEventName(e.kind), macText(r.mac), ipv4Text(r.ip), shownName(r), detail},
        WIDTHS);
}

nlohmann::ordered_json watchEventJson(const WatchEvent& e)
{
    nlohmann::ordered_json one = nlohmann::ordered_json::object();
    one["time"] = utcTimeText(e.time.wallMs);
    one["event"] = watchEventName(e.kind);
    const nlohmann::ordered_json controller = controllerJson(e.controller, e.flag);
    for (auto item = controller.begin(); item != controller.end(); ++item) {
        one[item.key()] = item.value();
    }
    if (e.kind == WATCH_CHANGED) {
        nlohmann::ordered_json fields = nlohmann::ordered_json::array();
        nlohmann::ordered_json was = nlohmann::ordered_json::object();
        for (unsigned field : WATCH_FIELDS) {
            if ((e.fields & field) != 0) {
                fields.push_back(watchFieldKey(field));
                was[watchFieldKey(field)] =
                    field == WATCH_FIELD_NODE_NAME ? std::string((const char*)e.was.nodeName) : fieldText(e.was, field);
            }
        }
        one["fields"] = fields;
        one["was"] = was;
    }
    return one;
}

std::string watchJsonLine(const WatchEvent& e)
{
    return jsonText(watchEventJson(e), -1) + "\n";
}

std::string watchFullLine()
{
    return std::to_string(WATCH_MAX_CONTROLLERS) +
           " controllers watched, as many as are kept; further MACs are left out";
}

std::string watchTallyLine(const WatchResult& result)
{
    const char* const many[WATCH_TALLIED] = {"present", "appeared", "gone", "back", "changed", "conflicts"};
    std::string line;
    for (int kind = 0; kind < WATCH_TALLIED; ++kind) {
        line += (kind == 0 ? "" : ", ") + counted(result.tally[kind], watchEventName((WatchEventKind)kind), many[kind]);
    }
    return line + "; " + counted(result.asks, "ask", "asks");
}
