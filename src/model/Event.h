#pragma once

#include <chrono>
#include <condition_variable>
#include <initializer_list>
#include <mutex>

class WaitClock;

// The lock and wake-up that a group of events share, so that one thread can wait for any of them
// (and for the pause gate) at once.
class EventHub
{
public:
    explicit EventHub(WaitClock& clock) : m_clock(&clock) {}

    std::mutex mutex;
    std::condition_variable changed;

    WaitClock& clock() const { return *m_clock; }
    void setClock(WaitClock& clock) { m_clock = &clock; }

private:
    WaitClock* m_clock;
};

// A signal that stays set until reset (manual reset) or until one waiter takes it (auto reset).
class Event
{
public:
    enum class Reset
    {
        Manual,
        Auto,
    };
    using TimePoint = std::chrono::steady_clock::time_point;

    Event(EventHub& hub, Reset reset) : m_hub(hub), m_reset(reset) {}
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    void set();
    void reset();
    bool isSet() const;
    // Waits without a time limit; takes the signal of an auto-reset event.
    void wait();
    // Waits at most `timeout` of real time (not the hub's clock); false when it ran out.
    bool waitFor(std::chrono::milliseconds timeout);

    // With the hub's mutex held: whether it is set, taking an auto-reset signal.
    bool takeLocked();
    bool isSetLocked() const { return m_set; }
    void setLocked() { m_set = true; }

    EventHub& hub() const { return m_hub; }

private:
    EventHub& m_hub;
    const Reset m_reset;
    bool m_set = false;
};

// Waits without a time limit until one of the events (all of one hub) is set; returns the index
// of the first set one in the order given, which is their priority.
int waitAny(std::initializer_list<Event*> events);
