// Messages decoded into plain structs of named fields. Every read is bounded by the size of the
// data it is given; a field that lies beyond it reads as zero.
#pragma once

#include "protocol/messages.h"

struct Header {
    unsigned char protocolId[PROTOCOL_ID_LEN];
    unsigned char versionMajor;
    unsigned char versionMinor;
    unsigned char type[TYPE_LEN];
};

struct Request {
    Header header;
    unsigned char index[INDEX_LEN];
};

struct Response {
    long bytes;   // bytes received
    Header header;
    unsigned char index[INDEX_LEN];
    unsigned char mac[MAC_LEN];
    unsigned char ip[IPV4_LEN];
    unsigned char gateway[IPV4_LEN];
    unsigned char mask[IPV4_LEN];
    unsigned char nodeId[NODE_ID_LEN];
    unsigned char nodeType[NODE_TYPE_LEN];
    unsigned char version[VERSION_NUMBER_LEN];
    unsigned char nodeName[NODE_NAME_LEN + 1];   // up to its zero byte or the field's end; zero-terminated
};

struct Setting {
    Header header;
    unsigned char mac[MAC_LEN];
    unsigned char ip[IPV4_LEN];
    unsigned char gateway[IPV4_LEN];
    unsigned char mask[IPV4_LEN];
};

// data holds size bytes; bytes is what the receive reported.
void decodeResponse(const unsigned char* data, int size, long bytes, Response* r);
void decodeRequest(const unsigned char* data, int size, Request* r);
void decodeSetting(const unsigned char* data, int size, Setting* s);

// Node identification and its type mark the maker's controllers and the model series.
bool isMorvesta(const Response& r);
bool isK4Z(const Response& r);
