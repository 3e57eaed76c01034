// Controller stand-in: answers scan requests on the multicast group as a set of simulated
// controllers, each from its own loopback source address. Runs only in a private network namespace.
#include "protocol/messages.h"
#include "tools/netns_guard.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

const char PROGRAM[] = "brevindor-standin";
const int EXIT_USAGE = 2;

// Limits of the command line
const unsigned long MAX_SIZE = 1400;
const unsigned long MAX_CONTROLLERS = 65535;   // default MACs number them in 16 bits
const unsigned long MAX_DELAY_MS = 3600000;
const unsigned long MAX_REPEAT = 100000;
const double DEFAULT_LIFETIME_S = 60;
const double MAX_LIFETIME_S = 86400;
const unsigned long BYTE_MAX = 0xFF;
const int HEX_BASE = 16;
const int DEC_BASE = 10;
const int BITS_PER_BYTE = 8;
const int HEX_DIGITS_PER_BYTE = 2;

// Defaults of the k-th controller
const uint32_t DEFAULT_FROM_FIRST = 0x7F000002;                                   // 127.0.0.2, then + k
const unsigned char DEFAULT_MAC_PREFIX[MAC_LEN - 2] = {0x02, 0x00, 0x00, 0x00};   // then k + 1
const unsigned char DEFAULT_IP_NET[IPV4_LEN - 1] = {192, 168, 1};                 // host 10 + k ...
const unsigned long DEFAULT_IP_HOST_FIRST = 10;
const unsigned long DEFAULT_IP_NET_COUNT = 200;   // ... for k below this
const unsigned char DEFAULT_IP_WIDE_NET = 10;     // else 10.(k as 24 bits)
const unsigned char DEFAULT_GATEWAY[IPV4_LEN] = {192, 168, 1, 1};
const unsigned char DEFAULT_MASK[IPV4_LEN] = {255, 255, 255, 0};
const unsigned char DEFAULT_VERSION[VERSION_NUMBER_LEN] = {1, 0, 0, 8};
const char DEFAULT_NAME_PREFIX[] = "Controller-";
const char DEFAULT_INTERFACE[] = "127.0.0.1";

// Socket and timing
const int RECV_BUF_BYTES = 8 << 20;
const int SEND_BUF_BYTES = 4 << 20;
const size_t MAX_DATAGRAM = 65536;
const int DRAIN_BATCH = 256;        // datagrams read per wake-up before sending again
const int SEND_RETRY_LIMIT = 500;   // tries on ENOBUFS/EAGAIN
const long SEND_RETRY_PAUSE_NS = 1000000;
const int64_t NS_PER_MS = 1000000;
const int64_t NS_PER_S = 1000000000;

struct Controller {
    in_addr from;
    unsigned char mac[MAC_LEN];
    unsigned char ip[IPV4_LEN];
    unsigned char gateway[IPV4_LEN];
    unsigned char mask[IPV4_LEN];
    unsigned char nodeId[NODE_ID_LEN];
    unsigned char nodeType[NODE_TYPE_LEN];
    unsigned char index[INDEX_LEN];
    unsigned char type[TYPE_LEN];
    unsigned char version[VERSION_NUMBER_LEN];
    std::string name;
    unsigned long size;
    unsigned long delayMs;
    unsigned long repeat;
    unsigned long everyMs;   // between repeated answers
    bool ignoreSettings;
    unsigned long setDelayMs;   // a setting takes effect this long after it arrives
};

// A setting waiting to take effect.
struct PendingSetting {
    size_t controller;
    unsigned char addresses[3 * IPV4_LEN];   // ip, gateway, mask
};

struct Pending {
    size_t controller;
    sockaddr_in dest;
};

volatile sig_atomic_t stopRequested = 0;

void onStopSignal(int)
{
    stopRequested = 1;
}

