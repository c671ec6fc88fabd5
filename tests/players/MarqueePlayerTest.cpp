#include "players/MarqueePlayer.h"
#include "base/ColorRef.h"
#include "model/CAct.h"
#include "model/CPropText.h"
#include "model/ItemSettings.h"
#include "support/PlayerFixture.h"

#include <QJsonObject>

#include <gtest/gtest.h>

namespace {

constexpr QRgb kBack = qRgb(0, 0, 0x40);
constexpr QRgb kInk = qRgb(255, 255, 0);

// An LED of the given size in sections of the given lengths, playing one marquee item, that
// records the whole LED picture at every step.
class MarqueeTest : public testing::Test, public PlayObserver
{
protected:
    void makeArea(int splitMode, int width, int height, std::vector<int> lengths)
    {
        setUpSections(area, host, clock, this, splitMode, width, height, lengths);
        clock.onWait = [this] { frames.push_back(joined()); };
    }

    void setItem(const char* text, const char* direction, int pixelsPerSecond, int repeat = 1)
    {
        QFile file(dir.filePath("t.txt"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
        item.filePath = file.fileName();
        item.backColor = 0x00400000; // kBack
        item.textColor = 0x0000FFFF; // kInk
        item.reservedText.clear();
        ItemSettings::write(item, "marquee",
                            QJsonObject{{"direction", direction},
                                        {"pixelsPerSecond", pixelsPerSecond},
                                        {"repeat", repeat}});
    }

    void pictureShown(const CPropBase&, const QJsonObject& details) override
    {
        passes.push_back(details);
    }

    // The LED picture: the sections' back buffers put back together.
    QImage joined() { return joinedSections(area); }

    // The first column (or row) holding ink, from the given side; -1 when there is none.
    static int firstInk(const QImage& image, bool columns, bool fromEnd)
    {
        const int n = columns ? image.width() : image.height();
        for (int i = 0; i < n; ++i) {
            const int line = fromEnd ? n - 1 - i : i;
            const int across = columns ? image.height() : image.width();
            for (int j = 0; j < across; ++j)
                if ((columns ? image.pixel(line, j) : image.pixel(j, line)) == kInk)
                    return line;
        }
        return -1;
    }

    QTemporaryDir dir;
    VirtualClock clock;
    HeadlessSectionHost host;
    CAct area;
    CPropText item;
    std::vector<QImage> frames;
    std::vector<QJsonObject> passes;
};

} // namespace

TEST(MarqueeArithmetic, PositionsComeFromAnExactStepCount)
{
    // 60 Hz, 120 px/s: two pixels a step.
    EXPECT_EQ(MarqueePlayer::offsetAt(1, 120, 60000), 2);
    EXPECT_EQ(MarqueePlayer::offsetAt(7, 90, 60000), 10); // 10.5 px: whole pixels
    // 59.94 Hz for ten hours at 60 px/s: exactly 36,000 s of travel, no drift.
    const qint64 steps = 59940LL * 36000 / 1000;
    EXPECT_EQ(MarqueePlayer::offsetAt(steps, 60, 59940), 60LL * 36000);
    EXPECT_EQ(MarqueePlayer::stepTimeNs(steps, 59940), 36000LL * 1000000000);
    EXPECT_EQ(MarqueePlayer::stepTimeNs(1, 60000), 16666666);
    EXPECT_EQ(MarqueePlayer::joinParagraphs({"one", "", "  ", "two"}), "one    two");
}

TEST_F(MarqueeTest, EachDirectionMovesTheTextByItsSpeedEveryStep)
{
    struct Case
    {
        const char* direction;
        bool columns;
        bool leading; // measure the edge the text enters with
    };
    for (const Case c : {Case{"left", true, false}, Case{"right", true, true},
                         Case{"up", false, false}, Case{"down", false, true}}) {
        SCOPED_TRACE(c.direction);
        makeArea(0, 200, 60, {200});
        frames.clear();
        setItem("MARQUEE", c.direction, 90); // 1.5 px a step
        item.Play(area);
        ASSERT_GT(frames.size(), 20u);
        // Wherever the text's edge is inside the picture, it has moved by the exact offset.
        int checked = 0;
        for (size_t k = 1; k + 1 < frames.size(); ++k) {
            const int before = firstInk(frames[k - 1], c.columns, c.leading);
            const int after = firstInk(frames[k], c.columns, c.leading);
            const int limit = c.columns ? 200 : 60;
            if (before <= 0 || after <= 0 || before >= limit - 1 || after >= limit - 1)
                continue;
            // Frame k was taken in the wait after step k was drawn.
            const int moved = int(MarqueePlayer::offsetAt(qint64(k), 90, 60000) -
                                  MarqueePlayer::offsetAt(qint64(k) - 1, 90, 60000));
            EXPECT_EQ(std::abs(after - before), moved) << "step " << k;
            ++checked;
        }
        EXPECT_GT(checked, 10);
        // The pass ends with the text wholly gone.
        EXPECT_EQ(firstInk(joined(), true, false), -1);
        ASSERT_EQ(passes.size(), 1u);
        passes.clear();
    }
}

TEST_F(MarqueeTest, TheTextCrossesTheJoinsWithoutASeamInBothArrangements)
{
    for (int splitMode : {0, 1}) {
        SCOPED_TRACE(splitMode);
        const bool stacked = splitMode != 0;
        const int width = stacked ? 120 : 240;
        const int height = stacked ? 90 : 40;
        // One section, then three of different lengths: the same pictures step for step.
        makeArea(splitMode, width, height, {stacked ? height : width});
        frames.clear();
        setItem("跨越接缝 across the joins", stacked ? "up" : "left", 150);
        item.Play(area);
        const std::vector<QImage> whole = frames;

        VirtualClock fresh;
        frames.clear();
        makeArea(splitMode, width, height,
                 stacked ? std::vector<int>{25, 40, 25} : std::vector<int>{70, 100, 70});
        area.setClock(fresh);
        fresh.onWait = [this] { frames.push_back(joined()); };
        item.Play(area);
        ASSERT_EQ(frames.size(), whole.size());
        for (size_t k = 0; k < whole.size(); ++k)
            ASSERT_EQ(frames[k], whole[k]) << "step " << k;
        area.setClock(clock);
    }
}

// A step puts back the background only where the last step's text was: every picture must
// still be the last one's text moved by the step, nothing left behind, in every direction and
// across uneven sections.
TEST_F(MarqueeTest, EveryStepIsTheLastOneMovedWithNothingLeftBehind)
{
    struct Case
    {
        const char* direction;
        int splitMode;
        QPoint unit; // where the text goes, a pixel at a time
    };
    for (const Case c : {Case{"left", 0, {-1, 0}}, Case{"right", 0, {1, 0}}, Case{"up", 1, {0, -1}},
                         Case{"down", 1, {0, 1}}}) {
        SCOPED_TRACE(c.direction);
        const bool stacked = c.splitMode != 0;
        makeArea(c.splitMode, stacked ? 90 : 200, stacked ? 120 : 40,
                 stacked ? std::vector<int>{35, 50, 35} : std::vector<int>{70, 60, 70});
        frames.clear();
        setItem("移动 W|W", c.direction, 150); // 2.5 px a step
        item.Play(area);
        ASSERT_GT(frames.size(), 20u);
        int inked = 0;
        for (size_t k = 1; k < frames.size(); ++k) {
            const QImage& now = frames[k];
            const QImage& before = frames[k - 1];
            const int moved = int(MarqueePlayer::offsetAt(qint64(k), 150, 60000) -
                                  MarqueePlayer::offsetAt(qint64(k) - 1, 150, 60000));
            const QPoint d = c.unit * moved;
            for (int y = 0; y < now.height(); ++y)
                for (int x = 0; x < now.width(); ++x) {
                    const QRgb pixel = now.pixel(x, y);
                    ASSERT_TRUE(pixel == kInk || pixel == kBack) << "step " << k;
                    inked += pixel == kInk;
                    const QPoint from = QPoint(x, y) - d;
                    if (!before.rect().contains(from))
                        continue; // where the text comes in
                    ASSERT_EQ(pixel == kInk, before.pixel(from) == kInk)
                        << "step " << k << " at " << x << "," << y;
                }
        }
        EXPECT_GT(inked, 1000);
        EXPECT_EQ(firstInk(joined(), true, false), -1) << "the pass ends on the background";
        passes.clear();
    }
}

TEST_F(MarqueeTest, PassesRepeatAndEachLastsUntilTheTextHasLeft)
{
    makeArea(0, 100, 30, {100});
    setItem("ab", "left", 60, 3); // one pixel a step
    item.Play(area);
    ASSERT_EQ(passes.size(), 3u);
    const int steps = passes[0]["steps"].toInt();
    for (const QJsonObject& pass : passes)
        EXPECT_EQ(pass["steps"].toInt(), steps);
    // A pass: the text enters at the right edge and wholly leaves at the left, 100 + its width
    // pixels, plus the first step at zero.
    EXPECT_GT(steps, 101);
    EXPECT_LT(steps, 140);
    // Every wait is a refresh of 60 Hz, scheduled from the start: 16 or 17 ms, never drifting.
    const std::vector<long long> waits = clock.waitsMs();
    EXPECT_EQ(waits.size(), size_t(3 * steps - 1));
    for (long long ms : waits)
        EXPECT_TRUE(ms == 16 || ms == 17) << ms; // recorded in whole milliseconds
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::nanoseconds>(clock.now().time_since_epoch());
    EXPECT_EQ(elapsed.count(), MarqueePlayer::stepTimeNs(3 * steps - 1, 60000));
}

TEST_F(MarqueeTest, ALateStepJumpsToWhereTheTextShouldBe)
{
    makeArea(0, 300, 30, {300});
    setItem("late", "left", 60);
    int waits = 0;
    clock.onWait = [&] {
        frames.push_back(joined());
        if (++waits == 10)
            clock.advance(std::chrono::milliseconds(500)); // the machine stalls half a second
    };
    item.Play(area);
    // Step 10 was due half a second late: the next step drawn is step 40, 31 pixels on from
    // step 9 (the text's leading edge).
    const int before = firstInk(frames[9], true, false);
    const int after = firstInk(frames[10], true, false);
    EXPECT_EQ(before - after, 31);
    // Fewer steps in all than without the stall.
    ASSERT_EQ(passes.size(), 1u);
}

TEST_F(MarqueeTest, AStopEndsTheMarqueeAtItsNextStep)
{
    makeArea(0, 100, 30, {100});
    setItem("stop", "left", 60, 5);
    clock.onWait = [&] {
        if (clock.waitsMs().size() == 4)
            area.stopSignal().setLocked();
    };
    item.Play(area);
    area.stopSignal().reset();
    EXPECT_EQ(clock.waitsMs().size(), 4u);
    EXPECT_TRUE(passes.empty());
}

TEST_F(MarqueeTest, WhatThePreviousItemLeftIsClearedOutsideTheTextsRows)
{
    makeArea(1, 100, 80, {40, 40});
    for (const auto& section : area.sections()) {
        BackBuffer& child = *section->renderChild;
        std::lock_guard lock(child.sectionMutex);
        child.GetBackBuffer()->fill(Qt::red); // the last page of something else
    }
    setItem("x", "left", 600);
    item.Play(area);
    EXPECT_EQ(countColour(frames.front(), qRgb(255, 0, 0)), 0);
    EXPECT_EQ(frames.front().pixel(0, 0), kBack);
    EXPECT_EQ(frames.front().pixel(99, 79), kBack);
}
