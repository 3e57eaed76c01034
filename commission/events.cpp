#include "commission/events.h"

Event eventOf(EventKind kind)
{
    Event e = Event();   // every value zero
    e.kind = kind;
    return e;
}

bool isProgress(EventKind kind)
{
    return kind == EVENT_SCAN_WAIT || kind == EVENT_PLANNED_WAIT || kind == EVENT_VERIFY_WAIT;
}

bool isRowState(EventKind kind)
{
    return kind == EVENT_ROW_STATE || kind == EVENT_ROW_SENDING;
}
