#include "platform/host.h"

#include <windows.h>

#include <shellapi.h>   // after windows.h
#include <shlobj.h>

#include <ctime>
#include <string>

// The system's generator (advapi32), declared here as MinGW's headers name it only for some targets.
extern "C" BOOLEAN WINAPI SystemFunction036(PVOID buffer, ULONG length);

bool randomBytes(unsigned char* buffer, size_t length)
{
    return SystemFunction036(buffer, (ULONG)length) != FALSE;
}

long long wallClockMs()
{
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER ticks;   // 100 ns since 1601-01-01
    ticks.LowPart = now.dwLowDateTime;
    ticks.HighPart = now.dwHighDateTime;
    const unsigned long long UNIX_EPOCH = 116444736000000000ULL;
    return (long long)((ticks.QuadPart - UNIX_EPOCH) / 10000);
}

void calendarTime(long long epochSeconds, bool utc, struct tm* out)
{
    time_t seconds = (time_t)epochSeconds;
    if (utc) {
        gmtime_s(out, &seconds);
    } else {
        localtime_s(out, &seconds);
    }
}

void allowPortReuse(long long) {}

static std::wstring wide(const std::string& utf8)
{
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, NULL, 0);
    std::wstring text(n > 0 ? (size_t)n : 1, L'\0');
    if (n > 0) {
        MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, &text[0], n);
    }
    text.resize(text.size() - 1);
    return text;
}

static std::string utf8(const std::wstring& text)
{
    int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, NULL, 0, NULL, NULL);
    std::string out(n > 0 ? (size_t)n : 1, '\0');
    if (n > 0) {
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &out[0], n, NULL, NULL);
    }
    out.resize(out.size() - 1);
    return out;
}

bool localTimeMs(int year, int month, int day, int hour, int minute, int second, long long* ms)
{
    struct tm local = {};
    local.tm_year = year - 1900;
    local.tm_mon = month - 1;
    local.tm_mday = day;
    local.tm_hour = hour;
    local.tm_min = minute;
    local.tm_sec = second;
    local.tm_isdst = -1;
    time_t seconds = mktime(&local);
    if (seconds == (time_t)-1) {
        return false;
    }
    *ms = (long long)seconds * 1000;
    return true;
}

static std::string utf8Of(const wchar_t* text)
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

std::string userName()
{
    wchar_t name[257];
    DWORD length = sizeof name / sizeof name[0];
    return GetUserNameW(name, &length) ? utf8Of(name) : "";
}

std::string computerName()
{
    wchar_t name[256];
    DWORD length = sizeof name / sizeof name[0];
    return GetComputerNameExW(ComputerNameDnsHostname, name, &length) ? utf8Of(name) : "";
}

bool openInBrowser(const std::string& target)
{
    std::wstring t = wide(target);
    return (INT_PTR)ShellExecuteW(NULL, L"open", t.c_str(), NULL, NULL, SW_SHOWNORMAL) > 32;
}

static std::string failure(const std::string& where, DWORD error)
{
    wchar_t words[512] = {};
    DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, NULL, error, 0, words,
                             (DWORD)(sizeof words / sizeof words[0]), NULL);
    while (n > 0 && (words[n - 1] == L'\n' || words[n - 1] == L'\r' || words[n - 1] == L'.')) {
        words[--n] = L'\0';
    }
    return where + ": " + (n > 0 ? utf8(words) : "error " + std::to_string(error));
}

// The user's local application data, else the user's temporary folder; both are the user's alone.
static std::wstring privateBase()
{
    wchar_t path[MAX_PATH] = {};
    if (SUCCEEDED(SHGetFolderPathW(NULL, CSIDL_LOCAL_APPDATA | CSIDL_FLAG_CREATE, NULL, SHGFP_TYPE_CURRENT, path))) {
        return path;
    }
    DWORD n = GetTempPathW(MAX_PATH, path);
    std::wstring base(path, n > 0 && n < MAX_PATH ? n : 0);
    while (!base.empty() && (base.back() == L'\\' || base.back() == L'/')) {
        base.pop_back();
    }
    return base;
}

bool writePrivateFile(const std::string& name, const std::string& text, PrivateFile* file, std::string* error)
{
    std::wstring base = privateBase();
    if (base.empty()) {
        *error = "no folder of the user's own";
        return false;
    }
    std::wstring folder;
    DWORD made = ERROR_ALREADY_EXISTS;
    for (int tries = 0; tries < 8 && made == ERROR_ALREADY_EXISTS; ++tries) {
        unsigned char bytes[8];
        if (!randomBytes(bytes, sizeof bytes)) {
            *error = "no random bytes for a folder's name";
            return false;
        }
        static const wchar_t HEX[] = L"0123456789abcdef";
        folder = base + L"\\brevindor-web-";
        for (unsigned char b : bytes) {
            folder += HEX[b >> 4];
            folder += HEX[b & 15];
        }
        made = CreateDirectoryW(folder.c_str(), NULL) ? ERROR_SUCCESS : GetLastError();
    }
    if (made != ERROR_SUCCESS) {
        *error = failure(utf8(base), made);
        return false;
    }
    std::wstring path = folder + L"\\" + wide(name);
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, NULL);
    DWORD written = 0;
    bool ok = h != INVALID_HANDLE_VALUE && WriteFile(h, text.data(), (DWORD)text.size(), &written, NULL) &&
              written == text.size();
    DWORD why = ok ? ERROR_SUCCESS : GetLastError();
    if (h != INVALID_HANDLE_VALUE && !CloseHandle(h) && ok) {
        ok = false;
        why = GetLastError();
    }
    if (!ok) {
        *error = failure(utf8(path), why);
        DeleteFileW(path.c_str());
        RemoveDirectoryW(folder.c_str());
        return false;
    }
    file->folder = utf8(folder);
    file->path = utf8(path);
    return true;
}

void removePrivateFile(const PrivateFile& file)
{
    DeleteFileW(wide(file.path).c_str());
    RemoveDirectoryW(wide(file.folder).c_str());
}
