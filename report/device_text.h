// Text that devices send (protocol ID, node name), as it may be shown: character by character, so
// that UTF-8 stays whole and no control character reaches a terminal, a file or a spreadsheet.
//
// The rule, on code points:
// - A valid UTF-8 sequence (shortest form, no surrogate, at most U+10FFFF, whole within the text
//   given) is one character: kept, or one '?' when it is a control.
// - A byte of no valid sequence is one character standing for the code point of its value: 0x80 to
//   0x9F (8-bit C1 controls) become '?', 0xA0 to 0xFF are kept as they are.
// - Controls are C0 (U+0000-001F), DEL (U+007F) and C1 (U+0080-009F).
// The safe form is never longer than the device text, and is its own safe form.
#pragma once

#include <cstddef>
#include <cstdio>

#include "protocol/utf8.h"

// Appends the safe form of the size bytes at text to the zero-terminated text in buffer (capacity
// bytes in all, at least 1), whole characters only, at most maxChars of them; returns how many
// device bytes were taken, so that fewer than size means the text was cut (on a character boundary).
// A buffer of size + 1 bytes holds the whole safe form. From a std::string, pass a buffer of that size
// and assign its text; to shorten text already safe, pass it again with maxChars.
size_t appendSafeText(char* buffer, size_t capacity, const unsigned char* text, size_t size,
                      size_t maxChars = (size_t)-1);
// The safe form of the size bytes at text.
void printSafeText(FILE* out, const unsigned char* text, size_t size);

// Terminal columns of UTF-8 text: two for East Asian wide and fullwidth characters, none for
// common combining marks and zero-width characters, one for the rest (a byte of no valid sequence too).
size_t displayWidth(const char* text, size_t size);
