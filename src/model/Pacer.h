#pragma once

#include "WaitClock.h"

class CAct;

// Waits of a paced drawing, on the area's stop event, scheduled on absolute deadlines: each
// wait ends at the previous deadline plus its length, so that the overshoot of one wait does not
// add up over hundreds of steps. A pause moves the schedule on by the time paused.
class Pacer
{
public:
    explicit Pacer(CAct& area);
    // A drawing that starts at `start` (a sync group's moment, which may have passed).
    Pacer(CAct& area, WaitClock::TimePoint start) : m_area(area), m_deadline(start) {}

    // Waits `ms` milliseconds past the previous deadline; true when stopped.
    bool wait(int ms);
    // True when stopped; blocks while paused. Called before every drawing unit.
    bool gate();
    // The deadline of the last wait (the start before the first).
    WaitClock::TimePoint deadline() const { return m_deadline; }

private:
    CAct& m_area;
    WaitClock::TimePoint m_deadline;
};
