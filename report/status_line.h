// The words of the status line a terminal shows while the program waits (batch/output.h draws it).
#pragma once

#include <string>

#include "commission/events.h"

// The text of a progress event: "scanning: 3 controllers found, 1.5 s of quiet left",
// "scanning: 2 of 5 planned controllers found", "verifying: 4 of 5 confirmed, 8.0 s left".
std::string statusText(const Event& e);
