#pragma once

#include <QAbstractEventDispatcher>

// The event dispatcher of a thread that runs no event loop. Qt's text layout starts timers of its
// own (a layout in steps, a size report) on the thread that lays out; a thread Qt did not start
// has no dispatcher, and each start is a warning on standard error. Timers registered here never
// fire: the pages lay out what they show themselves, and nobody waits for the size report.
class IdleEventDispatcher final : public QAbstractEventDispatcher
{
public:
    using QAbstractEventDispatcher::QAbstractEventDispatcher;

    bool processEvents(QEventLoop::ProcessEventsFlags) override { return false; }
    void registerSocketNotifier(QSocketNotifier*) override {}
    void unregisterSocketNotifier(QSocketNotifier*) override {}
    void registerTimer(int, qint64, Qt::TimerType, QObject*) override {}
    bool unregisterTimer(int) override { return true; }
    bool unregisterTimers(QObject*) override { return true; }
    QList<TimerInfo> registeredTimers(QObject*) const override { return {}; }
    int remainingTime(int) override { return -1; }
    void wakeUp() override {}
    void interrupt() override {}
};
