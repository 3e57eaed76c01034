#include "protocol/dump.h"

#include "protocol/messages.h"

void printSafeChar(FILE* out, unsigned char byte)
{
    fprintf(out, "%c", (byte < 0x20 || byte == 0x7F) ? '?' : byte);
}

void printNodeName(FILE* out, const unsigned char* buffer, int bufferLen)
{
    for (int i = RSP_NODE_NAME; i < bufferLen && buffer[i] != 0; ++i) {
        printSafeChar(out, buffer[i]);
    }
}

void printIpv4(FILE* out, const unsigned char* a)
{
    fprintf(out, "%u.%u.%u.%u", a[0], a[1], a[2], a[3]);
}

void printMac(FILE* out, const unsigned char* m)
{
    fprintf(out, "%02x.%02x.%02x.%02x.%02x.%02x", m[0], m[1], m[2], m[3], m[4], m[5]);
}

static void printProtocolId(FILE* out, const unsigned char* message)
{
    for (int i = 0; i < PROTOCOL_ID_LEN; ++i) {
        printSafeChar(out, message[HDR_PROTOCOL_ID + i]);
    }
}

static void printVersion(FILE* out, const unsigned char* message)
{
    fprintf(out, "%d.", message[HDR_VERSION_MAJOR]);
    fprintf(out, "%02d", message[HDR_VERSION_MINOR]);
}

// The type's name when both bytes are the expected ones, else the two bytes in hex.
static void printType(FILE* out, const unsigned char* message, unsigned char kind, const char* name)
{
    if (hasType(message, kind)) {
        fprintf(out, "%s", name);
    } else {
        fprintf(out, "%02x %02x ", message[HDR_TYPE], message[HDR_TYPE + 1]);
    }
}

static void printIndex(FILE* out, const unsigned char* message, int offset)
{
    fprintf(out, "%02x %02x ", message[offset], message[offset + 1]);
}

void dumpRequest(FILE* out, const unsigned char* request)
{
    fprintf(out, "\n*************************************\n\tSent Request Message\n"
                 "*************************************\n\n");
    fprintf(out, "Bytes Sent\t: %ld\nProtocol ID\t: ", (long)REQUEST_LEN);
    printProtocolId(out, request);
    fprintf(out, "\nProtocol Version: ");
    printVersion(out, request);
    fprintf(out, "\nMessage Type\t: ");
    printType(out, request, TYPE_REQUEST, "Multicast Request");
    fprintf(out, "\nIndex\t\t: ");
    printIndex(out, request, REQ_INDEX);
    fprintf(out, "\n\n");
}

void printResponseFields(FILE* out, const unsigned char* b, long bytes, const char* versionWord)
{
    fprintf(out, "Bytes Received\t\t: %ld\nProtocol ID\t\t: ", bytes);
    printProtocolId(out, b);
    fprintf(out, "\nProtocol Version\t: ");
    printVersion(out, b);
    fprintf(out, "\nMessage Type\t\t: ");
    printType(out, b, TYPE_RESPONSE, "Unicast Response");
    fprintf(out, "\nIndex\t\t\t: ");
    printIndex(out, b, RSP_INDEX);
    fprintf(out, "\nMac-Addresse\t\t: ");
    printMac(out, b + RSP_MAC);
    fprintf(out, "\nIP-Adresse\t\t: ");
    printIpv4(out, b + RSP_IP);
    fprintf(out, "\nIP-Gateway\t\t: ");
    printIpv4(out, b + RSP_GATEWAY);
    fprintf(out, "\nIP-Mask\t\t\t: ");
    printIpv4(out, b + RSP_MASK);
    fprintf(out, "\nNode Identification\t: %02x %02x", b[RSP_NODE_ID], b[RSP_NODE_ID + 1]);
    if (b[RSP_NODE_ID] == NODE_ID_MORVESTA && b[RSP_NODE_ID + 1] == NODE_ID_MORVESTA) {
        fprintf(out, " -> Morvesta");
    }
    fprintf(out, "\nNode Identification Type: %02x %02x", b[RSP_NODE_TYPE], b[RSP_NODE_TYPE + 1]);
    if (b[RSP_NODE_TYPE] == NODE_TYPE_K4Z[0] && b[RSP_NODE_TYPE + 1] == NODE_TYPE_K4Z[1]) {
        fprintf(out, " -> K4Z");
    }
    fprintf(out, "\nVersion %s\t\t: ", versionWord);
    printIpv4(out, b + RSP_VERSION);
    fprintf(out, "\nNode Name\t\t: ");
    printNodeName(out, b, RECV_LEN);
    fprintf(out, "\n\n");
}

void dumpResponse(FILE* out, int n, const unsigned char* ip, const unsigned char* mac, long bytes,
                  const unsigned char* recvbuf)
{
    fprintf(out, "\n\n%d. response is received from the \nIP Address: %d.%d.%d.%d \nMAC-Address: ", n, ip[0], ip[1],
            ip[2], ip[3]);
    printMac(out, mac);
    fprintf(out, "\n\n");
    fprintf(out, "********************************\n\tReceived Message\n"
                 "********************************\n\n");
    printResponseFields(out, recvbuf, bytes, "Nummer");
}

void printSettingFields(FILE* out, const unsigned char* s)
{
    fprintf(out, "Bytes Sent\t: %ld\nProtocol ID\t: ", (long)SETTING_LEN);
    printProtocolId(out, s);
    fprintf(out, "\nProtocol Version: ");
    printVersion(out, s);
    fprintf(out, "\nMessage Type\t: ");
    printType(out, s, TYPE_SETTING, "Multicast Address Setting");
    fprintf(out, "\nMac Address\t: ");
    printMac(out, s + SET_MAC);
    fprintf(out, " ");
    fprintf(out, "\nIp Address\t: ");
    printIpv4(out, s + SET_IP);
    fprintf(out, "\nGateway Address\t: ");
    printIpv4(out, s + SET_GATEWAY);
    fprintf(out, "\nMask Address\t: ");
    printIpv4(out, s + SET_MASK);
    fprintf(out, "\n\n");
}

void dumpSetting(FILE* out, const unsigned char* setting)
{
    fprintf(out, "\n********************************************\n\tSent Address Setting Message\n"
                 "********************************************\n\n");
    printSettingFields(out, setting);
}
