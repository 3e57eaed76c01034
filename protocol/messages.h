// Layouts and constants of the three controller messages and of their transport.
#pragma once

// Transport
const unsigned short WINSOCK_VERSION_1_1 = 0x0101;   // asked of WSAStartup
const unsigned short SCAN_PORT = 20662;
#define SCAN_GROUP "239.192.0.255"
const int MULTICAST_TTL = 64;
const int RECV_LEN = 70;          // a longer datagram is a failed receive
const int SOCKADDR_IN_LEN = 16;   // size of an IPv4 socket address

const int IPV4_LEN = 4;
const int MAC_LEN = 6;

// Common header, at the start of every message
const int HDR_PROTOCOL_ID = 0;
const int PROTOCOL_ID_LEN = 4;
const int HDR_VERSION_MAJOR = 4;
const int HDR_VERSION_MINOR = 5;
const int HDR_TYPE = 6;   // two bytes: class, kind
const int TYPE_LEN = 2;
const int HDR_LEN = 8;

const unsigned char PROTOCOL_ID[PROTOCOL_ID_LEN] = {0x56, 0x4B, 0x44, 0x41};   // "VKDA"
const unsigned char VERSION_MAJOR = 1;
const unsigned char VERSION_MINOR = 0;
const unsigned char TYPE_CLASS = 0x01;
const unsigned char TYPE_REQUEST = 0x00;
const unsigned char TYPE_RESPONSE = 0x01;
const unsigned char TYPE_SETTING = 0x02;

const int INDEX_LEN = 2;

// Multicast request
const int REQUEST_LEN = 16;
const int REQ_INDEX = 8;

// Response (read at these offsets from the receive buffer)
const int RSP_INDEX = 8;
const int RSP_MAC = 12;
const int RSP_IP = 20;
const int RSP_GATEWAY = 24;
const int RSP_MASK = 28;
const int RSP_NODE_ID = 32;
const int NODE_ID_LEN = 2;
const int RSP_NODE_TYPE = 34;
const int NODE_TYPE_LEN = 2;
const int RSP_VERSION = 36;
const int VERSION_NUMBER_LEN = 4;
const int RSP_NODE_NAME = 40;   // up to 30 bytes, zero-terminated
const int NODE_NAME_LEN = RECV_LEN - RSP_NODE_NAME;
const int RESPONSE_LEN = RECV_LEN;   // a full response

const unsigned char NODE_ID_MORVESTA = 0x43;   // both bytes
const unsigned char NODE_TYPE_K4Z[2] = {0x09, 0x00};

// Multicast address setting
const int SETTING_LEN = 28;
const int SET_MAC = 8;
const int SET_IP = 16;
const int SET_GATEWAY = 20;
const int SET_MASK = 24;

struct Response;

// Fill the whole request.
void buildRequest(unsigned char* request);
// Header of the setting message; target MAC and addresses zero.
void buildSettingHeader(unsigned char* setting);
// Store four address bytes at SET_IP, SET_GATEWAY or SET_MASK.
void setSettingAddress(unsigned char* setting, int offset, const unsigned char* address);
// Name the target controller.
void setSettingTarget(unsigned char* setting, const unsigned char* mac);
// The whole setting: header, target and the three addresses.
void buildSetting(unsigned char* setting, const unsigned char* mac, const unsigned char* ip,
                  const unsigned char* gateway, const unsigned char* mask);
// The whole response as a controller sends it: RESPONSE_LEN bytes laid out from r's fields (its
// header as given, the node name field whole, bytes after a zero included). r.bytes is not used.
void buildResponse(unsigned char* response, const Response& r);
// True when the two type bytes (HDR_TYPE of a message, or a decoded header's) are TYPE_CLASS and
// kind.
bool isType(const unsigned char* type, unsigned char kind);
