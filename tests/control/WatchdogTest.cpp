#include "control/Watchdog.h"
#include "model/CAct.h"
#include "support/VirtualClock.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

// The service manager's end of $NOTIFY_SOCKET: a datagram socket that collects what is sent.
class FakeServiceManager
{
public:
    FakeServiceManager()
    {
        m_path = m_dir.filePath("notify");
        m_fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::snprintf(address.sun_path, sizeof address.sun_path, "%s", qPrintable(m_path));
        EXPECT_EQ(bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        qputenv("NOTIFY_SOCKET", m_path.toUtf8());
    }
    ~FakeServiceManager()
    {
        qunsetenv("NOTIFY_SOCKET");
        close(m_fd);
    }

    // What arrived within `ms` of the event loop running.
    QStringList collect(int ms)
    {
        QElapsedTimer timer;
        timer.start();
        QStringList messages;
        while (timer.elapsed() < ms) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            char buffer[256];
            for (ssize_t n; (n = recv(m_fd, buffer, sizeof buffer, 0)) > 0;)
                messages << QString::fromLatin1(buffer, int(n)).trimmed();
            std::this_thread::sleep_for(2ms);
        }
        return messages;
    }

private:
    QTemporaryDir m_dir;
    QString m_path;
    int m_fd = -1;
};

// An item that blocks its play thread in one long drawing unit until it is let go.
class BlockingItem final : public CPropBase
{
public:
    const char* className() const override { return "CPropText"; }
    std::unique_ptr<CPropBase> clone() const override { return nullptr; }
    void Play(CAct& area) override
    {
        area.PassPauseGate();
        inside.store(true);
        while (!release.load())
            std::this_thread::sleep_for(1ms);
        area.WaitStop(100000);
    }
    std::atomic<bool> inside{false};
    std::atomic<bool> release{false};
};

} // namespace

TEST(Watchdog, ReadyThenHeartbeatsThatStopWhileThePlayThreadIsStuck)
{
    FakeServiceManager manager;
    VirtualClock clock;
    CAct area;
    area.setClock(clock);
    auto item = std::make_unique<BlockingItem>();
    BlockingItem& blocking = *item;
    area.appendItem(std::move(item));

    Watchdog watchdog(area);
    watchdog.setIntervalMs(20);
    ASSERT_TRUE(watchdog.start());
    QStringList heard = manager.collect(150);
    ASSERT_FALSE(heard.isEmpty());
    EXPECT_EQ(heard.first(), "READY=1");
    EXPECT_GE(heard.count("WATCHDOG=1"), 3); // idle: alive

    area.playFrom(0);
    while (!blocking.inside.load())
        std::this_thread::sleep_for(1ms);
    EXPECT_GE(manager.collect(100).count("WATCHDOG=1"), 2); // busy, but not for long yet
    clock.advance(11s);                                     // one drawing unit for 11 s
    EXPECT_FALSE(watchdog.healthy());
    EXPECT_EQ(manager.collect(150).count("WATCHDOG=1"), 0);

    // Let go: the thread moves on and the heartbeats come back.
    blocking.release.store(true);
    QElapsedTimer timer;
    timer.start();
    while (!watchdog.healthy() && timer.elapsed() < 5000)
        std::this_thread::sleep_for(1ms);
    EXPECT_TRUE(watchdog.healthy());
    EXPECT_GE(manager.collect(100).count("WATCHDOG=1"), 2);
    area.Stop();
}

TEST(Watchdog, ALongWaitIsNotAStall)
{
    VirtualClock clock;
    CAct area;
    area.setClock(clock);
    std::atomic<bool> waiting{false};
    clock.onWait = [&] {
        if (!waiting.exchange(true)) {
            // Inside a hold of 100 s (the virtual clock already at its end): not stuck...
            EXPECT_TRUE(area.playProgressing(Watchdog::kStuckAfter));
        }
    };
    // (the other test shows a thread 11 s into one drawing unit is).
    struct Holding final : CPropBase
    {
        const char* className() const override { return "CPropText"; }
        std::unique_ptr<CPropBase> clone() const override { return nullptr; }
        void Play(CAct& a) override { a.WaitStop(100000); }
    };
    area.appendItem(std::make_unique<Holding>());
    EXPECT_TRUE(area.playProgressing(Watchdog::kStuckAfter)); // no thread yet
    area.playFrom(0);
    QElapsedTimer timer;
    timer.start();
    while (!waiting.load() && timer.elapsed() < 5000)
        std::this_thread::sleep_for(1ms);
    area.Stop();
    EXPECT_TRUE(waiting.load());
}

TEST(Watchdog, NothingWithoutAServiceManager)
{
    qunsetenv("NOTIFY_SOCKET");
    CAct area;
    Watchdog watchdog(area);
    EXPECT_FALSE(watchdog.start());
    qputenv("WATCHDOG_USEC", "20000000");
    EXPECT_EQ(Watchdog(area).intervalMs(), 6666); // a third of WatchdogSec=20
    qunsetenv("WATCHDOG_USEC");
}
