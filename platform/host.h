// What the web program and the records need of the computer beyond its sockets: random bytes,
// the wall clock and local time, who and where we are, the desktop's browser, and a file for
// this user's eyes only.
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

// Milliseconds since 1970-01-01 00:00:00 UTC of a local date and time (month 1-12), in the
// system's time zone; false when there is no such time.
bool localTimeMs(int year, int month, int day, int hour, int minute, int second, long long* ms);

// The name of the user the program runs as, and the computer's name (UTF-8); "" when the system
// does not say.
std::string userName();
std::string computerName();

// Lets a listening TCP socket (opened, not yet bound) take a port whose connections from a run
// before are still closing (TIME_WAIT), so that a server started again serves at once on its
// --port. On Windows nothing: there such a port is free already, and the option there would let
// another program share it.
void allowPortReuse(long long socket);

// Asks the desktop to open target, an address or a file (xdg-open; ShellExecute on Windows);
// false when it could not be asked.
bool openInBrowser(const std::string& target);

// A file that only this user can read, in a folder made for it that only this user can enter.
struct PrivateFile {
    std::string folder;
    std::string path;   // folder, then the file's name
};

// Writes text as a new file named name (mode 0600, created exclusively: nothing can have been put
// there first) in a new folder of its own (mode 0700, a random name): under $XDG_RUNTIME_DIR when
// that is a folder of this user's with mode 0700, else under $TMPDIR or /tmp; on Windows under the
// user's local application data (else the user's temporary folder), whose access is the user's.
// False with the folder and the system's words in *error; nothing is left behind then.
bool writePrivateFile(const std::string& name, const std::string& text, PrivateFile* file, std::string* error);

// Removes the file and its folder.
void removePrivateFile(const PrivateFile& file);
