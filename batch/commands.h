// The batch program's commands, a file each: each reads what its options name, runs the engine
// and shows what came back. The exit status is the engine's.
#pragma once

#include "batch/options.h"

int runScan(const Settings& s);   // batch/scan_command.cpp
int runSet(const Settings& s);    // batch/plan_commands.cpp
int runApply(const Settings& s);
int runDoctorCommand(const Settings& s);   // batch/doctor_command.cpp
