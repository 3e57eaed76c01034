#include "tools/standin/controller.h"

#include <arpa/inet.h>
#include <net/if.h>

#include <cstring>
#include <initializer_list>

#include "protocol/address.h"
#include "protocol/decode.h"

namespace {

const unsigned long MAX_DELAY_MS = 3600000;
const unsigned long MAX_REPEAT = 100000;
const unsigned long MAX_REQUEST = 1000000000;   // a moment's request number
const char MS_SUFFIX[] = "ms";
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

// Columns of the key list: the help after the key, the default after the help.
const size_t HELP_COLUMN = 19;
const size_t DEFAULT_COLUMN = 50;
const char KEY_INDENT[] = "  ";

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

// A chance from 0 to 1 as digits with an optional fraction: 0, 1, 0.25, .5; no sign or exponent.
bool parseChance(const std::string& text, double* chance)
{
    size_t digits = 0;
    size_t dots = 0;
    for (char c : text) {
        if (c >= '0' && c <= '9') {
            ++digits;
        } else if (c == '.' && dots == 0) {
            ++dots;
        } else {
            return false;
        }
    }
    if (digits == 0 || text.back() == '.') {
        return false;
    }
    char* end = nullptr;
    double value = strtod(text.c_str(), &end);
    if (*end != '\0' || value > 1) {
        return false;
    }
    *chance = value;
    return true;
}

// A moment: N, the N-th request heard (from 1), or Nms, N milliseconds after the start.
bool parseMoment(const std::string& text, Moment* moment)
{
    const size_t suffix = sizeof MS_SUFFIX - 1;
    moment->inMs = text.size() > suffix && text.compare(text.size() - suffix, suffix, MS_SUFFIX) == 0;
    if (moment->inMs) {
        return parseUnsigned(text.substr(0, text.size() - suffix), DEC_BASE, MAX_DELAY_MS, &moment->value);
    }
    return parseUnsigned(text, DEC_BASE, MAX_REQUEST, &moment->value) && moment->value > 0;
}

// FROM-TO, both requests or both times, TO later than FROM or left out (for ever). Requests are
// counted up to TO, times up to before it: kept as the first moment that is no longer silent.
bool parseSilence(Controller* c, const std::string& text)
{
    size_t dash = text.find('-');
    if (dash == std::string::npos || !parseMoment(text.substr(0, dash), &c->silentFrom)) {
        return false;
    }
    std::string to = text.substr(dash + 1);
    c->silence = true;
    c->silentEnds = !to.empty();
    if (!c->silentEnds) {
        return true;
    }
    if (!parseMoment(to, &c->silentUntil) || c->silentUntil.inMs != c->silentFrom.inMs) {
        return false;
    }
    c->silentUntil.value += c->silentUntil.inMs ? 0 : 1;
    return c->silentUntil.value > c->silentFrom.value;
}

// Whether the moment has come, with this many requests heard, at nowMs.
bool reached(const Moment& m, unsigned long requests, unsigned long nowMs)
{
    return m.inMs ? nowMs >= m.value : requests >= m.value;
}

// ---- the table of keys ----

struct Key {
    const char* name;
    const char* value;      // the value's form, in the key list
    std::string help;       // may be empty
    const char* defaults;   // may be empty; lines after the first go under it
    bool (*parse)(Controller* c, const std::string& value);
};

const std::vector<Key>& keyTable()
{
    using V = const std::string&;
    static const std::vector<Key> table = {
        {"from", "ADDR", "source address of its answers", "127.0.0.2 + k; with behind=,\nthe link's own address",
         [](Controller* c, V v) { return parseAddress(v, reinterpret_cast<unsigned char*>(&c->from)); }},
        {"behind", "NAME", "interface it sits behind", "none: answers on every one",
         [](Controller* c, V v) {
             c->behind = if_nametoindex(v.c_str());
             return c->behind != 0;
         }},
        {"mac", "HH.HH.HH.HH.HH.HH ('.', ':' or '-'; or 12 digits)", "", "02.00.00.00.HI.LO, HI.LO = k + 1",
         [](Controller* c, V v) { return parseMac(v.c_str(), c->mac); }},
        {"ip", "ADDR", "", "192.168.1.(10 + k) for k < 200,\nelse 10.(k>>16).((k>>8)&255).(k&255)",
         [](Controller* c, V v) { return parseAddress(v, c->ip); }},
        {"gw", "ADDR", "", "192.168.1.1", [](Controller* c, V v) { return parseAddress(v, c->gateway); }},
        {"mask", "ADDR", "", "255.255.255.0", [](Controller* c, V v) { return parseAddress(v, c->mask); }},
        {"id", "HHHH", "node identification", "4343",
         [](Controller* c, V v) { return parseHexBytes(v, c->nodeId, NODE_ID_LEN); }},
        {"idtype", "HHHH", "node identification type", "0900",
         [](Controller* c, V v) { return parseHexBytes(v, c->nodeType, NODE_TYPE_LEN); }},
        {"index", "HHHH", "index field", "0000",
         [](Controller* c, V v) { return parseHexBytes(v, c->index, INDEX_LEN); }},
        {"type", "HHHH", "message type bytes", "0101",
         [](Controller* c, V v) { return parseHexBytes(v, c->type, TYPE_LEN); }},
        {"version", "D.D.D.D", "version number", "1.0.0.8",
         [](Controller* c, V v) { return parseVersion(v, c->version); }},
        {"name", "TEXT", "node name (first " + std::to_string(NODE_NAME_LEN) + " bytes)", "Controller-<k + 1>",
         [](Controller* c, V v) {
             c->name = v;
             return true;
         }},
        {"namehex", "HH...", "node name as hex bytes", "",
         [](Controller* c, V v) { return parseNameHex(v, &c->name); }},
        {"size", "N", "datagram length, 0.." + std::to_string(MAX_SIZE), "70",
         [](Controller* c, V v) { return parseUnsigned(v, DEC_BASE, MAX_SIZE, &c->size); }},
        {"delay", "MS", "wait before answering", "0",
         [](Controller* c, V v) { return parseUnsigned(v, DEC_BASE, MAX_DELAY_MS, &c->delayMs); }},
        {"repeat", "N", "answers to each request", "1",
         [](Controller* c, V v) { return parseUnsigned(v, DEC_BASE, MAX_REPEAT, &c->repeat); }},
        {"every", "MS", "time between repeated answers", "0",
         [](Controller* c, V v) { return parseUnsigned(v, DEC_BASE, MAX_DELAY_MS, &c->everyMs); }},
        {"settings", "apply|ignore", "what to do with a setting", "apply",
         [](Controller* c, V v) {
             c->ignoreSettings = v == "ignore";
             return v == "apply" || v == "ignore";
         }},
        {"setdelay", "MS", "a setting takes effect after", "0",
         [](Controller* c, V v) { return parseUnsigned(v, DEC_BASE, MAX_DELAY_MS, &c->setDelayMs); }},
        {"loss", "P", "chance of a lost datagram", "0", [](Controller* c, V v) { return parseChance(v, &c->loss); }},
        {"start", "WHEN", "off before WHEN (late start)", "on at once",
         [](Controller* c, V v) {
             c->lateStart = parseMoment(v, &c->startAt);
             return c->lateStart;
         }},
        {"silent", "FROM-TO", "off from FROM to TO", "never", [](Controller* c, V v) { return parseSilence(c, v); }},
        {"change", "WHEN", "new* values from WHEN on", "never",
         [](Controller* c, V v) {
             c->change.set = parseMoment(v, &c->change.at);
             return c->change.set;
         }},
        {"newip", "ADDR", "IP from change= on", "",
         [](Controller* c, V v) {
             c->change.ip = parseAddress(v, c->change.newIp);
             return c->change.ip;
         }},
        {"newgw", "ADDR", "gateway from change= on", "",
         [](Controller* c, V v) {
             c->change.gateway = parseAddress(v, c->change.newGateway);
             return c->change.gateway;
         }},
        {"newmask", "ADDR", "mask from change= on", "",
         [](Controller* c, V v) {
             c->change.mask = parseAddress(v, c->change.newMask);
             return c->change.mask;
         }},
        {"newname", "TEXT", "node name from change= on", "",
         [](Controller* c, V v) {
             c->change.newName = v;
             c->change.name = true;
             return true;
         }},
    };
    return table;
}

// "controller K: " and the parts, the reason a key is refused.
std::string refusal(unsigned long k, std::initializer_list<const char*> parts)
{
    std::string text = "controller " + std::to_string(k) + ": ";
    for (const char* part : parts) {
        text += part;
    }
    return text;
}

void padTo(std::string* line, size_t column)
{
    line->append(line->size() + 2 > column ? 2 : column - line->size(), ' ');
}

// ---- losses: splitmix64 ----

const uint64_t SPLITMIX_GAMMA = 0x9E3779B97F4A7C15ULL;
const uint64_t SPLITMIX_MUL1 = 0xBF58476D1CE4E5B9ULL;
const uint64_t SPLITMIX_MUL2 = 0x94D049BB133111EBULL;
const int SPLITMIX_SHIFT1 = 30;
const int SPLITMIX_SHIFT2 = 27;
const int SPLITMIX_SHIFT3 = 31;
const int DOUBLE_BITS = 53;   // a draw's bits, the mantissa of a double

uint64_t splitmix64(uint64_t* state)
{
    uint64_t z = (*state += SPLITMIX_GAMMA);
    z = (z ^ (z >> SPLITMIX_SHIFT1)) * SPLITMIX_MUL1;
    z = (z ^ (z >> SPLITMIX_SHIFT2)) * SPLITMIX_MUL2;
    return z ^ (z >> SPLITMIX_SHIFT3);
}

}   // namespace

