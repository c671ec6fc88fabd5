#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <sys/types.h>

// The converter as a child process of its own session and process group, started with
// posix_spawn (QProcess of Qt 6.4 leaks a pipe on every start that fails, and a wall retries
// forever), its output thrown away, and the whole group ended when the object goes: the
// converter's workers never outlive it.
class ConverterProcess
{
public:
    enum class End
    {
        Exited,
        Stopped,
        TimedOut,
        OverMemory, // the session's resident memory passed its limit
        OverCpu,    // the session's processor time passed its limit
    };

    // What the converter and every process it starts may use together. A document that makes
    // LibreOffice run away (gigabytes for a kilobyte file) must not take the wall's PC with it.
    struct Limits
    {
        qint64 memoryBytes = 0; // resident, summed over the session; 0: no limit
        int cpuSeconds = 0;     // user + system, summed over the session; 0: no limit
    };

    // Use of a session as the system counts it now.
    struct Use
    {
        qint64 residentBytes = 0;
        double cpuSeconds = 0;
        int processes = 0;
    };

    ConverterProcess() = default;
    ~ConverterProcess();
    ConverterProcess(const ConverterProcess&) = delete;
    ConverterProcess& operator=(const ConverterProcess&) = delete;

    // False when it could not be started (missing, not a program the system can run).
    bool start(const QString& program, const QStringList& arguments);
    // Until the process ends, `stop` answers true, the time limit passes or the session uses
    // more than `limits` allow; polled.
    End wait(const std::function<bool()>& stop, int limitMs, const Limits& limits);
    End wait(const std::function<bool()>& stop, int limitMs)
    {
        return wait(stop, limitMs, Limits());
    }

    pid_t pid() const { return m_pid; }

    // Every live process of the session `sessionId`, read from /proc.
    static Use sessionUse(pid_t sessionId);

private:
    void endGroup();

    pid_t m_pid = -1;
    bool m_reaped = false;
    int m_status = 0;
};
