// Plans as a spreadsheet saves "Unicode text": valid UTF-8 written out as UTF-16 here, on its own.
#pragma once

#include <string>

// Valid UTF-8 text as UTF-16 code units, two bytes each in the order asked, after a byte-order
// mark when mark is set.
inline std::string utf16(const std::string& text, bool bigEndian, bool mark = true)
{
    std::string bytes;
    auto unit = [&bytes, bigEndian](unsigned long u) {
        char high = (char)(u >> 8);
        char low = (char)(u & 0xFF);
        bytes += bigEndian ? std::string{high, low} : std::string{low, high};
    };
    if (mark) {
        unit(0xFEFF);
    }
    for (size_t at = 0; at < text.size();) {
        unsigned char lead = (unsigned char)text[at];
        size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        unsigned long code = length == 1 ? lead : lead & (0xFFu >> (length + 1));
        for (size_t i = 1; i < length; ++i) {
            code = code << 6 | ((unsigned char)text[at + i] & 0x3Fu);
        }
        at += length;
        if (code >= 0x10000) {
            unit(0xD800 + ((code - 0x10000) >> 10));
            unit(0xDC00 + ((code - 0x10000) & 0x3FF));
        } else {
            unit(code);
        }
    }
    return bytes;
}
