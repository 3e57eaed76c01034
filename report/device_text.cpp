#include "report/device_text.h"

#include <cstring>

size_t appendSafeText(char* buffer, size_t capacity, const unsigned char* text, size_t size, size_t maxChars)
{
    size_t used = strlen(buffer);
    size_t taken = 0;
    for (size_t chars = 0; taken < size && chars < maxChars; ++chars) {
        unsigned long code = 0;
        int length = decodeUtf8(text + taken, size - taken, &code);
        if (length == 0) {   // a byte of no sequence stands for the code point of its value
            code = text[taken];
            length = 1;
        }
        bool control = code < 0x20 || (code >= 0x7F && code <= 0x9F);
        size_t shown = control ? 1 : (size_t)length;
        if (used + shown >= capacity) {
            break;
        }
        if (control) {
            buffer[used] = '?';
        } else {
            memcpy(buffer + used, text + taken, shown);
        }
        used += shown;
        taken += (size_t)length;
    }
    buffer[used] = '\0';
    return taken;
}

void printSafeText(FILE* out, const unsigned char* text, size_t size)
{
    while (size > 0) {
        char shown[64] = "";
        size_t taken = appendSafeText(shown, sizeof shown, text, size);
        fprintf(out, "%s", shown);
        text += taken;
        size -= taken;
    }
}

// Code points not one column wide; every other one is.
static const struct {
    unsigned long first, last;
    size_t width;
} WIDTHS[] = {
    {0x0300, 0x036F, 0}, {0x0483, 0x0489, 0},   {0x0591, 0x05BD, 0},   {0x1100, 0x115F, 2},   {0x1AB0, 0x1AFF, 0},
    {0x1DC0, 0x1DFF, 0}, {0x200B, 0x200F, 0},   {0x20D0, 0x20FF, 0},   {0x2E80, 0xA4CF, 2},   {0xAC00, 0xD7A3, 2},
    {0xF900, 0xFAFF, 2}, {0xFE00, 0xFE0F, 0},   {0xFE20, 0xFE2F, 0},   {0xFE30, 0xFE4F, 2},   {0xFF00, 0xFF60, 2},
    {0xFFE0, 0xFFE6, 2}, {0x1F300, 0x1F64F, 2}, {0x1F900, 0x1F9FF, 2}, {0x20000, 0x3FFFD, 2},
};

size_t displayWidth(const char* text, size_t size)
{
    const unsigned char* bytes = (const unsigned char*)text;
    size_t width = 0;
    size_t at = 0;
    while (at < size) {
        unsigned long code = 0;
        int length = decodeUtf8(bytes + at, size - at, &code);
        size_t columns = 1;
        for (const auto& range : WIDTHS) {
            if (length > 0 && code >= range.first && code <= range.last) {
                columns = range.width;
            }
        }
        width += columns;
        at += length > 0 ? (size_t)length : 1;
    }
    return width;
}
