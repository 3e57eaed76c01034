#include "protocol/address.h"

#include <cstring>

#include "protocol/messages.h"

static bool isDecimalDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool parseIpv4(const char* text, unsigned char* address)
{
    const int MAX_PART = 255;
    unsigned char parsed[IPV4_LEN];
    const char* p = text;
    for (int part = 0; part < IPV4_LEN; ++part) {
        if (part > 0 && *p++ != '.') {
            return false;
        }
        if (!isDecimalDigit(*p) || (p[0] == '0' && isDecimalDigit(p[1]))) {
            return false;
        }
        int value = 0;
        for (; isDecimalDigit(*p); ++p) {
            value = value * 10 + (*p - '0');
            if (value > MAX_PART) {
                return false;
            }
        }
        parsed[part] = (unsigned char)value;
    }
    if (*p != '\0') {
        return false;
    }
    memcpy(address, parsed, IPV4_LEN);
    return true;
}

static int hexValue(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

bool parseMac(const char* text, unsigned char* mac)
{
    const size_t BARE_LEN = (size_t)MAC_LEN * 2;         // twelve hex digits
    const size_t JOINED_LEN = (size_t)MAC_LEN * 3 - 1;   // six pairs and five separators
    size_t length = strlen(text);
    if (length != BARE_LEN && length != JOINED_LEN) {
        return false;
    }
    char separator = length == BARE_LEN ? '\0' : text[2];
    if (separator != '\0' && separator != ':' && separator != '.' && separator != '-') {
        return false;
    }
    unsigned char parsed[MAC_LEN];
    const char* p = text;
    for (int i = 0; i < MAC_LEN; ++i) {
        if (i > 0 && separator != '\0' && *p++ != separator) {
            return false;
        }
        int high = hexValue(p[0]);
        int low = high < 0 ? -1 : hexValue(p[1]);
        if (low < 0) {
            return false;
        }
        parsed[i] = (unsigned char)(high * 16 + low);
        p += 2;
    }
    if (*p != '\0') {
        return false;
    }
    memcpy(mac, parsed, MAC_LEN);
    return true;
}
