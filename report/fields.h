// The fields of the messages as text, shared by the console dumps and the response file. Bytes
// are shown as unsigned values; device text as report/device_text.h shows it.
#pragma once

#include <cstdio>

#include "protocol/decode.h"

// Four bytes as a dotted address, into text of IPV4_TEXT_LEN bytes.
const int IPV4_TEXT_LEN = 16;
void formatIpv4(char* text, const unsigned char* address);
void printIpv4(FILE* out, const unsigned char* address);
// Six bytes as a MAC address, two lower-case hex digits each, joined by '.', into text of
// MAC_TEXT_LEN bytes.
const int MAC_TEXT_LEN = 18;
void formatMac(char* text, const unsigned char* mac);
void printMac(FILE* out, const unsigned char* mac);

// Fields of the request from "Bytes Sent" to the closing blank line.
void printRequestFields(FILE* out, const Request& r);
// Fields of a response from "Bytes Received" to the node name; versionWord is the label's second
// word ("Nummer" on the console, "Number" in the file).
void printResponseFields(FILE* out, const Response& r, const char* versionWord);
// Fields of a setting message from "Bytes Sent" to the closing blank line.
void printSettingFields(FILE* out, const Setting& s);
