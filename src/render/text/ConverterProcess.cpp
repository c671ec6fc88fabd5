#include "ConverterProcess.h"

#include <QFile>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
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

ConverterProcess::End ConverterProcess::wait(const std::function<bool()>& stop, int limitMs,
                                             const Limits& limits)
{
    using namespace std::chrono;
    const auto deadline = steady_clock::now() + milliseconds(limitMs);
    // The kernel's own bound per process, a little above the session's, in case the session's
    // count below is not read in time.
    if (limits.cpuSeconds > 0 && m_pid > 0) {
        const rlim_t seconds = rlim_t(limits.cpuSeconds) + 5;
        const rlimit cpu{seconds, seconds + 5};
        ::prlimit(m_pid, RLIMIT_CPU, &cpu, nullptr);
    }
    const bool bounded = limits.memoryBytes > 0 || limits.cpuSeconds > 0;
    auto nextLook = steady_clock::now();
    while (m_pid > 0 && !m_reaped) {
        int status = 0;
        const pid_t done = ::waitpid(m_pid, &status, WNOHANG);
        if (done == m_pid || (done < 0 && errno != EINTR)) {
            m_status = done == m_pid ? status : 0;
            m_reaped = true;
            break;
        }
        if (stop && stop())
            return End::Stopped;
        const auto now = steady_clock::now();
        if (now > deadline)
            return End::TimedOut;
        if (bounded && now >= nextLook) {
            nextLook = now + milliseconds(200);
            const Use use = sessionUse(m_pid);
            if (limits.memoryBytes > 0 && use.residentBytes > limits.memoryBytes)
                return End::OverMemory;
            if (limits.cpuSeconds > 0 && use.cpuSeconds > limits.cpuSeconds)
                return End::OverCpu;
        }
        std::this_thread::sleep_for(milliseconds(50));
    }
    // Killed by the kernel's bound on processor time.
    if (m_reaped && limits.cpuSeconds > 0 && WIFSIGNALED(m_status) &&
        (WTERMSIG(m_status) == SIGXCPU || WTERMSIG(m_status) == SIGKILL))
        return End::OverCpu;
    return End::Exited;
}

ConverterProcess::Use ConverterProcess::sessionUse(pid_t sessionId)
{
    Use use;
    DIR* proc = ::opendir("/proc");
    if (!proc)
        return use;
    static const long pageBytes = ::sysconf(_SC_PAGESIZE);
    static const long ticksPerSecond = ::sysconf(_SC_CLK_TCK);
    char path[300];
    char stat[1024];
    while (const dirent* entry = ::readdir(proc)) {
        if (entry->d_name[0] < '1' || entry->d_name[0] > '9')
            continue;
        std::snprintf(path, sizeof path, "/proc/%s/stat", entry->d_name);
        const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            continue;
        const ssize_t length = ::read(fd, stat, sizeof stat - 1);
        ::close(fd);
        if (length <= 0)
            continue;
        stat[length] = '\0';
        // The name in parentheses may hold anything: the fields start after the last ')'.
        const char* fields = std::strrchr(stat, ')');
        if (!fields)
            continue;
        // Fields 3.. (state, ppid, pgrp, session, ... utime 14, stime 15, cutime 16, cstime 17,
        // ... rss 24), counted from 1 as proc(5) does.
        long long values[22] = {};
        const char* at = fields + 2;
        int count = 0;
        while (count < 22 && *at) {
            char* end = nullptr;
            values[count] = std::strtoll(at, &end, 10);
            if (end == at) { // the state letter
                ++at;
                values[count] = 0;
            } else {
                at = end;
            }
            ++count;
            while (*at == ' ')
                ++at;
        }
        if (count < 22 || values[3] != sessionId)
            continue;
        ++use.processes;
        use.residentBytes += qint64(values[21]) * pageBytes;
        use.cpuSeconds +=
            double(values[11] + values[12] + values[13] + values[14]) / double(ticksPerSecond);
    }
    ::closedir(proc);
    return use;
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
