// The response file: a text record of the responses, the count and the setting sent, written
// alongside the console output. A failed write is told once, at the end of the run.
#pragma once

#include <cstdio>

#include "protocol/decode.h"

// Response n from the sender address.
void writeResponse(FILE* file, int n, const unsigned char* sender, const Response& r);
void writeCount(FILE* file, int responseCount);
// The sent setting, from its bytes.
void writeSetting(FILE* file, const unsigned char* setting);

// A buffer of this size holds any one record (a response record is under 600 bytes).
const int RECORD_BUFFER_LEN = 4096;
// The line that tells that the file named could not be written or closed, with the system's
// reason for the error number.
void printFileFailure(FILE* out, const char* name, int error);