// printf-style, so the compiler checks each call's format.
[[noreturn]] __attribute__((format(printf, 1, 2))) void fail(const char* format, ...)   // NOLINT(cert-dcl50-cpp)
{
    va_list args;
    va_start(args, format);
    fprintf(stderr, "%s: ", PROGRAM);
    vfprintf(stderr, format, args);
    fputc('\n', stderr);
    va_end(args);
    exit(EXIT_USAGE);
}

void printUsage(FILE* out)
{
    fprintf(out,
            "usage: %s [--interface ADDR]... [--controller KEYS]... [--many N] [--log FILE]"
            " [--lifetime SECONDS]\n"
            "\n"
            "Behaves like a set of controllers on group %s, UDP port %u. Runs only inside a\n"
            "private network namespace (unshare -n).\n"
            "\n"
            "  --interface ADDR    local IPv4 address whose interface joins the group"
            " (default %s);\n"
            "                      repeatable, to join on several interfaces\n"
            "  --controller KEYS   add one controller; KEYS is comma-separated key=value pairs,\n"
            "                      every key optional; repeatable\n"
            "  --many N            add N controllers with the defaults\n"
            "  --log FILE          append one line per received datagram:\n"
            "                      <ip>:<port> <length> <bytes as lower-case hex>\n"
            "  --lifetime SECONDS  exit after this long (default %g); SIGTERM/SIGINT also end it\n"
            "\n"
            "Prints 'ready' once the group is joined and 'sent <N> last_send_ns <T>' on exit\n"
            "(T: CLOCK_MONOTONIC just before the last successful send, 0 if none).\n"
            "\n"
            "KEYS and the defaults of the k-th controller (k from 0, in command-line order):\n"
            "  from=ADDR          source address of its answers  127.0.0.2 + k\n"
            "  mac=HH.HH.HH.HH.HH.HH ('.' or ':')                 02.00.00.00.HI.LO, HI.LO = k + 1\n"
            "  ip=ADDR                                           192.168.1.(10 + k) for k < 200,\n"
            "                                                    else 10.(k>>16).((k>>8)&255).(k&255)\n"
            "  gw=ADDR                                           192.168.1.1\n"
            "  mask=ADDR                                         255.255.255.0\n"
            "  id=HHHH            node identification            4343\n"
            "  idtype=HHHH        node identification type       0900\n"
            "  index=HHHH         index field                    0000\n"
            "  type=HHHH          message type bytes             0101\n"
            "  version=D.D.D.D    version number                 1.0.0.8\n"
            "  name=TEXT          node name (first %d bytes)     Controller-<k + 1>\n"
            "  namehex=HH...      node name as hex bytes\n"
            "  size=N             datagram length, 0..%lu        70\n"
            "  delay=MS           wait before answering          0\n"
            "  repeat=N           answers to each request        1\n"
            "  every=MS           time between repeated answers  0\n"
            "  settings=apply|ignore  what to do with a setting  apply\n"
            "  setdelay=MS        a setting takes effect after   0\n"
            "A setting message whose MAC matches changes ip, gw and mask for later answers\n"
            "(unless settings=ignore; setdelay=MS later).\n",
            PROGRAM, SCAN_GROUP, SCAN_PORT, DEFAULT_INTERFACE, DEFAULT_LIFETIME_S, NODE_NAME_LEN, MAX_SIZE);
}

int64_t monotonicNs()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * NS_PER_S + ts.tv_nsec;
}

// ---- value parsing ----

bool parseUnsigned(const std::string& text, int base, unsigned long max, unsigned long* value)
{
    if (text.empty()) {
        return false;
    }
    unsigned long result = 0;
    for (char c : text) {
        int digit;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (base == HEX_BASE && c >= 'a' && c <= 'f') {
            digit = c - 'a' + DEC_BASE;
        } else if (base == HEX_BASE && c >= 'A' && c <= 'F') {
            digit = c - 'A' + DEC_BASE;
        } else {
            return false;
        }
        if (result > (max - static_cast<unsigned long>(digit)) / static_cast<unsigned long>(base)) {
            return false;
        }
        result = result * static_cast<unsigned long>(base) + static_cast<unsigned long>(digit);
    }
    *value = result;
    return true;
}

