#include "ConverterProcess.h"

#include <QFile>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <vector>

extern char** environ;

ConverterProcess::~ConverterProcess()
{
    endGroup();
}

bool ConverterProcess::start(const QString& program, const QStringList& arguments)
{
    std::vector<QByteArray> storage;
    storage.push_back(QFile::encodeName(program));
    for (const QString& argument : arguments)
        storage.push_back(argument.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& item : storage)
        argv.push_back(item.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK);
    pid_t pid = -1;
    const int failed =
        program.contains(QLatin1Char('/'))
            ? posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), environ)
            : posix_spawnp(&pid, argv[0], &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (failed != 0)
        return false;
    m_pid = pid;
    m_reaped = false;
    return true;
}

ConverterProcess::End ConverterProcess::wait(const std::function<bool()>& stop, int limitMs)
{
    using namespace std::chrono;
    const auto deadline = steady_clock::now() + milliseconds(limitMs);
    while (m_pid > 0 && !m_reaped) {
        int status = 0;
        const pid_t done = ::waitpid(m_pid, &status, WNOHANG);
        if (done == m_pid || (done < 0 && errno != EINTR)) {
            m_reaped = true;
            break;
        }
        if (stop && stop())
            return End::Stopped;
        if (steady_clock::now() > deadline)
            return End::TimedOut;
        std::this_thread::sleep_for(milliseconds(50));
    }
    return End::Exited;
}

void ConverterProcess::endGroup()
{
    if (m_pid <= 0)
        return;
    // The whole session's group: LibreOffice's worker outlives its launcher otherwise.
    ::kill(-m_pid, SIGKILL);
    if (!m_reaped) {
        int status = 0;
        while (::waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
        }
        m_reaped = true;
    }
    m_pid = -1;
}
