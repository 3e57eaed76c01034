// The response file's life in the run: each record pushed to the file whole, the first failure
// kept, the file closed.
#pragma once

#include "app/run_state.h"

// After each record: pushes it to the response file whole, so that whatever ends the run later,
// the file holds every record shown. A failure is kept in fileError and closes the file at once:
// it takes no further record.
void endRecord(RunState& rs);
// Closes the response file if open; a failed close is kept in fileError.
void closeResponseFile(RunState& rs);
