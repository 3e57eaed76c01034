// The bounds of what a user may ask the engine for, the same from every front end.
#pragma once

// The longest wait of any kind, in seconds: a day.
const double MAX_SECONDS = 86400;

// Seconds as typed: a decimal number from 0 (above 0 when !zeroAllowed) to MAX_SECONDS, whole as
// text. A number too small to hold (1e-400) is refused, not taken as 0. False when it is not such.
bool readSeconds(const char* text, bool zeroAllowed, double* seconds);

// The same for a number already read (a JSON value).
bool secondsAllowed(double seconds, bool zeroAllowed);
