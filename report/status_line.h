// The status line at a terminal: one line of progress, drawn over itself while the program waits
// and blanked before anything else is printed. Only a carriage return and blanks move it, which
// every console understands. On a stream that is no terminal it prints nothing at all.
#pragma once

#include <cstdio>
#include <string>

#include "commission/events.h"

struct StatusLine {
    FILE* out;
    bool terminal;       // out is a terminal: draw; otherwise every call does nothing
    std::string shown;   // what the line shows now; empty: nothing
};

// The text of a progress event: "scanning: 3 controllers found, 1.5 s of quiet left",
// "scanning: 2 of 5 planned controllers found", "verifying: 4 of 5 confirmed, 8.0 s left".
std::string statusText(const Event& e);

// Draws the progress event over what the line showed.
void drawStatus(StatusLine& line, const Event& e);

// Blanks the line and returns to its start, when it shows anything.
void clearStatus(StatusLine& line);
