#include "report/status_line.h"

#include "report/batch_output.h"

// Seconds as the line shows them: one decimal, never below zero.
static std::string secondsText(double seconds)
{
    char text[32];
    (void)snprintf(text, sizeof text, "%.1f s", seconds > 0 ? seconds : 0.0);
    return text;
}

std::string statusText(const Event& e)
{
    switch (e.kind) {
    case EVENT_SCAN_WAIT:
        return "scanning: " + counted(e.count, "controller", "controllers") + " found, " + secondsText(e.seconds) +
               " of quiet left";
    case EVENT_PLANNED_WAIT:
        return "scanning: " + std::to_string(e.count) + " of " +
               counted(e.other, "planned controller", "planned controllers") + " found";
    case EVENT_VERIFY_WAIT:
        return "verifying: " + std::to_string(e.count) + " of " + std::to_string(e.other) + " confirmed, " +
               secondsText(e.seconds) + " left";
    default:
        return "";
    }
}

void drawStatus(StatusLine& line, const Event& e)
{
    std::string text = statusText(e);
    if (!line.terminal || text == line.shown) {
        return;
    }
    // Blanks over what is left of a longer text before.
    size_t blanks = line.shown.size() > text.size() ? line.shown.size() - text.size() : 0;
    fprintf(line.out, "\r%s%*s", text.c_str(), (int)blanks, "");
    (void)fflush(line.out);
    line.shown = text;
}

void clearStatus(StatusLine& line)
{
    if (!line.terminal || line.shown.empty()) {
        return;
    }
    fprintf(line.out, "\r%*s\r", (int)line.shown.size(), "");
    (void)fflush(line.out);
    line.shown.clear();
}
