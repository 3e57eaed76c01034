// The journal's commands of the batch program: journal (the listing, or --verify) and report
// (the handover page).
#pragma once

#include "batch/options.h"

int runJournal(const Settings& s);
int runReport(const Settings& s);
