#include "platform/user_files.h"

#include <windows.h>

#include <knownfolders.h>   // after windows.h
#include <shlobj.h>

#include <cerrno>
#include <cwchar>

const char PATH_SEPARATOR = '\\';

static const wchar_t PROGRAM_FOLDER[] = L"brevindor";

// The nearest errno value of a Windows error, for the same words on both systems.
static int errnoOf(DWORD error)
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
        return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
        return EACCES;
    case ERROR_ALREADY_EXISTS:
    case ERROR_FILE_EXISTS:
        return EEXIST;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return ENOSPC;
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_DIRECTORY:
        return EINVAL;
    case ERROR_FILENAME_EXCED_RANGE:
        return ENAMETOOLONG;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
        return ENOMEM;
    default:
        return EIO;
    }
}

// UTF-8 as UTF-16; a path that is no UTF-8 is taken in the ANSI code page, as the C runtime's
// command line gives it.
static std::wstring wide(const std::string& text)
{
    UINT page = CP_UTF8;
    DWORD flags = MB_ERR_INVALID_CHARS;
    int length = MultiByteToWideChar(page, flags, text.data(), (int)text.size(), NULL, 0);
    if (length <= 0 && !text.empty()) {
        page = CP_ACP;
        flags = 0;
        length = MultiByteToWideChar(page, flags, text.data(), (int)text.size(), NULL, 0);
    }
    std::wstring converted(length > 0 ? (size_t)length : 0, L'\0');
    if (length > 0) {
        (void)MultiByteToWideChar(page, flags, text.data(), (int)text.size(), &converted[0], length);
    }
    return converted;
}

static std::string utf8(const wchar_t* text)
{
    int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, NULL, 0, NULL, NULL);
    if (length <= 1) {
        return "";
    }
    std::string converted((size_t)length, '\0');
    (void)WideCharToMultiByte(CP_UTF8, 0, text, -1, &converted[0], length, NULL, NULL);
    converted.resize((size_t)length - 1);
    return converted;
}

bool makeUserFolder(const std::string& path, int* error)
{
    std::wstring name = wide(path);
    if (CreateDirectoryW(name.c_str(), NULL)) {
        return true;
    }
    DWORD failed = GetLastError();
    DWORD attributes = GetFileAttributesW(name.c_str());
    if (failed == ERROR_ALREADY_EXISTS && attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return true;
    }
    *error = failed == ERROR_ALREADY_EXISTS ? ENOTDIR : errnoOf(failed);
    return false;
}

std::string userStateFolder(int* error)
{
    PWSTR base = NULL;
    // The user's own folder, made when missing; its permissions are the user's alone.
    if (SHGetKnownFolderPath(FOLDERID_LocalAppData, KF_FLAG_CREATE, NULL, &base) != S_OK || base == NULL) {
        CoTaskMemFree(base);
        *error = ENOENT;
        return "";
    }
    std::wstring folder = std::wstring(base) + L"\\" + PROGRAM_FOLDER;
    CoTaskMemFree(base);
    std::string path = utf8(folder.c_str());
    if (path.empty() || !makeUserFolder(path, error)) {
        *error = path.empty() ? EINVAL : *error;
        return "";
    }
    return path;
}

static HANDLE openToAppend(const std::string& path, DWORD access, int* error)
{
    HANDLE file = CreateFileW(wide(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        *error = errnoOf(GetLastError());
    }
    return file;
}

bool canAppendTo(const std::string& path, int* error)
{
    HANDLE file = openToAppend(path, FILE_APPEND_DATA, error);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    CloseHandle(file);
    return true;
}

// The bytes [from, to) of file.
static bool readAt(HANDLE file, long long from, long long to, std::string* bytes)
{
    bytes->resize((size_t)(to - from));
    size_t got = 0;
    while (got < bytes->size()) {
        OVERLAPPED at = {};
        long long offset = from + (long long)got;
        at.Offset = (DWORD)(offset & 0xffffffff);
        at.OffsetHigh = (DWORD)(offset >> 32);
        DWORD n = 0;
        if (!ReadFile(file, &(*bytes)[got], (DWORD)(bytes->size() - got), &n, &at) || n == 0) {
            return false;
        }
        got += n;
    }
    return true;
}

static bool lastLineOf(HANDLE file, long long size, std::string* last, bool* cut, int* error)
{
    last->clear();
    *cut = false;
    if (size == 0) {
        return true;
    }
    std::string byte;
    if (!readAt(file, size - 1, size, &byte)) {
        *error = errnoOf(GetLastError());
        return false;
    }
    *cut = byte[0] != '\n';
    long long end = *cut ? size : size - 1;
    const long long CHUNK = 65536;
    for (long long at = end; at > 0;) {
        long long from = at > CHUNK ? at - CHUNK : 0;
        std::string piece;
        if (!readAt(file, from, at, &piece)) {
            *error = errnoOf(GetLastError());
            return false;
        }
        size_t newline = piece.rfind('\n');
        if (newline != std::string::npos) {
            last->insert(0, piece, newline + 1, std::string::npos);
            break;
        }
        last->insert(0, piece);
        if (last->size() > LOCKED_LINE_MAX) {
            break;
        }
        at = from;
    }
    if (last->size() > LOCKED_LINE_MAX) {
        *error = EFBIG;
        return false;
    }
    return true;
}

bool appendLineLocked(const std::string& path, const LineAfter& lineAfter, int* error)
{
    *error = 0;
    HANDLE file = openToAppend(path, GENERIC_READ | FILE_APPEND_DATA, error);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    // Windows' locks are mandatory: the byte locked lies far beyond any end, where no reader reads.
    OVERLAPPED lockAt = {};
    lockAt.Offset = 0xffffffff;
    lockAt.OffsetHigh = 0x7fffffff;
    bool locked = LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &lockAt) != 0;
    bool done = locked;
    LARGE_INTEGER size;
    std::string last;
    bool cut = false;
    if (done && !GetFileSizeEx(file, &size)) {
        done = false;
    }
    if (done && !lastLineOf(file, size.QuadPart, &last, &cut, error)) {
        CloseHandle(file);   // the lock goes with it
        return false;
    }
    std::string line;
    if (done && !lineAfter(size.QuadPart == 0 ? NULL : &last, &line)) {
        done = false;
        *error = EIO;
    } else if (done) {
        line = (cut ? "\n" : "") + line + "\n";
        DWORD written = 0;
        done = WriteFile(file, line.data(), (DWORD)line.size(), &written, NULL) && written == line.size() &&
               FlushFileBuffers(file);
        if (!done) {
            *error = errnoOf(GetLastError());
        }
    } else {
        *error = errnoOf(GetLastError());
    }
    if (locked) {
        (void)UnlockFileEx(file, 0, 1, 0, &lockAt);
    }
    CloseHandle(file);
    return done;
}

FILE* openForReading(const std::string& path)
{
    FILE* file = _wfopen(wide(path).c_str(), L"rb");
    return file;
}
