#include "web/token.h"

#include "platform/host.h"

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
