// The scan: request, listening until the network is quiet for the time-out, the count.
#pragma once

#include <cstdio>

#include "app/network.h"
#include "app/run_state.h"

StepResult runDiscovery(RunState& rs, FILE* out);

// Record the datagram in recvbuf in the controller table and show it (and write it to the file);
// past the table's end it is left out, with one notice.
void recordResponse(RunState& rs, long bytes, FILE* out);