std::vector<std::string> split(const std::string& text, const char* separators)
{
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        size_t end = text.find_first_of(separators, start);
        parts.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos) {
            return parts;
        }
        start = end + 1;
    }
}

// Exactly 2 * count hex digits into count bytes.
bool parseHexBytes(const std::string& text, unsigned char* out, size_t count)
{
    if (text.size() != count * HEX_DIGITS_PER_BYTE) {
        return false;
    }
    for (size_t i = 0; i < count; ++i) {
        unsigned long byte;
        if (!parseUnsigned(text.substr(i * HEX_DIGITS_PER_BYTE, HEX_DIGITS_PER_BYTE), HEX_BASE, BYTE_MAX, &byte)) {
            return false;
        }
        out[i] = static_cast<unsigned char>(byte);
    }
    return true;
}

bool parseMac(const std::string& text, unsigned char* mac)
{
    std::vector<std::string> parts = split(text, ".:");
    if (parts.size() != static_cast<size_t>(MAC_LEN)) {
        return false;
    }
    for (int i = 0; i < MAC_LEN; ++i) {
        unsigned long byte;
        if (parts[i].size() > static_cast<size_t>(HEX_DIGITS_PER_BYTE) ||
            !parseUnsigned(parts[i], HEX_BASE, BYTE_MAX, &byte)) {
            return false;
        }
        mac[i] = static_cast<unsigned char>(byte);
    }
    return true;
}

bool parseAddress(const std::string& text, unsigned char* address)
{
    in_addr parsed;
    if (inet_pton(AF_INET, text.c_str(), &parsed) != 1) {
        return false;
    }
    memcpy(address, &parsed, IPV4_LEN);
    return true;
}

bool parseVersion(const std::string& text, unsigned char* version)
{
    std::vector<std::string> parts = split(text, ".");
    if (parts.size() != static_cast<size_t>(VERSION_NUMBER_LEN)) {
        return false;
    }
    for (int i = 0; i < VERSION_NUMBER_LEN; ++i) {
        unsigned long part;
        if (!parseUnsigned(parts[i], DEC_BASE, BYTE_MAX, &part)) {
            return false;
        }
        version[i] = static_cast<unsigned char>(part);
    }
    return true;
}

bool parseNameHex(const std::string& text, std::string* name)
{
    if (text.size() % HEX_DIGITS_PER_BYTE != 0) {
        return false;
    }
    std::vector<unsigned char> bytes(text.size() / HEX_DIGITS_PER_BYTE);
    if (!parseHexBytes(text, bytes.data(), bytes.size())) {
        return false;
    }
    name->assign(bytes.begin(), bytes.end());
    return true;
}

// ---- controllers ----

