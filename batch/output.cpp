#include "batch/output.h"

#include <cstdio>

#include "platform/platform.h"
#include "report/frame.h"
#include "report/messages.h"
#include "report/status_line.h"

const char BATCH_PROGRAM[] = "brevindor-batch";

namespace {

// The one status line at a terminal: drawn over itself with a carriage return and blanks, which
// every console understands; nothing at all when standard error is no terminal.
struct StatusLine {
    bool terminal = false;
    std::string shown;   // what the line shows now; empty: nothing
};

StatusLine& statusLine()
{
    static StatusLine line;
    return line;
}

void drawStatus(const Event& e)
{
    StatusLine& line = statusLine();
    std::string text = statusText(e);
    if (!line.terminal || text == line.shown) {
        return;
    }
    // Blanks over what is left of a longer text before.
    size_t blanks = line.shown.size() > text.size() ? line.shown.size() - text.size() : 0;
    fprintf(stderr, "\r%s%*s", text.c_str(), (int)blanks, "");
    (void)fflush(stderr);
    line.shown = text;
}

}   // namespace

void startStatus()
{
    statusLine().terminal = isTerminal(stderr);
}

bool statusShown()
{
    return statusLine().terminal;
}

void clearStatus()
{
    StatusLine& line = statusLine();
    if (!line.terminal || line.shown.empty()) {
        return;
    }
    fprintf(stderr, "\r%*s\r", (int)line.shown.size(), "");
    (void)fflush(stderr);
    line.shown.clear();
}

void say(const std::string& text)
{
    clearStatus();
    size_t at = 0;
    while (at <= text.size()) {
        size_t end = text.find('\n', at);
        std::string line = text.substr(at, end == std::string::npos ? std::string::npos : end - at);
        if (line.compare(0, 2, "  ") == 0) {
            fprintf(stderr, "%s\n", line.c_str());
        } else {
            fprintf(stderr, "%s: %s\n", BATCH_PROGRAM, line.c_str());
        }
        if (end == std::string::npos) {
            break;
        }
        at = end + 1;
    }
}

void say(const std::vector<std::string>& messages)
{
    for (const std::string& m : messages) {
        say(m);
    }
}

void sayAt(const std::string& place, int line, const std::string& text)
{
    clearStatus();
    fprintf(stderr, "%s:%d: %s\n", place.c_str(), line, text.c_str());
}

void writeResult(const std::string& text)
{
    (void)fwrite(text.data(), 1, text.size(), stdout);
}

void showEvent(const Event& e)
{
    if (isProgress(e.kind)) {
        drawStatus(e);
        return;
    }
    std::string text = eventText(e, FRAME_OPTIONS);
    if (!text.empty()) {
        say(text);
    }
}
