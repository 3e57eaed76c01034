// The run sequence with its failure path and common end.
#pragma once

#include <cstdio>

#include "app/run_state.h"

// One whole run; returns the exit value, always -1.
int runSequence(RunState& rs, int argc, char** argv, FILE* in, FILE* out, FILE* err);

// Print the message, close the response file if open, pause, -1.
int failurePath(RunState& rs, FILE* out, const char* message);
// Close the response file if open, pause, -1.
int commonEnd(RunState& rs, FILE* out);
// Both tell a failed write or close of the response file in one line before the pause.
