#include "WaitClock.h"

WaitClock::TimePoint FastForwardClock::now()
{
    std::lock_guard lock(m_mutex);
    return m_now;
}

void FastForwardClock::waitUntil(std::condition_variable&, std::unique_lock<std::mutex>&,
                                 TimePoint deadline)
{
    std::lock_guard lock(m_mutex);
    if (deadline > m_now)
        m_now = deadline;
}

SteadyWaitClock& SteadyWaitClock::instance()
{
    static SteadyWaitClock clock;
    return clock;
}
