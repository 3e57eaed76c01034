// What the web program and the records need of the computer beyond its sockets: random bytes,
// the wall clock and local time, who and where we are, and the desktop's browser.
#pragma once

#include <cstddef>
#include <string>

// length random bytes from the system's generator; false when it gives none.
bool randomBytes(unsigned char* buffer, size_t length);

// Milliseconds since 1970-01-01 00:00:00 UTC on the system's wall clock.
long long wallClockMs();

// A moment in UTC to the millisecond, as "2026-12-09T14:30:00.123Z".
std::string utcTimeText(long long ms);

// The local date and time now, as "20261209-153000", for file names.
std::string localTimeStamp();

// Milliseconds since 1970-01-01 00:00:00 UTC of a local date and time (month 1-12), in the
// system's time zone; false when there is no such time.
bool localTimeMs(int year, int month, int day, int hour, int minute, int second, long long* ms);

// The name of the user the program runs as, and the computer's name (UTF-8); "" when the system
// does not say.
std::string userName();
std::string computerName();

// Asks the desktop to open target, an address or a file (xdg-open; ShellExecute on Windows);
// false when it could not be asked.
bool openInBrowser(const std::string& target);