Controller defaultController(unsigned long k)
{
    Controller c;
    c.from.s_addr = htonl(DEFAULT_FROM_FIRST + static_cast<uint32_t>(k));

    unsigned long number = k + 1;
    memcpy(c.mac, DEFAULT_MAC_PREFIX, sizeof DEFAULT_MAC_PREFIX);
    c.mac[MAC_LEN - 2] = static_cast<unsigned char>((number >> BITS_PER_BYTE) & BYTE_MAX);
    c.mac[MAC_LEN - 1] = static_cast<unsigned char>(number & BYTE_MAX);

    if (k < DEFAULT_IP_NET_COUNT) {
        memcpy(c.ip, DEFAULT_IP_NET, sizeof DEFAULT_IP_NET);
        c.ip[IPV4_LEN - 1] = static_cast<unsigned char>(DEFAULT_IP_HOST_FIRST + k);
    } else {
        c.ip[0] = DEFAULT_IP_WIDE_NET;
        c.ip[1] = static_cast<unsigned char>((k >> (2 * BITS_PER_BYTE)) & BYTE_MAX);
        c.ip[2] = static_cast<unsigned char>((k >> BITS_PER_BYTE) & BYTE_MAX);
        c.ip[3] = static_cast<unsigned char>(k & BYTE_MAX);
    }
    memcpy(c.gateway, DEFAULT_GATEWAY, IPV4_LEN);
    memcpy(c.mask, DEFAULT_MASK, IPV4_LEN);

    c.nodeId[0] = NODE_ID_MORVESTA;
    c.nodeId[1] = NODE_ID_MORVESTA;
    memcpy(c.nodeType, NODE_TYPE_K4Z, NODE_TYPE_LEN);
    memset(c.index, 0, INDEX_LEN);
    c.type[0] = TYPE_CLASS;
    c.type[1] = TYPE_RESPONSE;
    memcpy(c.version, DEFAULT_VERSION, VERSION_NUMBER_LEN);
    c.name = DEFAULT_NAME_PREFIX + std::to_string(number);
    c.size = RESPONSE_LEN;
    c.delayMs = 0;
    c.repeat = 1;
    c.everyMs = 0;
    c.ignoreSettings = false;
    c.setDelayMs = 0;
    return c;
}

void applyKeys(Controller* c, const std::string& keys, unsigned long k)
{
    if (keys.empty()) {
        return;
    }
    for (const std::string& item : split(keys, ",")) {
        size_t eq = item.find('=');
        if (eq == std::string::npos) {
            fail("controller %lu: '%s' is not key=value", k, item.c_str());
        }
        std::string key = item.substr(0, eq);
        std::string value = item.substr(eq + 1);
        bool ok;
        if (key == "from") {
            unsigned char address[IPV4_LEN];
            ok = parseAddress(value, address);
            if (ok) {
                memcpy(&c->from, address, IPV4_LEN);
            }
        } else if (key == "mac") {
            ok = parseMac(value, c->mac);
        } else if (key == "ip") {
            ok = parseAddress(value, c->ip);
        } else if (key == "gw") {
            ok = parseAddress(value, c->gateway);
        } else if (key == "mask") {
            ok = parseAddress(value, c->mask);
        } else if (key == "id") {
            ok = parseHexBytes(value, c->nodeId, NODE_ID_LEN);
        } else if (key == "idtype") {
            ok = parseHexBytes(value, c->nodeType, NODE_TYPE_LEN);
        } else if (key == "index") {
            ok = parseHexBytes(value, c->index, INDEX_LEN);
        } else if (key == "type") {
            ok = parseHexBytes(value, c->type, TYPE_LEN);
        } else if (key == "version") {
            ok = parseVersion(value, c->version);
        } else if (key == "name") {
            c->name = value;
            ok = true;
        } else if (key == "namehex") {
            ok = parseNameHex(value, &c->name);
        } else if (key == "size") {
            ok = parseUnsigned(value, DEC_BASE, MAX_SIZE, &c->size);
        } else if (key == "delay") {
            ok = parseUnsigned(value, DEC_BASE, MAX_DELAY_MS, &c->delayMs);
        } else if (key == "repeat") {
            ok = parseUnsigned(value, DEC_BASE, MAX_REPEAT, &c->repeat);
        } else if (key == "every") {
            ok = parseUnsigned(value, DEC_BASE, MAX_DELAY_MS, &c->everyMs);
        } else if (key == "settings") {
            ok = value == "apply" || value == "ignore";
            c->ignoreSettings = value == "ignore";
        } else if (key == "setdelay") {
            ok = parseUnsigned(value, DEC_BASE, MAX_DELAY_MS, &c->setDelayMs);
        } else {
            fail("controller %lu: unknown key '%s'", k, key.c_str());
        }
        if (!ok) {
            fail("controller %lu: bad value for %s: '%s'", k, key.c_str(), value.c_str());
        }
    }
}

