#include "tools/standin/responder.h"

#include <arpa/inet.h>

#include <cerrno>
#include <cstring>

#include "protocol/messages.h"
#include "tools/standin/group_socket.h"

namespace {

const int DRAIN_BATCH = 256;   // datagrams read per wake-up before sending again
const int64_t NS_PER_MS = 1000000;

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
    encodeResponse(c, s->response);
    int err = sendFrom(s->fd, c.from, c.behind, p.dest, s->response, c.size, &s->lastSendNs);
    if (err == 0) {
        ++s->sent;
        return;
    }
    char from[INET_ADDRSTRLEN];
    char to[INET_ADDRSTRLEN];
    inet_ntop(AF_INET, &c.from, from, sizeof from);
    inet_ntop(AF_INET, &p.dest.sin_addr, to, sizeof to);
    fprintf(stderr, "%s: controller %zu: send from %s to %s:%u failed: %s\n", PROGRAM, p.controller, from, to,
            ntohs(p.dest.sin_port), strerror(err));
}

unsigned long msSinceStart(const StandIn& s, int64_t now)
{
    return now > s.startNs ? static_cast<unsigned long>((now - s.startNs) / NS_PER_MS) : 0;
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

// Every loss is drawn here, as the datagram arrives, in the order of the controllers: a
// controller's draws depend only on the datagrams it meets, not on when its answers go out. A
// controller that is off (start=, silent=) meets none.
void onRequest(StandIn* s, const sockaddr_in& src, unsigned arrivedOn)
{
    int64_t now = monotonicNs();
    for (size_t k = 0; k < s->controllers.size(); ++k) {
        Controller& c = s->controllers[k];
        if (c.behind != 0 && c.behind != arrivedOn) {   // on another link: never heard
            continue;
        }
        if (hearRequest(&c, msSinceStart(*s, now))) {   // off
            continue;
        }
        if (loses(&c)) {   // lost on the way in
            continue;
        }
        int64_t due = now + static_cast<int64_t>(c.delayMs) * NS_PER_MS;
        for (unsigned long r = 0; r < c.repeat; ++r) {
            if (!loses(&c)) {   // else lost on the way out
                s->pending.emplace(due + static_cast<int64_t>(r * c.everyMs) * NS_PER_MS, Pending{k, src});
            }
        }
    }
}

void onSetting(StandIn* s, const unsigned char* message, unsigned arrivedOn)
{
    int64_t now = monotonicNs();
    for (size_t k = 0; k < s->controllers.size(); ++k) {
        Controller& c = s->controllers[k];
        if ((c.behind != 0 && c.behind != arrivedOn) || memcmp(c.mac, message + SET_MAC, MAC_LEN) != 0 ||
            isOff(c, msSinceStart(*s, now)) || loses(&c) || c.ignoreSettings) {
            continue;
        }
        PendingSetting p;
        p.controller = k;
        memcpy(p.addresses, message + SET_IP, sizeof p.addresses);   // ip, gateway, mask follow each other
        s->settings.emplace(now + static_cast<int64_t>(c.setDelayMs) * NS_PER_MS, p);
    }
    applyDue(s);
}

void handleDatagram(StandIn* s, const sockaddr_in& src, unsigned arrivedOn, const unsigned char* data, size_t length)
{
    if (s->log != nullptr) {   // what reached the socket, before any loss
        logDatagram(s->log, src, data, length);
    }
    if (length < static_cast<size_t>(HDR_LEN) || memcmp(data + HDR_PROTOCOL_ID, PROTOCOL_ID, PROTOCOL_ID_LEN) != 0) {
        return;
    }
    if (isType(data + HDR_TYPE, TYPE_REQUEST)) {
        onRequest(s, src, arrivedOn);
    } else if (isType(data + HDR_TYPE, TYPE_SETTING) && length >= static_cast<size_t>(SETTING_LEN)) {
        onSetting(s, data, arrivedOn);
    }
}

}   // namespace

void sendDue(StandIn* s)
{
    applyDue(s);
    int64_t now = monotonicNs();
    while (!s->pending.empty() && s->pending.begin()->first <= now) {
        sendOne(s, s->pending.begin()->second);
        s->pending.erase(s->pending.begin());
    }
}

void drainSocket(StandIn* s, std::vector<unsigned char>* buffer)
{
    for (int i = 0; i < DRAIN_BATCH; ++i) {
        sockaddr_in src;
        unsigned arrivedOn = 0;
        long length = receiveDatagram(s->fd, buffer->data(), buffer->size(), &src, &arrivedOn);
        if (length < 0) {
            if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
                fprintf(stderr, "%s: receive failed: %s\n", PROGRAM, strerror(errno));
            }
            return;
        }
        handleDatagram(s, src, arrivedOn, buffer->data(), static_cast<size_t>(length));
    }
}

int64_t nextWake(const StandIn& s, int64_t deadline)
{
    int64_t wakeAt = deadline;
    if (!s.pending.empty() && s.pending.begin()->first < wakeAt) {
        wakeAt = s.pending.begin()->first;
    }
    if (!s.settings.empty() && s.settings.begin()->first < wakeAt) {
        wakeAt = s.settings.begin()->first;
    }
    return wakeAt;
}
