// Files a user keeps: the per-user state folder, and a log appended a line at a time under a lock.
// Paths are UTF-8 (on Windows the wide-character file calls take them, so that any user name
// works). Failures give an errno value (Windows' errors are mapped to the nearest one).
#pragma once

#include <cstdio>
#include <functional>
#include <string>

// The separator of a path's folders: '/', or '\\' on Windows.
extern const char PATH_SEPARATOR;

// The program's folder in the user's state folder, made (mode 0700, with any missing parent) when
// missing: $XDG_STATE_HOME/brevindor when $XDG_STATE_HOME is an absolute path (the XDG rule: a
// relative one is ignored), else $HOME/.local/state/brevindor; on Windows
// %LOCALAPPDATA%\brevindor (the known folder FOLDERID_LocalAppData). Empty, with the error
// number, when it can't be had.
std::string userStateFolder(int* error);

// Makes the folder path (mode 0700) unless it is there; false, with the error number, when it can't.
bool makeUserFolder(const std::string& path, int* error);

// The longest line appendLineLocked reads back, and the journal's readers accept.
const size_t LOCKED_LINE_MAX = 64u << 20;

// Whether path can be opened to append to (created, mode 0600, when missing; nothing written).
// False, with the error number, when it can't.
bool canAppendTo(const std::string& path, int* error);

// Appends one line to path (created, mode 0600, when missing) under an exclusive lock held from
// before the last line is read to after the new one is on the disk (flock; LockFileEx on Windows,
// on a byte far beyond the end, so that readers are never locked out): lineAfter gets the file's
// last line without its line end (NULL for an empty file) and makes the new line, also without;
// when it returns false nothing is written (EIO). The line and its "\n" go out in one write at the
// end (O_APPEND; FILE_APPEND_DATA), then are synced (fsync, and the folder's too when the file is
// new; FlushFileBuffers). A last line cut short (no line end) gets its line end first. False,
// with the error number, when any step fails; EFBIG when the last line is longer than
// LOCKED_LINE_MAX.
typedef std::function<bool(const std::string* last, std::string* line)> LineAfter;
bool appendLineLocked(const std::string& path, const LineAfter& lineAfter, int* error);

// Opens path to read its bytes as they are; NULL, errno telling why, when it can't.
FILE* openForReading(const std::string& path);
