// brevindor-batch watch: the controllers live, one line an event, until a stop or --max-time.
#pragma once

#include "batch/options.h"

// Runs the watch with these settings; the exit status.
int runWatchCommand(const Settings& s);
