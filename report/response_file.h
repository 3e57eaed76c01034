// The response file: a text record of the responses, the count and the setting sent, written
// alongside the console output. Write errors are ignored.
#pragma once

#include <cstdio>

// Response n from the sender ip with MAC mac, bytes long, as held in recvbuf.
void writeResponse(FILE* file, int n, const unsigned char* ip, const unsigned char* mac, long bytes,
                   const unsigned char* recvbuf);
void writeCount(FILE* file, int responseCount);
void writeSetting(FILE* file, const unsigned char* setting);
