// The discovery exchange: socket on the chosen address, multicast request, listening, count.
#pragma once

#include <cstdio>

#include "app/run_state.h"

enum StepResult {
    STEP_FAILED,     // clean-up done, rs.failure names the message
    STEP_DONE,       // network closed down
    STEP_CONTINUE,   // write mode with controllers found: socket stays open for the assignment
};

// "An error has been occurred during sending the message!!!\n", shared with the assignment.
extern const char* const MSG_SEND;

StepResult runDiscovery(RunState& rs, FILE* out);

// Record one received datagram in the controller table and show it; past the table's end it is
// left out, with one notice.
void recordResponse(RunState& rs, long bytes, FILE* out);
// The count line.
void printCount(FILE* out, int responseCount);
// Close the socket and clean up the socket library.
void releaseNetwork(RunState& rs);
// The same, for a failure with the given message.
StepResult failNetwork(RunState& rs, const char* message);
// Normal close-down: shut the sending side, close, clean up.
void closeNetwork(RunState& rs);