// Lays the response out in a zero-filled buffer of max(size, RESPONSE_LEN) bytes.
void buildResponse(const Controller& c, unsigned char* buffer)
{
    size_t length = c.size > static_cast<unsigned long>(RESPONSE_LEN) ? c.size : RESPONSE_LEN;
    memset(buffer, 0, length);
    memcpy(buffer + HDR_PROTOCOL_ID, PROTOCOL_ID, PROTOCOL_ID_LEN);
    buffer[HDR_VERSION_MAJOR] = VERSION_MAJOR;
    buffer[HDR_VERSION_MINOR] = VERSION_MINOR;
    memcpy(buffer + HDR_TYPE, c.type, TYPE_LEN);
    memcpy(buffer + RSP_INDEX, c.index, INDEX_LEN);
    memcpy(buffer + RSP_MAC, c.mac, MAC_LEN);
    memcpy(buffer + RSP_IP, c.ip, IPV4_LEN);
    memcpy(buffer + RSP_GATEWAY, c.gateway, IPV4_LEN);
    memcpy(buffer + RSP_MASK, c.mask, IPV4_LEN);
    memcpy(buffer + RSP_NODE_ID, c.nodeId, NODE_ID_LEN);
    memcpy(buffer + RSP_NODE_TYPE, c.nodeType, NODE_TYPE_LEN);
    memcpy(buffer + RSP_VERSION, c.version, VERSION_NUMBER_LEN);
    size_t nameLen = c.name.size() < static_cast<size_t>(NODE_NAME_LEN) ? c.name.size() : NODE_NAME_LEN;
    // The name field is fixed-width: zero-filled above, a full-width name has no terminator.
    memcpy(buffer + RSP_NODE_NAME, c.name.data(), nameLen);   // NOLINT(bugprone-not-null-terminated-result)
}

// ---- the running stand-in ----

struct StandIn {
    int fd = -1;
    FILE* log = nullptr;
    std::multimap<int64_t, PendingSetting> settings;   // by the time they take effect
    std::vector<Controller> controllers;
    std::multimap<int64_t, Pending> pending;   // by due time; equal times keep insertion order
    unsigned long long sent = 0;
    int64_t lastSendNs = 0;
    unsigned char response[MAX_SIZE > static_cast<unsigned long>(RESPONSE_LEN) ? MAX_SIZE : RESPONSE_LEN];
};

void logDatagram(FILE* log, const sockaddr_in& src, const unsigned char* data, size_t length)
{
    char ip[INET_ADDRSTRLEN];
    inet_ntop(AF_INET, &src.sin_addr, ip, sizeof ip);
    fprintf(log, "%s:%u %zu", ip, ntohs(src.sin_port), length);
    for (size_t i = 0; i < length; ++i) {
        fprintf(log, " %02x", data[i]);
    }
    fputc('\n', log);
    fflush(log);
}

void sendOne(StandIn* s, const Pending& p)
{
    const Controller& c = s->controllers[p.controller];
    buildResponse(c, s->response);

    iovec iov;
    iov.iov_base = s->response;
    iov.iov_len = c.size;
    union {
        cmsghdr align;
        char bytes[CMSG_SPACE(sizeof(in_pktinfo))];
    } control;
    memset(&control, 0, sizeof control);
    sockaddr_in dest = p.dest;
    msghdr msg;
    memset(&msg, 0, sizeof msg);
    msg.msg_name = &dest;
    msg.msg_namelen = sizeof dest;
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    msg.msg_control = control.bytes;
    msg.msg_controllen = sizeof control.bytes;
    cmsghdr* cm = CMSG_FIRSTHDR(&msg);
    cm->cmsg_level = IPPROTO_IP;
    cm->cmsg_type = IP_PKTINFO;
    cm->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
    in_pktinfo info;
    memset(&info, 0, sizeof info);
    info.ipi_spec_dst = c.from;   // source address of this controller's answers
    memcpy(CMSG_DATA(cm), &info, sizeof info);

    for (int attempt = 0;; ++attempt) {
        int64_t before = monotonicNs();
        if (sendmsg(s->fd, &msg, 0) >= 0) {
            ++s->sent;
            s->lastSendNs = before;
            return;
        }
        int err = errno;
        if (err == EINTR) {
            continue;
        }
        if ((err == ENOBUFS || err == EAGAIN || err == EWOULDBLOCK) && attempt < SEND_RETRY_LIMIT) {
            timespec pause = {0, SEND_RETRY_PAUSE_NS};
            nanosleep(&pause, nullptr);
            continue;
        }
        char from[INET_ADDRSTRLEN];
        char to[INET_ADDRSTRLEN];
        inet_ntop(AF_INET, &c.from, from, sizeof from);
        inet_ntop(AF_INET, &dest.sin_addr, to, sizeof to);
        fprintf(stderr, "%s: controller %zu: send from %s to %s:%u failed: %s\n", PROGRAM, p.controller, from, to,
                ntohs(dest.sin_port), strerror(err));
        return;
    }
}

