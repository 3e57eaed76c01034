// Choice of the local IPv4 address to work from.
#pragma once

#include <cstdio>

const int MAX_INTERFACES = 50;

// Lists the host's addresses on out, reads the one-character choice from in. Returns true with
// the chosen address in chosen; false after printing its own error line (to out or err).
bool selectInterface(FILE* in, FILE* out, FILE* err, unsigned char* chosen);
