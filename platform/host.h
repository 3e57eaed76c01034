// What the web program and the records need of the computer beyond its sockets: random bytes,
// the wall clock, and the desktop's browser.
#pragma once

#include <cstddef>
#include <ctime>
#include <string>

// length random bytes from the system's generator; false when it gives none.
bool randomBytes(unsigned char* buffer, size_t length);

// Milliseconds since 1970-01-01 00:00:00 UTC on the system's wall clock.
long long wallClockMs();

// Seconds since 1970 as the calendar has them, in UTC or in the local time zone.
void calendarTime(long long epochSeconds, bool utc, struct tm* out);

// A moment in UTC to the millisecond, as "2026-12-09T14:30:00.123Z".
std::string utcTimeText(long long ms);

// A moment's local time of day to the millisecond, as "15:30:00.123".
std::string localTimeOfDay(long long ms);

// The local date and time now, as "20261209-153000", for file names.
std::string localTimeStamp();

// Lets a listening TCP socket (opened, not yet bound) take a port whose connections from a run
// before are still closing (TIME_WAIT), so that a server started again serves at once on its
// --port. On Windows nothing: there such a port is free already, and the option there would let
// another program share it.
void allowPortReuse(long long socket);

// Asks the desktop to open target, an address or a file (xdg-open; ShellExecute on Windows);
// false when it could not be asked.
bool openInBrowser(const std::string& target);
