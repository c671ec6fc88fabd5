#include "model/Schedule.h"
#include "model/CAct.h"
#include "model/HeadlessSectionHost.h"
#include "model/ItemSettings.h"
#include "support/VirtualClock.h"

#include <QJsonDocument>

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

using namespace std::chrono_literals;

namespace {

Schedule schedule(const char* json)
{
    return Schedule::fromJson(QJsonDocument::fromJson(json).object());
}

QDateTime at(int year, int month, int day, int hour, int minute)
{
    return QDateTime(QDate(year, month, day), QTime(hour, minute));
}

// An item that records its plays and holds for a tenth of a second.
class ScheduledItem final : public CPropBase
{
public:
    ScheduledItem(int id, std::function<void(int)> onPlay) : m_id(id), m_onPlay(std::move(onPlay))
    {}
    const char* className() const override { return "CPropText"; }
    std::unique_ptr<CPropBase> clone() const override { return nullptr; }
    void Play(CAct& area) override
    {
        m_onPlay(m_id);
        area.WaitStop(100);
    }

private:
    int m_id;
    std::function<void(int)> m_onPlay;
};

class ScheduledLoopTest : public testing::Test, public PlayObserver
{
protected:
    ScheduledLoopTest()
    {
        area.setSectionHost(&host);
        area.setClock(clock);
        area.setPlayObserver(this);
        area.changeSettings([&](AreaSettings& s) {
            s.ledWidth = 32;
            s.ledHeight = 16;
            s.backColor = 0x000000FF; // red
        });
        area.AddSection(0, 32, 0);
        area.LayoutSections();
        // Tuesday 8 December 2026, 09:15:30.
        area.setWallClockStart(at(2026, 12, 8, 9, 15).addSecs(30));
    }
    ~ScheduledLoopTest() override { area.Stop(); }

    void addItem(const char* scheduleJson)
    {
        const int id = area.itemCount();
        auto item = std::make_unique<ScheduledItem>(id, [this](int played) {
            std::lock_guard lock(mutex);
            plays.push_back(played);
            changed.notify_all();
        });
        if (scheduleJson)
            ItemSettings::write(*item, "schedule", QJsonDocument::fromJson(scheduleJson).object());
        area.appendItem(std::move(item));
    }

    void itemSkipped(const CPropBase&, int index, const char* reason) override
    {
        std::lock_guard lock(mutex);
        skipped.push_back(index);
        EXPECT_STREQ(reason, "schedule");
        changed.notify_all();
    }
    void pictureShown(const CPropBase&, const QJsonObject&) override {}

    template <class Done>
    bool waitFor(Done done)
    {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, 20s, done);
    }

    VirtualClock clock;
    HeadlessSectionHost host;
    CAct area;
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<int> plays;
    std::vector<int> skipped;
};

} // namespace

TEST(Schedule, DaysHoursAndDates)
{
    EXPECT_TRUE(schedule("{}").isAlways());
    EXPECT_TRUE(schedule("{}").allows(at(2026, 12, 8, 3, 0)));

    const Schedule office =
        schedule(R"({"days": [1, 2, 3, 4, 5], "start": "08:00", "end": "18:00"})");
    EXPECT_TRUE(office.allows(at(2026, 12, 8, 8, 0))); // Tuesday, opening minute
    EXPECT_TRUE(office.allows(at(2026, 12, 8, 17, 59)));
    EXPECT_FALSE(office.allows(at(2026, 12, 8, 18, 0))); // the end is not in it
    EXPECT_FALSE(office.allows(at(2026, 12, 8, 7, 59)));
    EXPECT_FALSE(office.allows(at(2026, 12, 12, 10, 0))); // Saturday

    const Schedule december = schedule(R"({"from": "2026-12-01", "until": "2026-12-31"})");
    EXPECT_TRUE(december.allows(at(2026, 12, 1, 0, 0)));
    EXPECT_TRUE(december.allows(at(2026, 12, 31, 23, 59)));
    EXPECT_FALSE(december.allows(at(2027, 1, 1, 0, 0)));
    EXPECT_FALSE(december.allows(at(2026, 11, 30, 23, 59)));
}

