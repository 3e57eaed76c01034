// A network in memory for the engine's tests: simulated controllers behind links, a clock that
// moves only when the engine waits, and a record of every message sent.
#pragma once

#include <cstring>
#include <deque>
#include <vector>

#include "commission/wire.h"
#include "protocol/decode.h"
#include "support/response.h"

struct FakeController {
    Response r;   // what it reports
    unsigned char from[IPV4_LEN] = {127, 0, 0, 2};
    size_t link = 0;       // the link it hears and answers on
    double delay = 0.01;   // its answer's delay
    int repeats = 1;       // answers to each request
    bool ignoreSettings = false;
    double settingDelay = 0;         // a setting takes effect this much later
    bool answersFromNewIp = false;   // once set, it answers from its new IP
    int losesSettings = 0;           // this many settings to it are lost on the way
    int losesAnswers = 0;            // its answers to this many requests are lost on the way
    int silentFrom = 0;              // > 0: it answers none of its requests from this one (from 1)...
    int silentTo = 0;                // ...to this one
    int requests = 0;                // requests it heard
};

// The k-th controller (from 1): MAC 00:1a:2b:3c:00:k, 192.168.1.20/24, gateway 192.168.1.1.
inline FakeController fakeController(int k)
{
    FakeController c;
    unsigned char buf[RESPONSE_LEN];
    makeResponse(buf);
    decodeResponse(buf, RESPONSE_LEN, RESPONSE_LEN, &c.r);
    const unsigned char mac[MAC_LEN] = {0x00, 0x1a, 0x2b, 0x3c, 0x00, (unsigned char)k};
    memcpy(c.r.mac, mac, MAC_LEN);
    c.from[3] = (unsigned char)(1 + k);
    return c;
}

struct FakeNet {
    struct Arrival {
        double at;
        size_t link;
        unsigned char bytes[RECV_LEN];
        int length;
        unsigned char sender[IPV4_LEN];
    };
    struct Sent {
        double at;
        size_t link;
        std::vector<unsigned char> bytes;
    };
    struct Change {
        double at;
        size_t controller;
        Setting setting;
    };

    double clock = 0;
    std::vector<FakeController> controllers;
    std::vector<Sent> sent;
    std::deque<Arrival> queue;     // in order of arrival
    std::vector<Change> changes;   // settings waiting to take effect
    size_t links = 1;
    int sendError = 0;              // a send fails with this error number when not 0
    int settingsBeforeError = -1;   // >= 0: only settings fail, once this many went out
    long flood = 0;                 // > 0: a new MAC is always waiting; the count taken so far
    double floodCost = 2e-6;        // seconds each flooded datagram takes
    double interruptAt = -1;        // >= 0: the first receive from this time on is cut short by a signal
    bool signalStops = true;        // and that signal asks the run to stop
    bool stopAsked = false;

    void arrive(double at, size_t link, const unsigned char* bytes, int length, const unsigned char* sender)
    {
        Arrival a;
        a.at = at;
        a.link = link;
        memset(a.bytes, 0, sizeof a.bytes);
        memcpy(a.bytes, bytes, (size_t)length);
        a.length = length;
        memcpy(a.sender, sender, IPV4_LEN);
        size_t i = queue.size();
        while (i > 0 && queue[i - 1].at > at) {
            --i;
        }
        queue.insert(queue.begin() + (long)i, a);
    }

    void takeEffect()
    {
        for (size_t i = 0; i < changes.size();) {
            if (changes[i].at <= clock) {
                Response& r = controllers[changes[i].controller].r;
                memcpy(r.ip, changes[i].setting.ip, IPV4_LEN);
                memcpy(r.gateway, changes[i].setting.gateway, IPV4_LEN);
                memcpy(r.mask, changes[i].setting.mask, IPV4_LEN);
                if (controllers[changes[i].controller].answersFromNewIp) {
                    memcpy(controllers[changes[i].controller].from, r.ip, IPV4_LEN);
                }
                changes.erase(changes.begin() + (long)i);
            } else {
                ++i;
            }
        }
    }

