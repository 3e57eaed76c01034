// brevindor-web: the commissioning page. Serves a live table of the controllers on this computer's
// loopback address, to scan, edit, check and apply through the same engine as brevindor-batch.
// Prints the page's address with its token on standard output, and opens the browser on a file
// only this user can read (a command line is anyone's to read); warnings and the end of an
// interrupted apply go to standard error.
#include <cstdio>
#include <new>
#include <string>

#include "commission/journal.h"
#include "platform/host.h"
#include "report/journal_text.h"
#include "report/messages.h"
#include "web/launch.h"
#include "web/options.h"
#include "web/server.h"
#include "web/session.h"
#include "web/token.h"

namespace {

const char LOOPBACK[] = "127.0.0.1";

void say(const std::string& text)
{
    fprintf(stderr, "%s: %s\n", WEB_PROGRAM, text.c_str());
}

// After the server stopped: an apply the signal cut short ends as in the batch program. The exit
// status the engine gave the job a signal stopped, or EXIT_OK.
int finish(Session& s)
{
    Session::Ending e = s.ending();
    for (const std::string& line : e.messages) {
        say(line);
    }
    fputs(e.summary.c_str(), stderr);
    if (!e.undoPath.empty()) {
        say(undoFileText(e.undoPath));
    }
    return e.status;
}

// Opens the browser on a launcher file holding the page's address with the one-time token, or
// warns that it could not. *file: the file, to remove at the end.
void openBrowser(const std::string& base, const std::string& once, PrivateFile* file)
{
    std::string error;
    if (!writePrivateFile(LAUNCHER_FILE_NAME, launcherText(base + "/?once=" + once), file, &error)) {
        say("warning: could not write the file that opens the page (" + error + "); open the address above");
    } else if (!openInBrowser(file->path)) {
        say("warning: could not open a browser; open the address above");
    }
}

int run(int argc, char** argv)
{
    WebSettings settings;
    bool answered = false;
    int status = readWebOptions(argc, argv, &settings, &answered);
    if (status != EXIT_OK || answered) {
        return status;
    }
    if (settings.undoDir.empty()) {
        int error = 0;
        settings.undoDir = defaultUndoFolder(&error);
        if (settings.undoDir.empty()) {
            say(undoFolderFailureText(error));
            return EXIT_NETWORK;
        }
    }
    std::string token, once;
    if (!makeToken(&token) || (settings.browser && !makeToken(&once))) {
        say("the system gave no random bytes for the token");
        return EXIT_NETWORK;
    }
    WSADATA data;
    if (WSAStartup(WINSOCK_VERSION_1_1, &data) != 0) {
        say(socketLibraryText());
        return EXIT_NETWORK;
    }
    catchStopSignals();
    Session s(settings, stopSignal);
    std::string address = settings.listen.empty() ? LOOPBACK : settings.listen;
    if (!settings.listen.empty()) {
        say("warning: serving on " + address + ", not only this computer; the token is still required");
    }
    PrivateFile launcher;
    auto ready = [&](int port) {
        std::string base = "http://" + address + ":" + std::to_string(port);
        printf("%s/?token=%s\n", base.c_str(), token.c_str());
        fflush(stdout);
        if (settings.browser) {
            openBrowser(base, once, &launcher);
        }
        s.startScan(settings.where, settings.apply.scan.quiet);
    };
    std::string error;
    bool served = runServer(
        s, address, settings.port, token, once, ready, []() { return stopSignal() != 0; }, &error);
    if (!launcher.path.empty()) {
        removePrivateFile(launcher);
    }
    if (!served) {
        say(error);
        status = EXIT_NETWORK;
    } else {
        status = finish(s);
    }
    WSACleanup();
    return status;
}

}   // namespace

int main(int argc, char** argv)
{
    reserveStandardFiles();
    try {
        return run(argc, argv);
    } catch (const std::bad_alloc&) {
        say(outOfMemoryText());
        return EXIT_NETWORK;
    }
}