void applyDue(StandIn* s)
{
    int64_t now = monotonicNs();
    while (!s->settings.empty() && s->settings.begin()->first <= now) {
        const PendingSetting& p = s->settings.begin()->second;
        Controller& c = s->controllers[p.controller];
        memcpy(c.ip, p.addresses, IPV4_LEN);
        memcpy(c.gateway, p.addresses + static_cast<size_t>(IPV4_LEN), IPV4_LEN);
        memcpy(c.mask, p.addresses + 2 * static_cast<size_t>(IPV4_LEN), IPV4_LEN);
        s->settings.erase(s->settings.begin());
    }
}

void sendDue(StandIn* s)
{
    applyDue(s);
    int64_t now = monotonicNs();
    while (!s->pending.empty() && s->pending.begin()->first <= now) {
        sendOne(s, s->pending.begin()->second);
        s->pending.erase(s->pending.begin());
    }
}

void onRequest(StandIn* s, const sockaddr_in& src)
{
    int64_t now = monotonicNs();
    for (size_t k = 0; k < s->controllers.size(); ++k) {
        const Controller& c = s->controllers[k];
        int64_t due = now + static_cast<int64_t>(c.delayMs) * NS_PER_MS;
        for (unsigned long r = 0; r < c.repeat; ++r) {
            s->pending.emplace(due + static_cast<int64_t>(r * c.everyMs) * NS_PER_MS, Pending{k, src});
        }
    }
}

void onSetting(StandIn* s, const unsigned char* message)
{
    int64_t now = monotonicNs();
    for (size_t k = 0; k < s->controllers.size(); ++k) {
        const Controller& c = s->controllers[k];
        if (memcmp(c.mac, message + SET_MAC, MAC_LEN) != 0 || c.ignoreSettings) {
            continue;
        }
        PendingSetting p;
        p.controller = k;
        memcpy(p.addresses, message + SET_IP, sizeof p.addresses);   // ip, gateway, mask follow each other
        s->settings.emplace(now + static_cast<int64_t>(c.setDelayMs) * NS_PER_MS, p);
    }
    applyDue(s);
}

void handleDatagram(StandIn* s, const sockaddr_in& src, const unsigned char* data, size_t length)
{
    if (s->log != nullptr) {
        logDatagram(s->log, src, data, length);
    }
    if (length < static_cast<size_t>(HDR_LEN) || memcmp(data + HDR_PROTOCOL_ID, PROTOCOL_ID, PROTOCOL_ID_LEN) != 0) {
        return;
    }
    if (isType(data + HDR_TYPE, TYPE_REQUEST)) {
        onRequest(s, src);
    } else if (isType(data + HDR_TYPE, TYPE_SETTING) && length >= static_cast<size_t>(SETTING_LEN)) {
        onSetting(s, data);
    }
}

