#include "web/token.h"

#ifdef _WIN32
#include <windows.h>
// The system's generator (advapi32), declared here as MinGW's headers name it only for some targets.
extern "C" BOOLEAN WINAPI SystemFunction036(PVOID buffer, ULONG length);
#else
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#endif

static bool randomBytes(unsigned char* buffer, size_t length)
{
#ifdef _WIN32
    return SystemFunction036(buffer, (ULONG)length) != FALSE;
#else
    int fd = open("/dev/urandom", O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    size_t got = 0;
    while (got < length) {
        ssize_t n = read(fd, buffer + got, length - got);
        if (n <= 0 && !(n < 0 && errno == EINTR)) {
            break;
        }
        got += n > 0 ? (size_t)n : 0;
    }
    close(fd);
    return got == length;
#endif
}

bool makeToken(std::string* token)
{
    unsigned char bytes[TOKEN_BYTES];
    if (!randomBytes(bytes, sizeof bytes)) {
        return false;
    }
    static const char HEX[] = "0123456789abcdef";
    token->clear();
    for (unsigned char b : bytes) {
        *token += HEX[b >> 4];
        *token += HEX[b & 15];
    }
    return true;
}

bool sameToken(const std::string& given, const std::string& expected)
{
    unsigned char differ = given.size() == expected.size() && !expected.empty() ? 0 : 1;
    for (size_t i = 0; i < expected.size(); ++i) {
        unsigned char g = i < given.size() ? (unsigned char)given[i] : 0;
        differ |= (unsigned char)(g ^ (unsigned char)expected[i]);
    }
    return differ == 0;
}
