// The run's hold on the network: how a step ends, and the clean-up of the socket and the socket
// library on each way out.
#pragma once

#include "app/run_state.h"

enum StepResult {
    STEP_FAILED,     // clean-up done, rs.failure names the failure
    STEP_DONE,       // network closed down
    STEP_CONTINUE,   // write mode with controllers found: socket stays open for the assignment
};

// Close the socket and clean up the socket library.
void releaseNetwork(RunState& rs);
// The same, for a failure; a socket that was never made has nothing to clean up.
StepResult failNetwork(RunState& rs, ExchangeFailure failure);
// Normal close-down: shut the sending side, close, clean up.
void closeNetwork(RunState& rs);
