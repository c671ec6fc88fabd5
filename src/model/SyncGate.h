#pragma once

#include "WaitClock.h"

class CAct;

// What a play thread is about to show: the n-th entry (a page, a picture, a marquee's start)
// since item `item` of zone `zone` began, and its effect.
struct SyncStep
{
    int zone = 0;
    int item = 0;
    int step = 0;
    int effect = 0;
};

// Where the walls of a sync group meet: a play thread asks here before every entry, and starts it
// at the moment the gate gives (the same moment on every wall of the group).
class SyncGate
{
public:
    enum class Entry
    {
        Go,     // start at `at` (with `step.effect`)
        Stop,   // the area was told to stop meanwhile
        Switch, // the group plays item `step.item` now: this item ends
    };
    virtual ~SyncGate() = default;
    // On the play thread; `at` comes in as now. Waits (on the area's stop event) until the
    // entry's moment, or returns at once when the wall plays alone.
    virtual Entry enter(CAct& area, SyncStep& step, WaitClock::TimePoint& at) = 0;
};
