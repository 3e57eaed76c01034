#include "platform/user_files.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

const char PATH_SEPARATOR = '/';

static const char PROGRAM_FOLDER[] = "brevindor";

bool makeUserFolder(const std::string& path, int* error)
{
    if (mkdir(path.c_str(), 0700) == 0) {
        return true;
    }
    struct stat seen;
    if (errno == EEXIST && stat(path.c_str(), &seen) == 0 && S_ISDIR(seen.st_mode)) {
        return true;
    }
    *error = errno == EEXIST ? ENOTDIR : errno;
    return false;
}

// Makes every missing folder of path below the first, which must be there.
static bool makeFoldersOf(const std::string& path, size_t from, int* error)
{
    for (size_t at = path.find('/', from + 1); at != std::string::npos; at = path.find('/', at + 1)) {
        if (!makeUserFolder(path.substr(0, at), error)) {
            return false;
        }
    }
    return makeUserFolder(path, error);
}

std::string userStateFolder(int* error)
{
    const char* state = getenv("XDG_STATE_HOME");   // NOLINT(concurrency-mt-unsafe): read before any thread
    std::string base;
    size_t known = 0;   // where the folders to make begin
    if (state != NULL && state[0] == '/') {
        base = state;
        known = 0;
    } else {
        const char* home = getenv("HOME");   // NOLINT(concurrency-mt-unsafe)
        std::string homeFolder = home != NULL && home[0] == '/' ? home : "";
        if (homeFolder.empty()) {
            std::vector<char> buffer(16384);
            passwd entry;
            passwd* found = NULL;
            if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != NULL &&
                found->pw_dir != NULL && found->pw_dir[0] == '/') {
                homeFolder = found->pw_dir;
            }
        }
        if (homeFolder.empty()) {
            *error = ENOENT;
            return "";
        }
        while (homeFolder.size() > 1 && homeFolder.back() == '/') {
            homeFolder.pop_back();
        }
        base = homeFolder == "/" ? "/.local/state" : homeFolder + "/.local/state";
        known = homeFolder == "/" ? 0 : homeFolder.size();
    }
    while (base.size() > 1 && base.back() == '/') {
        base.pop_back();
    }
    std::string folder = (base == "/" ? "" : base) + "/" + PROGRAM_FOLDER;
    if (!makeFoldersOf(folder, known, error)) {
        return "";
    }
    return folder;
}

bool canAppendTo(const std::string& path, int* error)
{
    int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        *error = errno;
        return false;
    }
    close(fd);
    return true;
}

// The bytes [from, to) of fd; false, errno telling why, when they can't be read.
static bool readAt(int fd, off_t from, off_t to, std::string* bytes)
{
    bytes->resize((size_t)(to - from));
    size_t got = 0;
    while (got < bytes->size()) {
        ssize_t n = pread(fd, &(*bytes)[got], bytes->size() - got, from + (off_t)got);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            errno = n == 0 ? EIO : errno;   // the file got shorter under the lock: not ours to explain
            return false;
        }
        got += (size_t)n;
    }
    return true;
}

// The last line of fd's size bytes, without its line end, and whether it has one.
static bool lastLineOf(int fd, off_t size, std::string* last, bool* cut)
{
    last->clear();
    *cut = false;
    if (size == 0) {
        return true;
    }
    std::string byte;
    if (!readAt(fd, size - 1, size, &byte)) {
        return false;
    }
    *cut = byte[0] != '\n';
    off_t end = *cut ? size : size - 1;
    const off_t CHUNK = 65536;
    for (off_t at = end; at > 0;) {
        off_t from = at > CHUNK ? at - CHUNK : 0;
        std::string piece;
        if (!readAt(fd, from, at, &piece)) {
            return false;
        }
        size_t newline = piece.rfind('\n');
        if (newline != std::string::npos) {
            last->insert(0, piece, newline + 1, std::string::npos);
            break;
        }
        last->insert(0, piece);
        if (last->size() > LOCKED_LINE_MAX) {
            errno = EFBIG;
            return false;
        }
        at = from;
    }
    if (last->size() > LOCKED_LINE_MAX) {
        errno = EFBIG;
        return false;
    }
    return true;
}

static bool writeAll(int fd, const std::string& bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            errno = n == 0 ? EIO : errno;
            return false;
        }
        done += (size_t)n;
    }
    return true;
}

// Syncs the folder holding path, so that a new file's name is on the disk too.
static bool syncFolderOf(const std::string& path)
{
    size_t slash = path.rfind('/');
    std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    bool synced = fsync(fd) == 0 || errno == EINVAL;   // some file systems can't sync a folder
    int taken = errno;
    close(fd);
    errno = taken;
    return synced;
}

bool appendLineLocked(const std::string& path, const LineAfter& lineAfter, int* error)
{
    bool created = true;
    int fd = open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0 && errno == EEXIST) {
        created = false;
        fd = open(path.c_str(), O_RDWR | O_APPEND | O_CLOEXEC);
    }
    if (fd < 0) {
        *error = errno;
        return false;
    }
    int locked;
    while ((locked = flock(fd, LOCK_EX)) != 0 && errno == EINTR) {
    }
    bool done = locked == 0;
    struct stat seen;
    std::string last;
    bool cut = false;
    done = done && fstat(fd, &seen) == 0 && lastLineOf(fd, seen.st_size, &last, &cut);
    std::string line;
    if (done && !lineAfter(seen.st_size == 0 ? NULL : &last, &line)) {
        done = false;
        errno = EIO;
    }
    if (done) {
        line = (cut ? "\n" : "") + line + "\n";
        done = writeAll(fd, line) && fsync(fd) == 0 && (!created || syncFolderOf(path));
    }
    *error = done ? 0 : errno;
    close(fd);   // the lock goes with it
    return done;
}

FILE* openForReading(const std::string& path)
{
    return fopen(path.c_str(), "rb");
}
