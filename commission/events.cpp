#include "commission/events.h"

#include <cstring>

Event eventOf(EventKind kind)
{
    Event e;
    memset(&e, 0, sizeof e);
    e.kind = kind;
    return e;
}

bool isProgress(EventKind kind)
{
    return kind == EVENT_SCAN_WAIT || kind == EVENT_PLANNED_WAIT || kind == EVENT_VERIFY_WAIT;
}
