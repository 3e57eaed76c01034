// What the engine tells its front end on the way: events, each a kind and the values it names.
// The progress kinds come only while a wait lasts and only when asked for (progressEvery): they
// carry what a status line shows, and nothing else depends on them.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "platform/platform.h"
#include "protocol/messages.h"

// Where one planned controller stands.
enum OutcomeState {
    OUTCOME_VERIFIED,        // sent, and the controller reports the target
    OUTCOME_UNCHANGED,       // already at the target; nothing sent
    OUTCOME_NOT_FOUND,       // no answer from this MAC; nothing sent
    OUTCOME_NOT_CONFIRMED,   // sent, but the target was not reported in time
    OUTCOME_SENT,            // sent, not verified (--no-verify)
    OUTCOME_WOULD_SEND,      // --dry-run
    OUTCOME_CONFLICT,        // its MAC answered from two or more senders; nothing sent
    OUTCOME_INTERRUPTED,     // to be sent, but the run stopped (a signal, a failed send) before it
    // sent, and then, while verifying, its MAC answered from a second sender: the setting may
    // have reached two devices
    OUTCOME_CONFLICT_AFTER_SENDING,
};

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
    // A plan row's state as the engine decided it (row, mac, state): before the first setting
    // goes out for the rows not sent to, while verifying when a row is verified or a second
    // sender is heard, and at the end for every row whose state changed since.
    EVENT_ROW_STATE,
    EVENT_ROW_SENDING,    // row, mac: its setting is about to go out
    EVENT_UNDO_WRITTEN,   // text: the undo file, written before the first setting
};

struct Event {
    EventKind kind;
    LocalInterface local;
    unsigned char mac[MAC_LEN];
    long count;
    long other;
    double seconds;
    size_t row;           // the plan row, from 0
    OutcomeState state;   //
    std::string text;     //
};

typedef std::function<void(const Event&)> EventSink;

// An event of this kind, its values zero.
Event eventOf(EventKind kind);

// True for the progress kinds.
bool isProgress(EventKind kind);

// True for the kinds that tell one plan row's state.
bool isRowState(EventKind kind);
