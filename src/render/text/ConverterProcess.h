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
    };

    ConverterProcess() = default;
    ~ConverterProcess();
    ConverterProcess(const ConverterProcess&) = delete;
    ConverterProcess& operator=(const ConverterProcess&) = delete;

    // False when it could not be started (missing, not a program the system can run).
    bool start(const QString& program, const QStringList& arguments);
    // Until the process ends, `stop` answers true, or the time limit passes; polled.
    End wait(const std::function<bool()>& stop, int limitMs);

private:
    void endGroup();

    pid_t m_pid = -1;
    bool m_reaped = false;
};