void drainSocket(StandIn* s, std::vector<unsigned char>* buffer)
{
    for (int i = 0; i < DRAIN_BATCH; ++i) {
        sockaddr_in src;
        socklen_t srcLen = sizeof src;
        memset(&src, 0, sizeof src);
        ssize_t n = recvfrom(s->fd, buffer->data(), buffer->size(), MSG_DONTWAIT | MSG_TRUNC,
                             reinterpret_cast<sockaddr*>(&src), &srcLen);
        if (n < 0) {
            if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
                fprintf(stderr, "%s: receive failed: %s\n", PROGRAM, strerror(errno));
            }
            return;
        }
        size_t length = static_cast<size_t>(n) < buffer->size() ? static_cast<size_t>(n) : buffer->size();
        handleDatagram(s, src, buffer->data(), length);
    }
}

int openGroupSocket(const std::vector<in_addr>& interfaces)
{
    int fd = socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0) {
        fprintf(stderr, "%s: socket: %s\n", PROGRAM, strerror(errno));
        return -1;
    }
    int size = RECV_BUF_BYTES;
    if (setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &size, sizeof size) != 0) {
        setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    }
    size = SEND_BUF_BYTES;
    if (setsockopt(fd, SOL_SOCKET, SO_SNDBUFFORCE, &size, sizeof size) != 0) {
        setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
    }

    // Bound to the group address itself, so a tool bound to a local address on the same port
    // does not clash with it.
    sockaddr_in local;
    memset(&local, 0, sizeof local);
    local.sin_family = AF_INET;
    local.sin_port = htons(SCAN_PORT);
    inet_pton(AF_INET, SCAN_GROUP, &local.sin_addr);
    if (bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        fprintf(stderr, "%s: bind %s:%u: %s\n", PROGRAM, SCAN_GROUP, SCAN_PORT, strerror(errno));
        close(fd);
        return -1;
    }
    for (const in_addr& interfaceAddr : interfaces) {
        ip_mreq join;
        memset(&join, 0, sizeof join);
        join.imr_multiaddr = local.sin_addr;
        join.imr_interface = interfaceAddr;
        if (setsockopt(fd, IPPROTO_IP, IP_ADD_MEMBERSHIP, &join, sizeof join) != 0) {
            char ip[INET_ADDRSTRLEN];
            inet_ntop(AF_INET, &interfaceAddr, ip, sizeof ip);
            fprintf(stderr, "%s: join %s on %s: %s\n", PROGRAM, SCAN_GROUP, ip, strerror(errno));
            close(fd);
            return -1;
        }
    }
    return fd;
}

struct Options {
    std::vector<in_addr> interfaces;
    std::vector<Controller> controllers;
    std::string logPath;
    double lifetimeS = DEFAULT_LIFETIME_S;
};

void addController(Options* o, const std::string& keys)
{
    unsigned long k = o->controllers.size();
    if (k >= MAX_CONTROLLERS) {
        fail("at most %lu controllers", MAX_CONTROLLERS);
    }
    Controller c = defaultController(k);
    applyKeys(&c, keys, k);
    o->controllers.push_back(c);
}

