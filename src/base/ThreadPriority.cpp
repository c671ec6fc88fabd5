#include "ThreadPriority.h"
#include "BaseLog.h"

#include "SettingsStore.h"

#include <algorithm>
#include <atomic>
#include <cerrno>

#ifdef Q_OS_LINUX
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace {

#ifdef Q_OS_LINUX
pid_t currentTid()
{
    return static_cast<pid_t>(syscall(SYS_gettid));
}

bool tryRealTime(int* priority)
{
    // Within the limit the service grants (LimitRTPRIO), when that is below what is asked.
    int wanted = ThreadPriority::kRealTimePriority;
    rlimit limit{};
    if (getrlimit(RLIMIT_RTPRIO, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
        limit.rlim_cur > 0 && limit.rlim_cur < rlim_t(wanted))
        wanted = int(limit.rlim_cur);
    wanted = std::clamp(wanted, sched_get_priority_min(SCHED_RR), sched_get_priority_max(SCHED_RR));
    sched_param param{};
    param.sched_priority = wanted;
    if (sched_setscheduler(currentTid(), SCHED_RR | SCHED_RESET_ON_FORK, &param) != 0)
        return false; // EPERM: not allowed, and that is fine
    *priority = wanted;
    return true;
}

bool tryNice(int* nice)
{
    const auto tid = static_cast<id_t>(currentTid());
    // Threads started from this one begin at nice 0 again. Setting the flag needs no privilege.
    const sched_param normal{};
    sched_setscheduler(currentTid(), SCHED_OTHER | SCHED_RESET_ON_FORK, &normal);
    errno = 0;
    const int current = getpriority(PRIO_PROCESS, tid);
    if (errno != 0)
        return false;
    // The lowest value RLIMIT_NICE allows (20 - limit); with the privilege to, the lowest of all.
    int floor = 0;
    rlimit limit{};
    if (getrlimit(RLIMIT_NICE, &limit) == 0)
        floor =
            limit.rlim_cur == RLIM_INFINITY ? -20 : 20 - int(std::min<rlim_t>(limit.rlim_cur, 40));
    for (const int value : {-20, std::clamp(floor, -20, 19)}) {
        if (value >= current)
            continue;
        if (setpriority(PRIO_PROCESS, tid, value) == 0) {
            *nice = value;
            return true;
        }
    }
    return false;
}
#endif

} // namespace

QString ThreadPriority::Result::describe() const
{
    switch (obtained) {
    case Obtained::RealTime:
        return QStringLiteral("real-time round-robin at priority %1").arg(value);
    case Obtained::Nice:
        return QStringLiteral("nice %1").arg(value);
    case Obtained::Unchanged:
        break;
    }
    return QStringLiteral("normal priority (the system allows no more)");
}

ThreadPriority::Result ThreadPriority::raiseCurrentThread(bool allowRealTime)
{
    Result result;
#ifdef Q_OS_LINUX
    if (allowRealTime && tryRealTime(&result.value)) {
        result.obtained = Obtained::RealTime;
        return result;
    }
    if (tryNice(&result.value))
        result.obtained = Obtained::Nice;
#else
    Q_UNUSED(allowRealTime);
#endif
    return result;
}

namespace {

ThreadPriority::Result raiseAndTell(const char* thread, bool realTimeWanted,
                                    std::atomic<bool>& told)
{
    // Off, the play thread takes only the nice value, as the GUI thread does.
    const bool realTime =
        realTimeWanted &&
        SettingsStore::readBool(QStringLiteral("Tessarin"), QStringLiteral("RealtimePlay"), true);
    const ThreadPriority::Result result = ThreadPriority::raiseCurrentThread(realTime);
    if (!told.exchange(true)) {
        if (result.obtained == ThreadPriority::Obtained::Unchanged)
            qCWarning(lcBase, "the %s runs at %s", thread, qPrintable(result.describe()));
        else
            qCInfo(lcBase, "the %s runs at %s", thread, qPrintable(result.describe()));
    }
    return result;
}

} // namespace

ThreadPriority::Result ThreadPriority::raiseForPlayback()
{
    static std::atomic<bool> told{false};
    return raiseAndTell("play thread", true, told);
}

ThreadPriority::Result ThreadPriority::raiseForPresenting()
{
    static std::atomic<bool> told{false};
    return raiseAndTell("GUI thread", false, told);
}

ThreadPriority::OrdinaryScope::OrdinaryScope()
{
#ifdef Q_OS_LINUX
    const int policy = sched_getscheduler(currentTid());
    if (policy < 0)
        return;
    const int bare = policy & ~SCHED_RESET_ON_FORK;
    sched_param param{};
    if ((bare != SCHED_RR && bare != SCHED_FIFO) || sched_getparam(currentTid(), &param) != 0)
        return;
    const sched_param normal{};
    if (sched_setscheduler(currentTid(), SCHED_OTHER | SCHED_RESET_ON_FORK, &normal) != 0)
        return;
    m_policy = bare;
    m_priority = param.sched_priority;
#endif
}

ThreadPriority::OrdinaryScope::~OrdinaryScope()
{
#ifdef Q_OS_LINUX
    if (m_policy < 0)
        return;
    sched_param param{};
    param.sched_priority = m_priority;
    // Allowed: the thread had it a moment ago under the same limits.
    sched_setscheduler(currentTid(), m_policy | SCHED_RESET_ON_FORK, &param);
#endif
}
