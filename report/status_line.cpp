#include "report/status_line.h"

#include "report/cells.h"

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