    void onSend(size_t link, const unsigned char* message, int length)
    {
        sent.push_back({clock, link, std::vector<unsigned char>(message, message + length)});
        for (size_t k = 0; k < controllers.size(); ++k) {
            FakeController& c = controllers[k];
            if (c.link != link) {
                continue;
            }
            if (length == REQUEST_LEN && isType(message + HDR_TYPE, TYPE_REQUEST)) {
                ++c.requests;
                if (c.silentFrom > 0 && c.requests >= c.silentFrom && c.requests <= c.silentTo) {
                    continue;
                }
                if (c.losesAnswers > 0) {
                    --c.losesAnswers;
                    continue;
                }
                for (int n = 0; n < c.repeats; ++n) {
                    unsigned char answer[RESPONSE_LEN];
                    buildResponse(answer, c.r);
                    arrive(clock + c.delay * (n + 1), link, answer, RESPONSE_LEN, c.from);
                }
            } else if (length == SETTING_LEN && isType(message + HDR_TYPE, TYPE_SETTING)) {
                Setting s;
                decodeSetting(message, length, &s);
                bool mine = memcmp(s.mac, c.r.mac, MAC_LEN) == 0;
                if (mine && c.losesSettings > 0) {
                    --c.losesSettings;
                } else if (!c.ignoreSettings && mine) {
                    changes.push_back({clock + c.settingDelay, k, s});
                }
            }
        }
    }

    int wait(double seconds, std::vector<char>* ready)
    {
        ready->assign(links, 0);
        if (flood > 0) {
            (*ready)[0] = 1;
            return 1;
        }
        if (queue.empty() || queue.front().at > clock + seconds) {
            clock += seconds > 1e-9 ? seconds : 1e-9;   // as a real clock, it moves on
            takeEffect();
            return 0;
        }
        clock = queue.front().at > clock ? queue.front().at : clock;
        takeEffect();
        int count = 0;
        for (const Arrival& a : queue) {
            if (a.at <= clock && (*ready)[a.link] == 0) {
                (*ready)[a.link] = 1;
                ++count;
            }
        }
        return count;
    }

    Received receive(size_t link, unsigned char* buffer, int* bytes, unsigned char* sender)
    {
        if (interruptAt >= 0 && clock >= interruptAt) {
            interruptAt = -1;
            stopAsked = signalStops;
            return RECEIVED_INTERRUPTED;
        }
        if (flood > 0) {
            unsigned char answer[RESPONSE_LEN];
            FakeController c = fakeController(1);
            memcpy(c.r.mac + 2, &flood, 4);
            ++flood;
            buildResponse(answer, c.r);
            memcpy(buffer, answer, RESPONSE_LEN);
            *bytes = RESPONSE_LEN;
            memcpy(sender, c.from, IPV4_LEN);
            clock += floodCost;
            return RECEIVED;
        }
        for (size_t i = 0; i < queue.size() && queue[i].at <= clock; ++i) {
            if (queue[i].link == link) {
                memcpy(buffer, queue[i].bytes, RECV_LEN);
                *bytes = queue[i].length;
                memcpy(sender, queue[i].sender, IPV4_LEN);
                queue.erase(queue.begin() + (long)i);
                return RECEIVED;
            }
        }
        return RECEIVED_NONE;
    }

    Wire wire()
    {
        Wire w;
        w.send = [this](size_t link, const unsigned char* message, int length) {
            bool setting = length == SETTING_LEN;
            if (sendError != 0 &&
                (settingsBeforeError < 0 || (setting && settings().size() >= (size_t)settingsBeforeError))) {
                return sendError;
            }
            onSend(link, message, length);
            return 0;
        };
        w.wait = [this](double seconds, std::vector<char>* ready, int*) { return wait(seconds, ready); };
        w.receive = [this](size_t link, unsigned char* buffer, int* bytes, unsigned char* sender, int*) {
            return receive(link, buffer, bytes, sender);
        };
        w.now = [this]() { return clock; };
        w.stop = [this]() { return stopAsked; };
        return w;
    }

    // The settings sent, in order.
    std::vector<Setting> settings() const
    {
        std::vector<Setting> all;
        for (const Sent& s : sent) {
            if (s.bytes.size() == (size_t)SETTING_LEN) {
                Setting one;
                decodeSetting(s.bytes.data(), SETTING_LEN, &one);
                all.push_back(one);
            }
        }
        return all;
    }
};
