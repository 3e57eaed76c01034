#include "protocol/decode.h"

#include <cstring>

// len bytes from offset; the part beyond size reads as zero.
static void readField(const unsigned char* data, int size, int offset, unsigned char* out, int len)
{
    memset(out, 0, (size_t)len);
    if (offset >= size) {
        return;
    }
    int available = size - offset;
    memcpy(out, data + offset, (size_t)(available < len ? available : len));
}

static void decodeHeader(const unsigned char* data, int size, Header* h)
{
    readField(data, size, HDR_PROTOCOL_ID, h->protocolId, PROTOCOL_ID_LEN);
    readField(data, size, HDR_VERSION_MAJOR, &h->versionMajor, 1);
    readField(data, size, HDR_VERSION_MINOR, &h->versionMinor, 1);
    readField(data, size, HDR_TYPE, h->type, TYPE_LEN);
}

void decodeResponse(const unsigned char* data, int size, long bytes, Response* r)
{
    r->bytes = bytes;
    decodeHeader(data, size, &r->header);
    readField(data, size, RSP_INDEX, r->index, INDEX_LEN);
    readField(data, size, RSP_MAC, r->mac, MAC_LEN);
    readField(data, size, RSP_IP, r->ip, IPV4_LEN);
    readField(data, size, RSP_GATEWAY, r->gateway, IPV4_LEN);
    readField(data, size, RSP_MASK, r->mask, IPV4_LEN);
    readField(data, size, RSP_NODE_ID, r->nodeId, NODE_ID_LEN);
    readField(data, size, RSP_NODE_TYPE, r->nodeType, NODE_TYPE_LEN);
    readField(data, size, RSP_VERSION, r->version, VERSION_NUMBER_LEN);
    readField(data, size, RSP_NODE_NAME, r->nodeName, NODE_NAME_LEN);
    r->nodeName[NODE_NAME_LEN] = 0;   // a full-width name has no zero byte of its own
}

void decodeRequest(const unsigned char* data, int size, Request* r)
{
    decodeHeader(data, size, &r->header);
    readField(data, size, REQ_INDEX, r->index, INDEX_LEN);
}

void decodeSetting(const unsigned char* data, int size, Setting* s)
{
    decodeHeader(data, size, &s->header);
    readField(data, size, SET_MAC, s->mac, MAC_LEN);
    readField(data, size, SET_IP, s->ip, IPV4_LEN);
    readField(data, size, SET_GATEWAY, s->gateway, IPV4_LEN);
    readField(data, size, SET_MASK, s->mask, IPV4_LEN);
}

bool isMorvesta(const Response& r)
{
    return r.nodeId[0] == NODE_ID_MORVESTA && r.nodeId[1] == NODE_ID_MORVESTA;
}

bool isK4Z(const Response& r)
{
    return r.nodeType[0] == NODE_TYPE_K4Z[0] && r.nodeType[1] == NODE_TYPE_K4Z[1];
}
