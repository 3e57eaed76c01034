// The response file: a text record of the responses, the count and the setting sent, written
// alongside the console output. Write errors are ignored.
#pragma once

#include <cstdio>

#include "protocol/decode.h"

// Response n from the sender address.
void writeResponse(FILE* file, int n, const unsigned char* sender, const Response& r);
void writeCount(FILE* file, int responseCount);
// The sent setting, from its bytes.
void writeSetting(FILE* file, const unsigned char* setting);
