// Finds control characters in text meant for a terminal, as one reading UTF-8 would see them.
#pragma once

#include <cstddef>
#include <string>

#include "report/device_text.h"

// Where the first control character is: C0 other than line feed and tab, DEL or C1, as UTF-8 or
// as a byte of no valid sequence; std::string::npos when there is none.
inline size_t controlAt(const unsigned char* text, size_t size)
{
    for (size_t at = 0; at < size;) {
        unsigned long code = 0;
        int length = decodeUtf8(text + at, size - at, &code);
        if (length == 0) {
            code = text[at];
            length = 1;
        }
        if ((code < 0x20 && code != '\n' && code != '\t') || (code >= 0x7F && code <= 0x9F)) {
            return at;
        }
        at += (size_t)length;
    }
    return std::string::npos;
}