TEST(Schedule, AnEndBeforeTheStartRunsOvernightFromTheDayItOpened)
{
    // Friday nights: Friday 22:00 to Saturday 06:00.
    const Schedule fridayNight = schedule(R"({"days": [5], "start": "22:00", "end": "06:00",
                                             "until": "2026-12-11"})");
    EXPECT_TRUE(fridayNight.allows(at(2026, 12, 11, 22, 0))); // Friday
    EXPECT_TRUE(fridayNight.allows(at(2026, 12, 12, 5, 59))); // Saturday morning: Friday's night
    EXPECT_FALSE(fridayNight.allows(at(2026, 12, 12, 6, 0)));
    EXPECT_FALSE(fridayNight.allows(at(2026, 12, 12, 22, 30))); // Saturday night
    EXPECT_FALSE(fridayNight.allows(at(2026, 12, 11, 3, 0)));   // Thursday's night
    EXPECT_FALSE(fridayNight.allows(at(2026, 12, 18, 23, 0)));  // after the last day
    // What is not understood is left out, not guessed.
    const Schedule odd = schedule(R"({"days": [0, 8, "x", 3], "start": "25:00", "from": "soon"})");
    EXPECT_EQ(odd.days, QList<int>{3});
    EXPECT_FALSE(odd.start.isValid());
    EXPECT_FALSE(odd.from.isValid());
    EXPECT_EQ(
        schedule(R"({"days": [1, 7], "start": "08:00", "end": "09:30"})").toJson(),
        QJsonDocument::fromJson(R"({"days": [1, 7], "start": "08:00", "end": "09:30"})").object());
}

TEST_F(ScheduledLoopTest, TheLoopPassesOverAnItemOutsideItsSchedule)
{
    addItem(nullptr);
    addItem(R"({"start": "18:00", "end": "20:00"})"); // not at 09:15
    addItem(R"({"days": [2]})");                      // Tuesday: yes
    area.playFrom(0);
    ASSERT_TRUE(waitFor([&] { return plays.size() >= 4; }));
    area.Stop();
    EXPECT_EQ(std::vector<int>(plays.begin(), plays.begin() + 4), (std::vector<int>{0, 2, 0, 2}));
    ASSERT_GE(skipped.size(), 1u);
    EXPECT_EQ(skipped[0], 1);
}

TEST_F(ScheduledLoopTest, WithNothingToPlayTheAreaShowsItsBackgroundAndLooksEveryMinute)
{
    addItem(R"({"start": "09:17"})"); // from 09:17 on
    addItem(R"({"until": "2026-01-01"})");
    area.playFrom(0);
    // 09:15:30: the rest of the minute, then a whole one; at 09:17 the first item plays.
    ASSERT_TRUE(waitFor([&] { return !plays.empty(); }));
    area.Stop();
    EXPECT_EQ(plays.front(), 0);
    std::vector<long long> waits = clock.waitsMs();
    waits.erase(waits.begin()); // the loop's pause before its first item
    ASSERT_GE(waits.size(), 2u);
    EXPECT_EQ(waits[0], 29980); // from 09:15:30.020 to 09:16
    EXPECT_EQ(waits[1], 60000); // to 09:17
    {
        BackBuffer& child = *area.sections()[0]->renderChild;
        std::lock_guard lock(child.sectionMutex);
        EXPECT_EQ(child.GetBackBuffer()->pixel(3, 3), qRgb(255, 0, 0)); // the background
    }
}

TEST_F(ScheduledLoopTest, AClockThatJumpsIsNoticedWithinAMinute)
{
    addItem(R"({"start": "12:00", "end": "13:00"})");
    int wait = 0;
    clock.onWait = [&] {
        // NTP sets the clock to just before noon during the first minute's wait.
        if (++wait == 2) {
            area.setWallClockStart(at(2026, 12, 8, 11, 59).addSecs(59));
        }
    };
    area.playFrom(0);
    ASSERT_TRUE(waitFor([&] { return !plays.empty(); }));
    area.Stop();
    // The first wait ran to 09:16 by the old clock; the next look found 12:00 within a second.
    std::vector<long long> waits = clock.waitsMs();
    waits.erase(waits.begin()); // the loop's pause before its first item
    ASSERT_GE(waits.size(), 2u);
    EXPECT_EQ(waits[0], 29980);
    EXPECT_EQ(waits[1], 1000); // 11:59:59 to 12:00
}
