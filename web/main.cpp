// brevindor-web: the commissioning page. Serves a live table of the controllers on this computer's
// loopback address, to scan, edit, check and apply through the same engine as brevindor-batch.
// Prints the page's address with its token on standard output, and opens the browser on a file
// only this user can read (a command line is anyone's to read); warnings and the end of an
// interrupted apply go to standard error.
#include <cstdio>
#include <new>
#include <string>

#include "platform/host.h"
#include "report/batch_output.h"
#include "web/launch.h"
#include "web/options.h"
#include "web/server.h"
#include "web/session.h"
#include "web/token.h"

namespace {

const char LOOPBACK[] = "127.0.0.1";

// After the server stopped: an apply the signal cut short ends as in the batch program. The exit
// status of the job stopped, or EXIT_OK.
int finish(Session& s)
{
    Hold hold(s.lock);
    if (s.status < 128) {
        return EXIT_OK;
    }
    if (s.kind == JOB_APPLY) {
        fprintf(stderr, "%s: stopped by signal %d%s\n", WEB_PROGRAM, s.status - 128,
                s.result.summary ? "" : " during the scan; nothing sent");
        if (s.result.summary) {
            printSummary(stderr, s.result.outcomes, false);
        }
        if (!s.undoPath.empty()) {
            fprintf(stderr, "%s: the undo file is %s\n", WEB_PROGRAM, s.undoPath.c_str());
        }
    }
    return s.status;
}

// Opens the browser on a launcher file holding the page's address with the one-time token, or
// warns that it could not. *file: the file, to remove at the end.
void openBrowser(const std::string& base, const std::string& once, PrivateFile* file)
{
    std::string error;
    if (!writePrivateFile(LAUNCHER_FILE_NAME, launcherText(base + "/?once=" + once), file, &error)) {
        fprintf(stderr, "%s: warning: could not write the file that opens the page (%s); open the address above\n",
                WEB_PROGRAM, error.c_str());
    } else if (!openInBrowser(file->path)) {
        fprintf(stderr, "%s: warning: could not open a browser; open the address above\n", WEB_PROGRAM);
    }
}

int run(int argc, char** argv)
{
    Session s;
    int status = readWebOptions(argc, argv, &s.settings);
    if (status != EXIT_OK) {
        return status < 0 ? EXIT_OK : status;
    }
    std::string token, once;
    if (!makeToken(&token) || (s.settings.browser && !makeToken(&once))) {
        fprintf(stderr, "%s: the system gave no random bytes for the token\n", WEB_PROGRAM);
        return EXIT_NETWORK;
    }
    WSADATA data;
    if (WSAStartup(WINSOCK_VERSION_1_1, &data) != 0) {
        fprintf(stderr, "%s: the socket library did not start\n", WEB_PROGRAM);
        return EXIT_NETWORK;
    }
    catchStopSignals();
    s.stop = []() { return stopSignal() != 0; };
    const WebSettings& settings = s.settings;
    std::string address = settings.listen.empty() ? LOOPBACK : settings.listen;
    if (!settings.listen.empty()) {
        fprintf(stderr, "%s: warning: serving on %s, not only this computer; the token is still required\n",
                WEB_PROGRAM, address.c_str());
    }
    PrivateFile launcher;
    auto ready = [&](int port) {
        std::string base = "http://" + address + ":" + std::to_string(port);
        printf("%s/?token=%s\n", base.c_str(), token.c_str());
        fflush(stdout);
        if (settings.browser) {
            openBrowser(base, once, &launcher);
        }
        startScan(s, settings.where, settings.apply.scan.quiet);
    };
    std::string error;
    bool served = runServer(s, address, settings.port, token, once, ready, s.stop, &error);
    if (!launcher.path.empty()) {
        removePrivateFile(launcher);
    }
    if (!served) {
        fprintf(stderr, "%s: %s\n", WEB_PROGRAM, error.c_str());
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
        fprintf(stderr, "%s: out of memory\n", WEB_PROGRAM);
        return EXIT_NETWORK;
    }
}
