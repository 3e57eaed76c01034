// Text dumps of the protocol messages. Bytes from the network are shown as unsigned values; those
// shown as characters never reach the terminal as control bytes.
#pragma once

#include <cstdio>

// One byte as a character: control bytes (0x00-0x1F, 0x7F) as '?'.
void printSafeChar(FILE* out, unsigned char byte);
// Node name from RSP_NODE_NAME up to its zero byte or the end of the buffer.
void printNodeName(FILE* out, const unsigned char* buffer, int bufferLen);
// Four bytes as a dotted address.
void printIpv4(FILE* out, const unsigned char* address);
// Six bytes as a MAC address, two lower-case hex digits each, joined by '.'.
void printMac(FILE* out, const unsigned char* mac);

// Console dump of the sent request.
void dumpRequest(FILE* out, const unsigned char* request);
// Fields of a response from "Bytes Received" to the node name; versionWord is the label's
// second word ("Nummer" on the console, "Number" in the file).
void printResponseFields(FILE* out, const unsigned char* recvbuf, long bytes, const char* versionWord);
// Console dump of response n from the sender ip with MAC mac.
void dumpResponse(FILE* out, int n, const unsigned char* ip, const unsigned char* mac, long bytes,
                  const unsigned char* recvbuf);
// Fields of a setting message from "Bytes Sent" to the closing blank line.
void printSettingFields(FILE* out, const unsigned char* setting);
// Console dump of the sent setting.
void dumpSetting(FILE* out, const unsigned char* setting);
