// The secret that lets a browser in: random bits from the system's generator, compared in constant
// time.
#pragma once

#include <string>

// TOKEN_BYTES random bytes as lower-case hex; false when the system gives no random bytes.
const size_t TOKEN_BYTES = 16;   // 128 bits
bool makeToken(std::string* token);

// True when given equals expected, which is not empty; the time taken depends on neither's
// content, only on expected's length.
bool sameToken(const std::string& given, const std::string& expected);
