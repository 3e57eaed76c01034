// The web program's command line.
#pragma once

#include <string>

#include "commission/apply.h"

extern const char WEB_PROGRAM[];

struct WebSettings {
    std::string where;     // --interface, for the first scan and the default of later ones
    ApplyOptions apply;    // --timeout, --verify-time
    int port = 0;          // --port; 0: an ephemeral one
    std::string listen;    // --listen: an address other than 127.0.0.1 to serve on
    std::string undoDir;   // --undo-dir; empty: undo in the user's state folder (defaultUndoFolder)
    bool browser = true;   // false with --no-browser
};

// The settings from argv: EXIT_OK, or EXIT_USAGE after the message on standard error. *answered
// is set after --help or --version (printed): the run ends there with EXIT_OK.
int readWebOptions(int argc, char** argv, WebSettings* s, bool* answered);