Controller defaultController(unsigned long k)
{
    Controller c;
    c.from.s_addr = htonl(DEFAULT_FROM_FIRST + static_cast<uint32_t>(k));
    c.behind = 0;

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
    c.loss = 0;
    c.lossState = 0;
    c.lateStart = false;
    c.startAt = Moment{0, false};
    c.silence = false;
    c.silentFrom = Moment{0, false};
    c.silentEnds = false;
    c.silentUntil = Moment{0, false};
    c.change = Change();   // every field zero: no change
    c.requests = 0;
    return c;
}

bool applyKeys(Controller* c, const std::string& keys, unsigned long k, std::string* why)
{
    if (keys.empty()) {
        return true;
    }
    bool fromGiven = false;
    for (const std::string& item : split(keys, ",")) {
        size_t eq = item.find('=');
        if (eq == std::string::npos) {
            *why = refusal(k, {"'", item.c_str(), "' is not key=value"});
            return false;
        }
        std::string name = item.substr(0, eq);
        std::string value = item.substr(eq + 1);
        const Key* key = nullptr;
        for (const Key& candidate : keyTable()) {
            if (name == candidate.name) {
                key = &candidate;
                break;
            }
        }
        if (key == nullptr) {
            *why = refusal(k, {"unknown key '", name.c_str(), "'"});
            return false;
        }
        if (!key->parse(c, value)) {
            *why = refusal(k, {"bad value for ", name.c_str(), ": '", value.c_str(), "'"});
            return false;
        }
        fromGiven = fromGiven || name == "from";
    }
    if (c->behind != 0 && !fromGiven) {
        c->from.s_addr = htonl(INADDR_ANY);   // a loopback source would not leave the link
    }
    return true;
}

