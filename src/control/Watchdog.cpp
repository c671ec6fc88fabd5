#include "Watchdog.h"
#include "ControlLog.h"

#include "model/CAct.h"

#include <systemd/sd-daemon.h>

#include <cstdio>

Watchdog::Watchdog(const CAct& area, QObject* parent) : QObject(parent), m_area(area)
{
    bool ok = false;
    const qint64 usec = qEnvironmentVariable("WATCHDOG_USEC").toLongLong(&ok);
    m_timer.setInterval(ok && usec > 0 ? int(std::max<qint64>(100, usec / 3000)) : 5000);
    connect(&m_timer, &QTimer::timeout, this, &Watchdog::beat);
}

bool Watchdog::start()
{
    if (qEnvironmentVariableIsEmpty("NOTIFY_SOCKET"))
        return false;
    if (sd_notify(0, "READY=1") <= 0)
        return false;
    m_timer.start();
    return true;
}

bool Watchdog::healthy() const
{
    return m_area.playProgressing(kStuckAfter);
}

void Watchdog::beat()
{
    if (healthy()) {
        sd_notify(0, "WATCHDOG=1");
        return;
    }
    // Said once a beat it skips, so that the journal tells why the service was restarted.
    qCWarning(lcControl, "the play thread is stuck; no watchdog heartbeat");
}
