// The batch program's commands, a file each: each reads what its options name, runs the engine
// and shows what came back. The exit status is the engine's.
#pragma once

#include <vector>

#include "batch/options.h"
#include "report/frame.h"

int runScan(const Settings& s);   // batch/scan_command.cpp
int runSet(const Settings& s);    // batch/plan_commands.cpp
int runApply(const Settings& s);
int runReplace(const Settings& s);         // batch/replace_command.cpp
int runDoctorCommand(const Settings& s);   // batch/doctor_command.cpp

// The rows through the engine as apply runs them, framed for the plan or the command line; the
// controllers of mustBeGone must not answer. The exit status.
// kind: the journal's name of the run (set, apply, replace); planFile and planBytes: the plan, for
// the journal (empty for set).
int runPlan(const std::vector<PlanRow>& rows, const Settings& s, Frame frame, const Macs& mustBeGone, const char* kind,
            const std::string& planFile, const std::string& planBytes);
