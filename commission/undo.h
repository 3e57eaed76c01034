// The undo file of set and apply: before any setting goes out, a plan that gives every controller
// about to be set the addresses it reported at the scan, so that applying it puts them back.
#pragma once

#include <string>
#include <vector>

#include "commission/apply.h"

// The plan for the rows of outcomes listed in sent: header mac,ip,gateway,mask, then each row's
// MAC and the addresses it reported at the scan.
std::string undoPlan(const std::vector<Outcome>& outcomes, const std::vector<size_t>& sent);

// Writes the plan for the rows of outcomes listed in sent (header mac,ip,gateway,mask) under a
// temporary name beside path, flushed to the disk, then renamed to path. False, with the error
// number, when any step fails; the temporary file is then removed and path left as it was.
bool writeUndoFile(const std::string& path, const std::vector<Outcome>& outcomes, const std::vector<size_t>& sent,
                   int* error);

// Whether the undo file's temporary can be made beside path, as writeUndoFile makes it, for a
// check before the scan: the temporary is created and removed again (one already there is only
// opened, to append nothing). False, with the error number, when it can't.
bool canWriteUndoFile(const std::string& path, int* error);