Options parseArguments(int argc, char** argv)
{
    Options o;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            printUsage(stdout);
            exit(0);
        }
        std::string value;
        size_t eq = arg.find('=');
        if (arg.compare(0, 2, "--") == 0 && eq != std::string::npos) {
            value = arg.substr(eq + 1);
            arg.resize(eq);
        } else if (arg == "--interface" || arg == "--controller" || arg == "--many" || arg == "--log" ||
                   arg == "--lifetime") {
            if (i + 1 >= argc) {
                fail("%s needs a value", arg.c_str());
            }
            value = argv[++i];
        } else {
            printUsage(stderr);
            exit(EXIT_USAGE);
        }

        if (arg == "--interface") {
            in_addr address;
            if (inet_pton(AF_INET, value.c_str(), &address) != 1) {
                fail("bad --interface address '%s'", value.c_str());
            }
            o.interfaces.push_back(address);
        } else if (arg == "--controller") {
            addController(&o, value);
        } else if (arg == "--many") {
            unsigned long n;
            if (!parseUnsigned(value, DEC_BASE, MAX_CONTROLLERS, &n)) {
                fail("bad --many count '%s' (0..%lu)", value.c_str(), MAX_CONTROLLERS);
            }
            for (unsigned long j = 0; j < n; ++j) {
                addController(&o, "");
            }
        } else if (arg == "--log") {
            if (value.empty()) {
                fail("--log needs a file name");
            }
            o.logPath = value;
        } else if (arg == "--lifetime") {
            char* end = nullptr;
            double seconds = strtod(value.c_str(), &end);
            if (value.empty() || *end != '\0' || !std::isfinite(seconds) || seconds < 0 || seconds > MAX_LIFETIME_S) {
                fail("bad --lifetime '%s' (0..%g seconds)", value.c_str(), MAX_LIFETIME_S);
            }
            o.lifetimeS = seconds;
        } else {
            printUsage(stderr);
            exit(EXIT_USAGE);
        }
    }
    if (o.interfaces.empty()) {
        in_addr address;
        inet_pton(AF_INET, DEFAULT_INTERFACE, &address);
        o.interfaces.push_back(address);
    }
    return o;
}

}   // namespace

int main(int argc, char** argv)
{
    Options options = parseArguments(argc, argv);

    char why[256];
    if (!inPrivateNetns(why, sizeof why)) {
        fprintf(stderr, "%s: refusing to start: %s\n", PROGRAM, why);
        return EXIT_USAGE;
    }

    StandIn s;
    s.controllers.swap(options.controllers);
    if (!options.logPath.empty()) {
        s.log = fopen(options.logPath.c_str(), "a");
        if (s.log == nullptr) {
            fail("can't open log %s: %s", options.logPath.c_str(), strerror(errno));
        }
    }

    // Stop signals stay blocked except while waiting in ppoll, so none is missed.
    sigset_t stopSignals;
    sigset_t waitMask;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    sigprocmask(SIG_BLOCK, &stopSignals, &waitMask);
    sigdelset(&waitMask, SIGTERM);
    sigdelset(&waitMask, SIGINT);
    struct sigaction action;
    memset(&action, 0, sizeof action);
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);

    s.fd = openGroupSocket(options.interfaces);
    if (s.fd < 0) {
        if (s.log != nullptr) {
            fclose(s.log);
        }
        return 1;
    }
    fputs("ready\n", stdout);
    fflush(stdout);

    int64_t deadline = monotonicNs() + static_cast<int64_t>(llround(options.lifetimeS * NS_PER_S));
    std::vector<unsigned char> buffer(MAX_DATAGRAM);
    while (stopRequested == 0) {
        sendDue(&s);
        int64_t now = monotonicNs();
        if (now >= deadline) {
            break;
        }
        int64_t wakeAt = deadline;
        if (!s.pending.empty() && s.pending.begin()->first < wakeAt) {
            wakeAt = s.pending.begin()->first;
        }
        if (!s.settings.empty() && s.settings.begin()->first < wakeAt) {
            wakeAt = s.settings.begin()->first;
        }
        int64_t wait = wakeAt > now ? wakeAt - now : 0;
        timespec timeout = {static_cast<time_t>(wait / NS_PER_S), static_cast<long>(wait % NS_PER_S)};
        pollfd pfd = {s.fd, POLLIN, 0};
        int ready = ppoll(&pfd, 1, &timeout, &waitMask);
        if (ready < 0) {
            if (errno != EINTR) {
                fprintf(stderr, "%s: poll: %s\n", PROGRAM, strerror(errno));
                break;
            }
            continue;
        }
        if (ready > 0 && (pfd.revents & POLLIN) != 0) {
            drainSocket(&s, &buffer);
        }
    }

    close(s.fd);
    if (s.log != nullptr) {
        fclose(s.log);
    }
    printf("sent %llu last_send_ns %lld\n", s.sent, static_cast<long long>(s.lastSendNs));
    fflush(stdout);
    return 0;
}
