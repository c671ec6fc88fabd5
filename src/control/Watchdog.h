#pragma once

#include <QObject>
#include <QTimer>

#include <chrono>

class CAct;

// The systemd service manager's watchdog (Type=notify): READY=1 once the windows show, then
// WATCHDOG=1 every few seconds, but only while the GUI thread (this timer fires) and the play
// thread (it makes progress) are both alive. A play thread stuck in one drawing unit or wait more
// than ten seconds past its deadline stops the heartbeat, and the service manager restarts us.
// Without $NOTIFY_SOCKET (not started by systemd) it does nothing.
class Watchdog final : public QObject
{
    Q_OBJECT

public:
    explicit Watchdog(const CAct& area, QObject* parent = nullptr);

    static constexpr std::chrono::seconds kStuckAfter{10};

    // READY=1 and the heartbeats; false when no service manager listens.
    bool start();
    // A third of $WATCHDOG_USEC, 5 s when it is not set; tests set their own.
    void setIntervalMs(int ms) { m_timer.setInterval(ms); }
    int intervalMs() const { return m_timer.interval(); }
    bool healthy() const;

private:
    void beat();

    const CAct& m_area;
    QTimer m_timer;
};
