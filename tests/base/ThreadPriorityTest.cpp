#include "base/ThreadPriority.h"
#include "base/SettingsStore.h"
#include "support/TestSettings.h"

#include <QSettings>

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#ifdef Q_OS_LINUX
#include <linux/capability.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace {

using ThreadPriority::Obtained;

// What the calling thread runs at, read back from the system.
void expectRunsAt(const ThreadPriority::Result& result)
{
#ifdef Q_OS_LINUX
    // From the kernel: the C library keeps a copy of its own that threads inherit.
    const auto tid = static_cast<pid_t>(syscall(SYS_gettid));
    const int policy = sched_getscheduler(tid) & ~SCHED_RESET_ON_FORK;
    sched_param param{};
    ASSERT_EQ(sched_getparam(tid, &param), 0);
    switch (result.obtained) {
    case Obtained::RealTime:
        EXPECT_EQ(policy, SCHED_RR);
        EXPECT_EQ(param.sched_priority, result.value);
        EXPECT_GE(result.value, 1);
        EXPECT_LE(result.value, ThreadPriority::kRealTimePriority);
        break;
    case Obtained::Nice:
        EXPECT_EQ(policy, SCHED_OTHER);
        EXPECT_EQ(getpriority(PRIO_PROCESS, static_cast<id_t>(tid)), result.value);
        EXPECT_LT(result.value, 0);
        break;
    case Obtained::Unchanged:
        EXPECT_EQ(policy, SCHED_OTHER);
        break;
    }
#endif
    EXPECT_FALSE(result.describe().isEmpty());
}

template <class Body>
void onThread(Body&& body)
{
    std::thread thread(std::forward<Body>(body));
    thread.join();
}

#ifdef Q_OS_LINUX
// Takes CAP_SYS_NICE out of the calling thread's effective set (capabilities are per thread),
// so that only the resource limits decide, as for an ordinary user.
void dropNiceCapability()
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2]{};
    ASSERT_EQ(syscall(SYS_capget, &header, data), 0);
    data[CAP_SYS_NICE / 32].effective &= ~(1u << (CAP_SYS_NICE % 32));
    ASSERT_EQ(syscall(SYS_capset, &header, data), 0);
}

// Sets the soft limit for the test's length (limits are the process's).
class SoftLimit
{
public:
    SoftLimit(int resource, rlim_t value) : m_resource(resource)
    {
        getrlimit(m_resource, &m_saved);
        // Above the hard limit where the test may raise it (CAP_SYS_RESOURCE), else within it.
        rlimit wanted{value, std::max(value, m_saved.rlim_max)};
        if (setrlimit(m_resource, &wanted) != 0) {
            wanted = rlimit{std::min(value, m_saved.rlim_max), m_saved.rlim_max};
            setrlimit(m_resource, &wanted);
        }
    }
    ~SoftLimit() { setrlimit(m_resource, &m_saved); }

private:
    int m_resource;
    rlimit m_saved{};
};
#endif

} // namespace

// Whatever the system allows, the thread ends up at what the helper reports, and asking never
// fails; without the real-time policy allowed it is never taken.
TEST(ThreadPriorityTest, ReportsWhatTheThreadGot)
{
    onThread([] {
        expectRunsAt(ThreadPriority::raiseCurrentThread(true));
        // What a raised thread starts runs at normal priority.
        onThread([] { expectRunsAt(ThreadPriority::Result{}); });
    });
    onThread([] {
        const auto result = ThreadPriority::raiseCurrentThread(false);
        onThread([] {
#ifdef Q_OS_LINUX
            EXPECT_GE(getpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid))), 0);
#endif
        });
        expectRunsAt(result);
    });
    onThread([] {
        const auto result = ThreadPriority::raiseCurrentThread(false);
        EXPECT_NE(result.obtained, Obtained::RealTime);
        expectRunsAt(result);
    });
}

#ifdef Q_OS_LINUX
// An ordinary user with no real-time and no nice allowance (the limits at 0): the thread stays
// as it was, and says so.
TEST(ThreadPriorityTest, NothingAllowedLeavesTheThreadAsItWas)
{
    const SoftLimit rt(RLIMIT_RTPRIO, 0);
    const SoftLimit nice(RLIMIT_NICE, 0);
    onThread([] {
        dropNiceCapability();
        const auto result = ThreadPriority::raiseCurrentThread(true);
        EXPECT_EQ(result.obtained, Obtained::Unchanged);
        expectRunsAt(result);
    });
}

// What a service grants with LimitRTPRIO=2 and LimitNICE=30 (nice down to -10): real time at
// the granted priority; with the real-time limit at 0, the lowest nice the limit allows.
TEST(ThreadPriorityTest, TakesWhatTheLimitsGrant)
{
    const SoftLimit nice(RLIMIT_NICE, 30);
    {
        const SoftLimit rt(RLIMIT_RTPRIO, 2);
        onThread([] {
            dropNiceCapability();
            const auto result = ThreadPriority::raiseCurrentThread(true);
            expectRunsAt(result);
            // The hard limit may be below what the soft one asks (a container): then less.
            rlimit limit{};
            getrlimit(RLIMIT_RTPRIO, &limit);
            if (limit.rlim_cur == 2) {
                // Where the scheduler itself refuses real time (a container's group without
                // real-time time), nice is what is left.
                if (result.obtained == Obtained::RealTime)
                    EXPECT_EQ(result.value, 2);
                else
                    EXPECT_EQ(result.obtained, Obtained::Nice);
            }
        });
    }
    const SoftLimit rt(RLIMIT_RTPRIO, 0);
    onThread([] {
        dropNiceCapability();
        const auto result = ThreadPriority::raiseCurrentThread(true);
        expectRunsAt(result);
        rlimit limit{};
        getrlimit(RLIMIT_NICE, &limit);
        if (limit.rlim_cur == 30) {
            EXPECT_EQ(result.obtained, Obtained::Nice);
            EXPECT_EQ(result.value, -10);
        }
    });
}
#endif

// The setting turns the real-time policy off.
TEST(ThreadPriorityTest, TheSettingTurnsRealTimeOff)
{
    TestSettings::clear();
    ASSERT_TRUE(
        SettingsStore::writeInt(QStringLiteral("Tessarin"), QStringLiteral("RealtimePlay"), 0));
    onThread([] {
        const auto result = ThreadPriority::raiseForPlayback();
        EXPECT_NE(result.obtained, Obtained::RealTime);
        expectRunsAt(result);
    });
    TestSettings::clear();
}

// A raised play thread does its unpaced work at the ordinary policy and is raised again after;
// a thread that never was raised stays as it was.
TEST(ThreadPriority, AnOrdinaryScopeLowersARealTimeThreadForItsLength)
{
    onThread([] {
        const ThreadPriority::Result raised = ThreadPriority::raiseCurrentThread(true);
        {
            const ThreadPriority::OrdinaryScope ordinary;
            if (raised.obtained == Obtained::RealTime)
                expectRunsAt(ThreadPriority::Result{Obtained::Unchanged, 0});
            else
                expectRunsAt(raised);
        }
        expectRunsAt(raised);
    });
    onThread([] {
        {
            const ThreadPriority::OrdinaryScope ordinary;
            expectRunsAt(ThreadPriority::Result{});
        }
        expectRunsAt(ThreadPriority::Result{});
    });
}
