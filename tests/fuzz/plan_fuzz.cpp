// Fuzz target: arbitrary plan files through the plan reader.
//
// Checked: a plan is either rows without errors or errors without rows; every error names a line
// of the text (line ends LF, CRLF or CR) and is UTF-8 without a control byte; accepted rows are in line
// order, each with its own MAC, and no IP address is set on two of them.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "commission/plan.h"
#include "protocol/utf8.h"
#include "report/input_text.h"

static void fault(const char* what, const std::string& detail)
{
    fprintf(stderr, "plan_fuzz: %s: %s\n", what, detail.c_str());
    abort();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string text((const char*)data, size);
    std::vector<PlanRow> rows;
    std::vector<PlanError> errors;
    bool ok = readPlan(text, &rows, &errors);

    int lines = 1;
    for (size_t i = 0; i < text.size(); ++i) {
        lines += text[i] == '\n' || (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n')) ? 1 : 0;
    }
    if (ok != errors.empty() || (ok && rows.empty()) || (!ok && !rows.empty())) {
        fault("rows and errors disagree", std::to_string(rows.size()) + " rows");
    }
    for (const PlanError& e : errors) {
        if (e.line < 1 || e.line > lines) {
            fault("error on a line outside the text", std::to_string(e.line));
        }
        std::string message = planErrorText(e);
        for (char c : message) {
            if ((unsigned char)c < 0x20 || c == 0x7F) {
                fault("control byte in a message", message);
            }
        }
        if (!isUtf8(message.data(), message.size())) {
            fault("a message that is not UTF-8", message);
        }
    }
    std::set<std::string> macs;
    std::set<std::string> ips;
    int last = 1;
    for (const PlanRow& r : rows) {
        if (r.line <= last || r.line > lines) {
            fault("row out of order", std::to_string(r.line));
        }
        last = r.line;
        if (!macs.insert(std::string((const char*)r.mac, MAC_LEN)).second ||
            (r.setIp && !ips.insert(std::string((const char*)r.ip, IPV4_LEN)).second)) {
            fault("MAC or IP twice", std::to_string(r.line));
        }
    }
    return 0;
}
