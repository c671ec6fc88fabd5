#pragma once

#include "WaitClock.h"

#include <QtGlobal>

#include <atomic>
#include <chrono>
#include <limits>
#include <thread>

class CAct;
class CPropBase;

// The area's play thread and the four operations that drive it. The thread plays the current
// item, advances through the playlist and loops until Stop; Pause closes a gate that the thread
// passes at every wait and before every drawing unit, so it never stops holding a section mutex.
class PlayLoop
{
public:
    explicit PlayLoop(CAct& area) : m_area(area) {}
    PlayLoop(const PlayLoop&) = delete;
    PlayLoop& operator=(const PlayLoop&) = delete;
    ~PlayLoop() { Stop(); }

    void Play();
    void Pause();
    // Ends the play thread and waits for it; returns at once when there is none.
    void Stop();
    // Tells the play thread to end and waits at most `timeout` for it: the Stop button never
    // hangs. False when the thread is still busy (a long decode, say): it ends by itself, and
    // the next Play or Stop waits for it.
    bool StopWithin(std::chrono::milliseconds timeout);
    // Tells the play thread to end without waiting (Stop and StopWithin then wait for it), so
    // that several loops end together.
    void tellStop()
    {
        if (m_thread.joinable() && !m_stopPending)
            signalStop();
    }
    void SetCurrent(CPropBase* item, bool keep);

    bool hasThread() const { return m_thread.joinable(); }
    // GUI thread: a StopWithin that timed out, whose thread has not been waited for yet.
    bool stopPending() const { return m_stopPending; }

    // On the play thread. Waits on the stop event until the deadline; true when stopped. A
    // pause freezes the wait and moves the deadline on by the time paused, so that paced
    // drawing resumes at its own speed instead of catching up.
    bool waitStopUntil(WaitClock::TimePoint& deadline);
    // On the play thread: blocks while paused; true when stopped.
    bool passGate();

    // Whether the play thread makes progress: it waits for a deadline that is not `grace` past,
    // waits to be told to play, or passed its gate less than `grace` ago. True without a thread.
    bool progressing(std::chrono::nanoseconds grace) const;

private:
    // Where the play thread stands, in nanoseconds of the area's clock.
    static constexpr qint64 kForever = std::numeric_limits<qint64>::max();
    void markWaiting(qint64 untilNs) { m_waitingUntilNs.store(untilNs); }
    void markBusy();
    std::atomic<qint64> m_busySinceNs{0};
    std::atomic<qint64> m_waitingUntilNs{kForever};

    void signalStop();
    // GUI thread only: a stop that did not wait for the thread's end.
    bool m_stopPending = false;
    void finishStop();
    void threadProc();
    void PlayCurrent();
    // True when the current item is outside its schedule (and was passed over).
    bool passOver(const CPropBase& item);
    void showBackground();
    void Advance();
    void setGate(bool closed);

    CAct& m_area;
    std::thread m_thread;
    bool m_gateClosed = false; // under the hub's mutex
};
