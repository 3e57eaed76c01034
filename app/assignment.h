// Address assignment: table of the controllers found, the user's choice, the setting message.
#pragma once

#include <cstdio>

#include "app/network.h"
#include "app/run_state.h"

// Shows the table, reads the controller number from in, sends and shows the setting. Ends with
// the network closed: STEP_DONE (also after a wrong entry) or STEP_FAILED.
StepResult runAssignment(RunState& rs, FILE* in, FILE* out);
