// How single values read in every text form: addresses, counts, a device's node name, text the
// user gave as a message quotes it.
#pragma once

#include <string>

#include "protocol/decode.h"

// Four bytes as a dotted address and six as a MAC, as every text of the batch program shows them.
std::string ipv4Text(const unsigned char* address);
std::string macText(const unsigned char* mac);

// A count with its noun, singular for one: "1 controller", "2 controllers".
std::string counted(long count, const char* one, const char* many);

// The node name as the console dumps show it (report/device_text.h).
std::string safeNodeName(const Response& r);

// Text with each byte of no valid UTF-8 sequence replaced by U+FFFD, as the JSON library does: the
// texts that other programs read as UTF-8 are UTF-8 throughout.
std::string validUtf8(const std::string& text);

// Text the user gave, as a message may show it: by the device text rule, cut on a character after
// QUOTED_CHARS of them ("..." then), UTF-8 throughout; quoted, the same in single quotes.
const size_t QUOTED_CHARS = 40;
std::string shownText(const std::string& text);
std::string quoted(const std::string& text);
