// Addresses as typed: IPv4 in dotted decimal, MAC as six hex pairs or twelve hex digits.
#pragma once

// Four decimal numbers of 0 to 255 joined by dots, without leading zeros, into four bytes in
// network order. Short, octal and hexadecimal forms and trailing text are refused: they would set
// another address than the one typed. False, with address untouched, when refused.
bool parseIpv4(const char* text, unsigned char* address);

// Six pairs of hex digits, either case, joined by ':', '.' or '-' (the same one throughout), or
// twelve hex digits without separator. False, with mac untouched, when refused.
bool parseMac(const char* text, unsigned char* mac);
