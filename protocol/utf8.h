// UTF-8, code point by code point: for device text and for the plans users' tools write.
#pragma once

#include <cstddef>

// The valid UTF-8 sequence that starts text (size > 0 bytes): its length, 1 to 4, with its code
// point in *code; 0 when none starts there. Valid: the shortest form, no surrogate, at most
// U+10FFFF, whole within the text given.
int decodeUtf8(const unsigned char* text, size_t size, unsigned long* code);

// The UTF-8 form of code (at most U+10FFFF, no surrogate) into out (room for 4); its length.
int encodeUtf8(unsigned long code, char* out);

// True when the size bytes at text are valid UTF-8 throughout.
bool isUtf8(const char* text, size_t size);
