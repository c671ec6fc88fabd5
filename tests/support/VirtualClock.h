#pragma once

#include "model/WaitClock.h"

#include <functional>
#include <mutex>
#include <vector>

// A clock whose waits take no time: each wait is recorded (its length in milliseconds) and time
// jumps to its deadline.
class VirtualClock final : public WaitClock
{
public:
    TimePoint now() override
    {
        std::lock_guard lock(m_mutex);
        return m_now;
    }

    void waitUntil(std::condition_variable&, std::unique_lock<std::mutex>&,
                   TimePoint deadline) override
    {
        {
            std::lock_guard lock(m_mutex);
            if (deadline <= m_now)
                return;
            m_waitsMs.push_back(
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - m_now).count());
            m_now = deadline;
        }
        if (onWait)
            onWait();
    }

    // Called after each wait, on the waiting thread, with the event hub's mutex held: it may look
    // at the sections or set an event with setLocked(), nothing that takes the hub's lock.
    std::function<void()> onWait;

    // Time passing outside any wait (a pause, say).
    void advance(std::chrono::milliseconds ms)
    {
        std::lock_guard lock(m_mutex);
        m_now += ms;
    }

    std::vector<long long> waitsMs() const
    {
        std::lock_guard lock(m_mutex);
        return m_waitsMs;
    }

private:
    mutable std::mutex m_mutex;
    TimePoint m_now{};
    std::vector<long long> m_waitsMs;
};
