#pragma once

#include <QString>

// The calling thread's scheduling raised for paced playback, as far as the system allows: a
// real-time round-robin policy at a low priority where permitted (root, CAP_SYS_NICE, or an
// RLIMIT_RTPRIO the service grants), else the lowest nice value the thread may take
// (RLIMIT_NICE), else as it was. Never fails. Threads the raised thread starts later begin at
// normal priority again (SCHED_RESET_ON_FORK): a decoder or worker started from it does not
// inherit the raise.
namespace ThreadPriority {

enum class Obtained
{
    Unchanged,
    Nice,
    RealTime,
};

struct Result
{
    Obtained obtained = Obtained::Unchanged;
    int value = 0; // the real-time priority or the nice value obtained
    QString describe() const;
};

// The real-time priority asked for: low, above nothing but other real-time threads.
inline constexpr int kRealTimePriority = 5;

// Raises the calling thread. With `allowRealTime` false only the nice value is tried.
Result raiseCurrentThread(bool allowRealTime);
// The play thread: the real-time policy unless the setting [Tessarin] RealtimePlay (default
// on) turns it off, then the nice value only; the result is logged once per process.
Result raiseForPlayback();
// The GUI thread, which copies each step to the screen: the lowest nice value only (it does
// more than presenting, so never real time); logged once.
Result raiseForPresenting();

// While it lives, the calling thread runs at the ordinary policy if it ran real-time, and
// real-time again after: for a play thread's unpaced work (reading, decoding and composing a
// picture, loading a document), which must not hold a core for tens of milliseconds from the GUI
// thread that presents the other zones' steps meanwhile.
class OrdinaryScope
{
public:
    OrdinaryScope();
    ~OrdinaryScope();
    OrdinaryScope(const OrdinaryScope&) = delete;
    OrdinaryScope& operator=(const OrdinaryScope&) = delete;

private:
    int m_policy = -1; // the real-time policy to go back to; -1: none
    int m_priority = 0;
};

} // namespace ThreadPriority
