#include "model/CAct.h"
#include "model/CPropGif.h"
#include "model/PlayRandom.h"
#include "support/VirtualClock.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <thread>

using namespace std::chrono_literals;

namespace {

// Records every play in a shared log, then holds for its hold time on the area's stop event.
class FakeItem final : public CPropBase
{
public:
    FakeItem(int id, int holdTenths, std::function<void(int, CAct&)> onPlay)
        : m_id(id), m_holdTenths(holdTenths), m_onPlay(std::move(onPlay))
    {}
    const char* className() const override { return "CPropText"; }
    std::unique_ptr<CPropBase> clone() const override { return nullptr; }
    void Play(CAct& area) override
    {
        m_onPlay(m_id, area);
        if (m_holdTenths > 0)
            area.WaitStop(m_holdTenths * 100);
    }

private:
    int m_id;
    int m_holdTenths;
    std::function<void(int, CAct&)> m_onPlay;
};

class PlayLoopTest : public testing::Test
{
protected:
    // Items 0..n-1 with the given hold times. After `playsBeforeIdle` plays the loop is sent
    // idle (as if stopped), so that a virtual clock cannot run it forever.
    void addItems(std::vector<int> holdTenths, size_t playsBeforeIdle = 1000000)
    {
        for (size_t i = 0; i < holdTenths.size(); ++i) {
            area.appendItem(std::make_unique<FakeItem>(
                static_cast<int>(i), holdTenths[i], [this, playsBeforeIdle](int id, CAct& a) {
                    bool idle = false;
                    {
                        std::lock_guard lock(m_mutex);
                        m_log.push_back(id);
                        idle = m_log.size() >= playsBeforeIdle;
                    }
                    m_changed.notify_all();
                    // As if stopped, until the test stops.
                    while (idle && !a.stopRequested())
                        std::this_thread::sleep_for(1ms);
                }));
        }
    }

    bool waitForPlays(size_t count)
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, 20s, [&] { return m_log.size() >= count; });
    }

    std::vector<int> log()
    {
        std::lock_guard lock(m_mutex);
        return m_log;
    }

    void playFromStart()
    {
        area.Stop();
        area.playFrom(0);
    }

    CAct area;

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<int> m_log;
};

} // namespace

TEST_F(PlayLoopTest, PlaysInOrderWithHoldTimesAndWrapsAround)
{
    VirtualClock clock;
    area.setClock(clock);
    addItems({1, 2, 3}, 7);
    playFromStart();
    ASSERT_TRUE(waitForPlays(7));
    area.Stop();
    EXPECT_EQ(log(), (std::vector<int>{0, 1, 2, 0, 1, 2, 0}));
    // The first item after the thread starts waits 20 ms; then each item its hold time.
    const std::vector<long long> waits = clock.waitsMs();
    ASSERT_GE(waits.size(), 7u);
    EXPECT_EQ(std::vector<long long>(waits.begin(), waits.begin() + 7),
              (std::vector<long long>{20, 100, 200, 300, 100, 200, 300}));
    EXPECT_FALSE(area.isPlaying());
}

TEST_F(PlayLoopTest, ManualPlayRepeatsTheCurrentItem)
{
    VirtualClock clock;
    area.setClock(clock);
    addItems({1, 1, 1}, 4);
    area.changeSettings([&](AreaSettings& s) { s.manualPlay = 1; });
    area.playFrom(1);
    ASSERT_TRUE(waitForPlays(4));
    area.Stop();
    EXPECT_EQ(log(), (std::vector<int>{1, 1, 1, 1}));
}

TEST_F(PlayLoopTest, PreviewPlaysOnceAndIdles)
{
    addItems({0, 0, 0});
    area.preview(area.item(2));
    ASSERT_TRUE(waitForPlays(1));
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(log(), std::vector<int>{2});
    EXPECT_TRUE(area.isPlaying()); // idle, with its thread running
    EXPECT_FALSE(area.keepsCurrentOnce());
    // Play from the control window starts again at the first item.
    playFromStart();
    ASSERT_TRUE(waitForPlays(3));
    area.Stop();
    EXPECT_EQ(log()[1], 0);
}

TEST_F(PlayLoopTest, StopEndsALongHoldAndASecondStopDoesNothing)
{
    addItems({600}); // a minute
    playFromStart();
    ASSERT_TRUE(waitForPlays(1));
    const auto started = std::chrono::steady_clock::now();
    area.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - started, 30s); // not the hold
    EXPECT_FALSE(area.isPlaying());
    area.Stop();
    EXPECT_FALSE(area.stopRequested());
    EXPECT_FALSE(area.hasPlayThread());
    EXPECT_EQ(log().size(), 1u);
}

