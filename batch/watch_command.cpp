#include "batch/watch_command.h"

#include <cstdio>
#include <string>

#include "batch/output.h"
#include "report/messages.h"
#include "report/watch_text.h"

int runWatchCommand(const Settings& s)
{
    WatchLinks links;
    if (!openWatchLinks(links, s.where)) {
        if (links.choice != CHOSEN) {
            say(choiceFailureText(links.choice, s.where, links.candidates, FRAME_OPTIONS));
        } else {
            say(failureText(links.failure));
        }
        return watchLinksStatus(links);
    }
    for (size_t i = 0; i < links.scanner.locals.size(); ++i) {
        if (links.sockets.smallBuffer[i] != 0) {
            Event e = eventOf(EVENT_SMALL_BUFFER);
            e.local = links.scanner.locals[i];
            showEvent(e);
        }
    }
    // Standard output that can't take a line ends the watch as a signal would.
    bool outputFailed = false;
    catchStopSignals();
    links.scanner.wire.stop = [&outputFailed]() { return stopSignal() != 0 || outputFailed; };
    auto show = [&outputFailed](const std::string& text) {
        outputFailed = outputFailed || fputs(text.c_str(), stdout) < 0 || fflush(stdout) != 0;
    };
    if (s.format == FORMAT_TABLE) {
        show(watchTableHead());
    }
    WatchResult result = watchControllers(links.scanner, s.watch, [&s, &show](const WatchEvent& e) {
        if (e.kind == WATCH_FULL) {
            say(watchFullLine());
        } else {
            show(s.format == FORMAT_JSON ? watchJsonLine(e) : watchTableLine(e));
        }
    });
    closeWatchLinks(links);
    if (result.end == WATCH_ENDED_FAILED) {
        say(failureText(result.failure));
    }
    say(watchTallyLine(result));
    return watchStatus(result);
}
