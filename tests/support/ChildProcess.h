#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QString>
#include <QStringList>
#include <QThread>

#include <csignal>
#include <vector>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

// A program a test starts with a plain fork and exec, its standard output kept. Not QProcess:
// its vfork-style start shares the parent's memory with the child for a moment, which leaves
// ThreadSanitizer's picture of the parent wrong (it then reports races that are not there).
class ChildProcess
{
public:
    ChildProcess() = default;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess() { terminate(); }

    bool start(const QString& program, const QStringList& arguments)
    {
        terminate();
        m_output.clear();
        // Everything the child needs is made before the fork: after it, only exec.
        std::vector<QByteArray> storage{program.toLocal8Bit()};
        for (const QString& a : arguments)
            storage.push_back(a.toLocal8Bit());
        std::vector<char*> argv;
        for (QByteArray& s : storage)
            argv.push_back(s.data());
        argv.push_back(nullptr);
        int pipeFds[2];
        if (pipe2(pipeFds, O_CLOEXEC) != 0)
            return false;
        m_pid = fork();
        if (m_pid == 0) {
            dup2(pipeFds[1], STDOUT_FILENO);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(pipeFds[1]);
        m_out = pipeFds[0];
        fcntl(m_out, F_SETFL, O_NONBLOCK);
        return m_pid > 0;
    }

    // The exit code once the program ended within `ms`; -1 when it did not (or was killed).
    int waitForExit(int ms)
    {
        QElapsedTimer timer;
        timer.start();
        while (m_pid > 0) {
            drain();
            int status = 0;
            if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_pid = -1;
                drain();
                m_exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
                return m_exitCode;
            }
            if (timer.elapsed() > ms)
                return -1;
            QThread::msleep(5);
        }
        return m_exitCode;
    }

    void terminate()
    {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            if (waitForExit(5000) < 0 && m_pid > 0) {
                kill(m_pid, SIGKILL);
                waitForExit(5000);
            }
        }
        if (m_out >= 0) {
            close(m_out);
            m_out = -1;
        }
    }

    bool running() const { return m_pid > 0; }
    const QByteArray& output() const { return m_output; }

private:
    void drain()
    {
        char buffer[4096];
        ssize_t n = 0;
        while (m_out >= 0 && (n = read(m_out, buffer, sizeof buffer)) > 0)
            m_output.append(buffer, n);
    }

    pid_t m_pid = -1;
    int m_out = -1;
    int m_exitCode = -1;
    QByteArray m_output;
};
