#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

// The monotonic clock that playback waits on. Tests put a virtual clock in its place to record
// the exact sequence of waits without sleeping.
class WaitClock
{
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    virtual ~WaitClock() = default;
    virtual TimePoint now() = 0;
    // Blocks on the condition until it is notified or the deadline passes; the caller holds the
    // lock and checks its own conditions again afterwards.
    virtual void waitUntil(std::condition_variable& cv, std::unique_lock<std::mutex>& lock,
                           TimePoint deadline) = 0;
};

class SteadyWaitClock final : public WaitClock
{
public:
    TimePoint now() override { return std::chrono::steady_clock::now(); }
    void waitUntil(std::condition_variable& cv, std::unique_lock<std::mutex>& lock,
                   TimePoint deadline) override
    {
        cv.wait_until(lock, deadline);
    }

    // The clock every area uses unless told otherwise.
    static SteadyWaitClock& instance();
};

// A clock on which every wait is over at once: time jumps to the deadline. For rendering a
// playlist as fast as the machine allows.
class FastForwardClock final : public WaitClock
{
public:
    TimePoint now() override;
    void waitUntil(std::condition_variable& cv, std::unique_lock<std::mutex>& lock,
                   TimePoint deadline) override;

private:
    std::mutex m_mutex;
    TimePoint m_now{};
};