void printKeys(FILE* out)
{
    for (const Key& key : keyTable()) {
        std::string line = std::string(KEY_INDENT) + key.name + "=" + key.value;
        if (!key.help.empty()) {
            padTo(&line, sizeof KEY_INDENT - 1 + HELP_COLUMN);
            line += key.help;
        }
        if (key.defaults[0] != '\0') {
            padTo(&line, sizeof KEY_INDENT - 1 + DEFAULT_COLUMN);
            size_t indent = line.size();
            for (const char* p = key.defaults; *p != '\0'; ++p) {
                line += *p;
                if (*p == '\n') {
                    line.append(indent, ' ');
                }
            }
        }
        fprintf(out, "%s\n", line.c_str());
    }
}

void encodeResponse(const Controller& c, unsigned char* buffer)
{
    Response r;
    memset(&r, 0, sizeof r);
    r.bytes = static_cast<long>(c.size);
    memcpy(r.header.protocolId, PROTOCOL_ID, PROTOCOL_ID_LEN);
    r.header.versionMajor = VERSION_MAJOR;
    r.header.versionMinor = VERSION_MINOR;
    memcpy(r.header.type, c.type, TYPE_LEN);
    memcpy(r.index, c.index, INDEX_LEN);
    memcpy(r.mac, c.mac, MAC_LEN);
    memcpy(r.ip, c.ip, IPV4_LEN);
    memcpy(r.gateway, c.gateway, IPV4_LEN);
    memcpy(r.mask, c.mask, IPV4_LEN);
    memcpy(r.nodeId, c.nodeId, NODE_ID_LEN);
    memcpy(r.nodeType, c.nodeType, NODE_TYPE_LEN);
    memcpy(r.version, c.version, VERSION_NUMBER_LEN);
    // The name field is fixed-width and zero-filled: a full-width name has no terminator there.
    memcpy(r.nodeName, c.name.data(), c.name.size() < sizeof r.nodeName - 1 ? c.name.size() : sizeof r.nodeName - 1);

    buildResponse(buffer, r);
    if (c.size > static_cast<unsigned long>(RESPONSE_LEN)) {
        memset(buffer + RESPONSE_LEN, 0, c.size - static_cast<unsigned long>(RESPONSE_LEN));
    }
}

bool hearRequest(Controller* c, unsigned long nowMs)
{
    ++c->requests;
    Change& change = c->change;
    if (change.set && !change.applied && reached(change.at, c->requests, nowMs)) {
        change.applied = true;
        if (change.ip) {
            memcpy(c->ip, change.newIp, IPV4_LEN);
        }
        if (change.gateway) {
            memcpy(c->gateway, change.newGateway, IPV4_LEN);
        }
        if (change.mask) {
            memcpy(c->mask, change.newMask, IPV4_LEN);
        }
        if (change.name) {
            c->name = change.newName;
        }
    }
    return isOff(*c, nowMs);
}

bool isOff(const Controller& c, unsigned long nowMs)
{
    if (c.lateStart && !reached(c.startAt, c.requests, nowMs)) {
        return true;
    }
    return c.silence && reached(c.silentFrom, c.requests, nowMs) &&
           !(c.silentEnds && reached(c.silentUntil, c.requests, nowMs));
}

void seedLosses(std::vector<Controller>* controllers, uint64_t seed)
{
    uint64_t state = seed;
    for (Controller& c : *controllers) {
        c.lossState = splitmix64(&state);
    }
}

bool loses(Controller* c)
{
    if (c->loss <= 0) {
        return false;
    }
    if (c->loss >= 1) {
        return true;
    }
    double draw =
        static_cast<double>(splitmix64(&c->lossState) >> (64 - DOUBLE_BITS)) / static_cast<double>(1ULL << DOUBLE_BITS);
    return draw < c->loss;
}
