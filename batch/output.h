// Where the batch program's words go: the result on standard output, everything else on standard
// error, each message behind the program's name (added here only), and the status line while a
// terminal watches.
#pragma once

#include <string>
#include <vector>

#include "commission/events.h"

// The name that starts every line of the batch program's on standard error.
extern const char BATCH_PROGRAM[];

// A message (report/messages.h) on standard error: its first line and every line not indented
// behind the program's name, detail lines as they are.
void say(const std::string& text);
void say(const std::vector<std::string>& messages);
// A message about a place of the input, as a compiler names it: "plan.csv:3: text".
void sayAt(const std::string& place, int line, const std::string& text);

// The result on standard output, as it is.
void writeResult(const std::string& text);

// The status line on standard error while it is a terminal: progress events redraw it; any other
// event becomes a message of its own after the line is blanked.
void showEvent(const Event& e);
// Blanks the status line, before anything else is written.
void clearStatus();
// Whether standard error is a terminal (then progress is worth asking for).
bool statusShown();
// Called once at start.
void startStatus();

// How often the status line is redrawn while the program waits.
const double STATUS_EVERY_S = 0.1;
