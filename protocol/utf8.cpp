#include "protocol/utf8.h"

int decodeUtf8(const unsigned char* text, size_t size, unsigned long* code)
{
    unsigned char lead = text[0];
    int length = lead < 0x80 ? 1 : lead < 0xC0 ? 0 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : lead < 0xF8 ? 4 : 0;
    if (length == 0 || (size_t)length > size) {
        return 0;
    }
    static const unsigned long LEAD_BITS[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
    static const unsigned long LEAST[] = {0, 0, 0x80, 0x800, 0x10000};   // below it: not the shortest form
    unsigned long value = lead & LEAD_BITS[length];
    for (int i = 1; i < length; ++i) {
        if ((text[i] & 0xC0) != 0x80) {
            return 0;
        }
        value = value << 6 | (text[i] & 0x3FU);
    }
    if (value < LEAST[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
        return 0;
    }
    *code = value;
    return length;
}

int encodeUtf8(unsigned long code, char* out)
{
    if (code < 0x80) {
        out[0] = (char)code;
        return 1;
    }
    int length = code < 0x800 ? 2 : code < 0x10000 ? 3 : 4;
    static const unsigned char LEAD[] = {0, 0, 0xC0, 0xE0, 0xF0};
    for (int i = length - 1; i > 0; --i) {
        out[i] = (char)(0x80 | (code & 0x3F));
        code >>= 6;
    }
    out[0] = (char)(LEAD[length] | code);
    return length;
}

bool isUtf8(const char* text, size_t size)
{
    const unsigned char* bytes = (const unsigned char*)text;
    for (size_t at = 0; at < size;) {
        unsigned long code = 0;
        int length = decodeUtf8(bytes + at, size - at, &code);
        if (length == 0) {
            return false;
        }
        at += (size_t)length;
    }
    return true;
}
