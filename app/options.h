// The command line: mode, time-out, response file and the new addresses.
#pragma once

#include <cstdio>

#include "app/run_state.h"

// Reads argv[1..] into rs; options take effect as they are read. Returns false after printing one
// "Illegal parameter!!!" message to out; the run then goes to the common end.
bool readOptions(RunState& rs, int argc, char** argv, FILE* out);
