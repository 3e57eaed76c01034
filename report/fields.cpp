#include "report/fields.h"

#include <cstring>

#include "report/device_text.h"

void formatIpv4(char* text, const unsigned char* a)
{
    (void)snprintf(text, IPV4_TEXT_LEN, "%u.%u.%u.%u", a[0], a[1], a[2], a[3]);
}

void printIpv4(FILE* out, const unsigned char* a)
{
    char text[IPV4_TEXT_LEN];
    formatIpv4(text, a);
    fprintf(out, "%s", text);
}

void formatMac(char* text, const unsigned char* m)
{
    (void)snprintf(text, MAC_TEXT_LEN, "%02x.%02x.%02x.%02x.%02x.%02x", m[0], m[1], m[2], m[3], m[4], m[5]);
}

void printMac(FILE* out, const unsigned char* m)
{
    char text[MAC_TEXT_LEN];
    formatMac(text, m);
    fprintf(out, "%s", text);
}

static void printProtocolId(FILE* out, const Header& h)
{
    printSafeText(out, h.protocolId, sizeof h.protocolId);
}

static void printVersion(FILE* out, const Header& h)
{
    fprintf(out, "%d.", h.versionMajor);
    fprintf(out, "%02d", h.versionMinor);
}

// The type's name when both bytes are the expected ones, else the two bytes in hex.
static void printType(FILE* out, const Header& h, unsigned char kind, const char* name)
{
    if (isType(h.type, kind)) {
        fprintf(out, "%s", name);
    } else {
        fprintf(out, "%02x %02x ", h.type[0], h.type[1]);
    }
}

static void printIndex(FILE* out, const unsigned char* index)
{
    fprintf(out, "%02x %02x ", index[0], index[1]);
}

void printRequestFields(FILE* out, const Request& r)
{
    fprintf(out, "Bytes Sent\t: %ld\nProtocol ID\t: ", (long)REQUEST_LEN);
    printProtocolId(out, r.header);
    fprintf(out, "\nProtocol Version: ");
    printVersion(out, r.header);
    fprintf(out, "\nMessage Type\t: ");
    printType(out, r.header, TYPE_REQUEST, "Multicast Request");
    fprintf(out, "\nIndex\t\t: ");
    printIndex(out, r.index);
    fprintf(out, "\n\n");
}

void printResponseFields(FILE* out, const Response& r, const char* versionWord)
{
    fprintf(out, "Bytes Received\t\t: %ld\nProtocol ID\t\t: ", r.bytes);
    printProtocolId(out, r.header);
    fprintf(out, "\nProtocol Version\t: ");
    printVersion(out, r.header);
    fprintf(out, "\nMessage Type\t\t: ");
    printType(out, r.header, TYPE_RESPONSE, "Unicast Response");
    fprintf(out, "\nIndex\t\t\t: ");
    printIndex(out, r.index);
    fprintf(out, "\nMac-Addresse\t\t: ");
    printMac(out, r.mac);
    fprintf(out, "\nIP-Adresse\t\t: ");
    printIpv4(out, r.ip);
    fprintf(out, "\nIP-Gateway\t\t: ");
    printIpv4(out, r.gateway);
    fprintf(out, "\nIP-Mask\t\t\t: ");
    printIpv4(out, r.mask);
    fprintf(out, "\nNode Identification\t: %02x %02x", r.nodeId[0], r.nodeId[1]);
    if (isMorvesta(r)) {
        fprintf(out, " -> Morvesta");
    }
    fprintf(out, "\nNode Identification Type: %02x %02x", r.nodeType[0], r.nodeType[1]);
    if (isK4Z(r)) {
        fprintf(out, " -> K4Z");
    }
    fprintf(out, "\nVersion %s\t\t: ", versionWord);
    printIpv4(out, r.version);
    fprintf(out, "\nNode Name\t\t: ");
    printSafeText(out, r.nodeName, strlen((const char*)r.nodeName));
    fprintf(out, "\n\n");
}

void printSettingFields(FILE* out, const Setting& s)
{
    fprintf(out, "Bytes Sent\t: %ld\nProtocol ID\t: ", (long)SETTING_LEN);
    printProtocolId(out, s.header);
    fprintf(out, "\nProtocol Version: ");
    printVersion(out, s.header);
    fprintf(out, "\nMessage Type\t: ");
    printType(out, s.header, TYPE_SETTING, "Multicast Address Setting");
    fprintf(out, "\nMac Address\t: ");
    printMac(out, s.mac);
    fprintf(out, " ");
    fprintf(out, "\nIp Address\t: ");
    printIpv4(out, s.ip);
    fprintf(out, "\nGateway Address\t: ");
    printIpv4(out, s.gateway);
    fprintf(out, "\nMask Address\t: ");
    printIpv4(out, s.mask);
    fprintf(out, "\n\n");
}