TEST_F(PlayLoopTest, PauseFreezesAndPlayResumesWhereItWas)
{
    std::atomic<int> steps{0};
    area.appendItem(std::make_unique<FakeItem>(0, 0, [&steps](int, CAct& a) {
        // A paced drawing: the gate before each unit, a wait after it.
        for (int i = 0; i < 100000; ++i) {
            if (a.PassPauseGate())
                return;
            steps.fetch_add(1);
            if (a.WaitStop(1))
                return;
        }
    }));
    playFromStart();
    while (steps.load() < 5)
        std::this_thread::sleep_for(1ms);
    area.Pause();
    EXPECT_TRUE(area.isPaused());
    std::this_thread::sleep_for(20ms); // a unit under way finishes
    const int frozen = steps.load();
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(steps.load(), frozen);

    area.Play(); // resumes the same showing, not a new one
    EXPECT_FALSE(area.isPaused());
    while (steps.load() < frozen + 5)
        std::this_thread::sleep_for(1ms);

    area.Pause();
    area.Stop(); // while paused: resumed, then stopped
    EXPECT_FALSE(area.isPaused());
    EXPECT_FALSE(area.isPlaying());
}

TEST_F(PlayLoopTest, PauseMovesTheDeadlineOfAWaitUnderWay)
{
    VirtualClock clock;
    area.setClock(clock);
    std::atomic<bool> done{false};
    area.appendItem(std::make_unique<FakeItem>(0, 0, [&](int, CAct& a) {
        WaitClock::TimePoint deadline = a.clock().now() + 50ms;
        a.Pause(); // as if the operator paused just now, for a second
        std::thread resume([&] {
            std::this_thread::sleep_for(20ms);
            clock.advance(1000ms);
            a.Play();
        });
        a.WaitStopUntil(deadline);
        resume.join();
        done = true;
    }));
    area.preview(area.item(0));
    while (!done)
        std::this_thread::sleep_for(1ms);
    area.Stop();
    // The second paused is added to the deadline: the wait still takes its 50 ms afterwards
    // instead of ending at once.
    EXPECT_EQ(clock.waitsMs().back(), 50);
}

TEST_F(PlayLoopTest, ItemsThatReturnAtOnceNeitherDrawNorSpin)
{
    VirtualClock clock;
    area.setClock(clock);
    for (int i = 0; i < 3; ++i)
        area.appendItem(std::make_unique<CPropGif>());
    area.AddSection(0, 480, 0);
    playFromStart();
    while (clock.waitsMs().size() < 30)
        std::this_thread::sleep_for(1ms);
    area.Stop();
    // Every play that took no time is followed by a rest on the stop event.
    const std::vector<long long> waits = clock.waitsMs();
    EXPECT_EQ(waits.front(), 20);
    for (size_t i = 1; i < waits.size(); ++i)
        EXPECT_EQ(waits[i], 20) << i;
    EXPECT_EQ(area.sections()[0]->renderChild->presentCount(), 0u);
}

TEST_F(PlayLoopTest, StopRacingPlayAndSetCurrentLeavesNoThread)
{
    addItems({0, 1, 0, 2});
    std::mt19937 random(42);
    for (int i = 0; i < 10000; ++i) {
        switch (random() % 5) {
        case 0:
            area.Play();
            break;
        case 1:
            if (const int index = static_cast<int>(random() % 4); random() % 2 == 0)
                area.preview(area.item(index));
            else
                area.playFrom(index);
            break;
        case 2:
            area.Pause();
            break;
        default:
            area.Stop();
            break;
        }
    }
    area.Stop();
    EXPECT_FALSE(area.isPlaying());
    EXPECT_FALSE(area.isPaused());
    EXPECT_FALSE(area.stopRequested());
    EXPECT_FALSE(area.hasPlayThread());
}

TEST(PlayRandom, SeededGeneratorsRepeatPerThread)
{
    PlayRandom::seed(7);
    const int a = PlayRandom::next();
    PlayRandom::seed(7);
    EXPECT_EQ(PlayRandom::next(), a);
    for (int i = 0; i < 1000; ++i) {
        const int n = PlayRandom::next();
        ASSERT_GE(n, 0);
        ASSERT_LT(n, 32768);
    }
}

TEST_F(PlayLoopTest, TheStopButtonDoesNotWaitForABusyItem)
{
    // An item busy with something that does not look at the stop (a long decode).
    std::atomic<bool> release{false};
    area.appendItem(std::make_unique<FakeItem>(0, 0, [&](int, CAct&) {
        while (!release.load())
            std::this_thread::sleep_for(1ms);
    }));
    addItems({1});
    playFromStart();
    std::this_thread::sleep_for(30ms);
    EXPECT_FALSE(area.StopWithin(50ms)); // told to end, not waited for
    EXPECT_FALSE(area.isPlaying());
    release = true;
    // The next Play waits for the old thread, then plays from the start again.
    playFromStart();
    EXPECT_TRUE(waitForPlays(1));
    EXPECT_TRUE(area.StopWithin(5s));
}
