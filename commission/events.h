// What the engine tells its front end on the way: events, each a kind and the values it names.
// The progress kinds come only while a wait lasts and only when asked for (progressEvery): they
// carry what a status line shows, and nothing else depends on them.
#pragma once

#include <functional>

#include "platform/platform.h"
#include "protocol/messages.h"

enum EventKind {
    EVENT_SCANNING,       // local: the scan goes out from this address
    EVENT_SMALL_BUFFER,   // local: its receive buffer could not be enlarged
    EVENT_MAX_TIME,       // seconds: answers kept coming until --max-time
    EVENT_IGNORED,        // count: datagrams that are no response; other: of them too long
    EVENT_SCANNED,        // count: controllers; other: answers
    EVENT_NOT_FOUND,      // mac: a planned controller that did not answer
    EVENT_SENT,           // count: settings sent
    EVENT_SCAN_WAIT,      // progress: count controllers found; seconds of quiet left
    EVENT_PLANNED_WAIT,   // progress: count planned controllers found, of other
    EVENT_VERIFY_WAIT,    // progress: count confirmed, of other; seconds of verification left
};

struct Event {
    EventKind kind;
    LocalInterface local;
    unsigned char mac[MAC_LEN];
    long count;
    long other;
    double seconds;
};

typedef std::function<void(const Event&)> EventSink;

// An event of this kind, its values zero.
Event eventOf(EventKind kind);

// True for the progress kinds.
bool isProgress(EventKind kind);
