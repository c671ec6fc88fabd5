#include "render/TransitionEngine.h"
#include "TransitionFixture.h"

#include <gtest/gtest.h>

#include <set>

TEST_F(TransitionTest, EveryEffectEndsWithThePictureInBothArrangements)
{
    for (int splitMode : {0, 1}) {
        for (int sections : {1, 3}) {
            for (int effect : {-1, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 50}) {
                SCOPED_TRACE(testing::Message() << "split " << splitMode << ", sections "
                                                << sections << ", effect " << effect);
                area.ClearSections();
                makeSections(splitMode, std::vector<int>(size_t(sections), 23), 17,
                             sections == 3 ? 1 : 0);
                EXPECT_TRUE(RunTransition(source, effect, 0, area));
                EXPECT_EQ(shown(), source);
            }
        }
    }
}

TEST_F(TransitionTest, EffectsOutsideTheTableDrawAtOnceWithoutWaiting)
{
    makeSections(0, {30}, 10);
    for (int effect : {0, 51, 60, 1000, -1}) {
        RunTransition(source, effect, 10, area);
        EXPECT_TRUE(clock.waitsMs().empty()) << effect;
    }
    RunTransition(source, 1, 10, area);
    EXPECT_EQ(clock.waitsMs(), std::vector<long long>{100});
}

TEST_F(TransitionTest, CoverPacing)
{
    makeSections(0, {20}, 4);
    std::vector<quint64> presentsAtWait;
    clock.onWait = [&] { presentsAtWait.push_back(presents()); };

    RunTransition(source, 2, 0, area); // 1 ms after columns 0, 6, 12, 18
    EXPECT_EQ(clock.waitsMs(), std::vector<long long>(4, 1));
    EXPECT_EQ(presentsAtWait, (std::vector<quint64>{1, 7, 13, 19}));

    for (const auto& [speed, ms] : {std::pair(5, 1), std::pair(6, 1), std::pair(10, 5)}) {
        VirtualClock fresh;
        area.setClock(fresh);
        RunTransition(source, 3, speed, area);
        EXPECT_EQ(fresh.waitsMs(), std::vector<long long>(20, ms)) << speed;
    }
    area.setClock(clock);
}

TEST_F(TransitionTest, LineAndSlatPacing)
{
    makeSections(0, {10}, 4);
    std::vector<quint64> presentsAtWait;
    clock.onWait = [&] { presentsAtWait.push_back(presents()); };
    RunTransition(source, 8, 0, area); // m = 5: steps 0..5, waits after 0 and 3
    EXPECT_EQ(clock.waitsMs(), (std::vector<long long>{1, 1}));
    EXPECT_EQ(presentsAtWait, (std::vector<quint64>{1, 4}));

    for (const auto& [speed, waits] :
         {std::pair(2, std::vector<long long>(6, 1)), std::pair(3, std::vector<long long>(6, 1)),
          std::pair(7, std::vector<long long>(6, 5))}) {
        VirtualClock fresh;
        area.setClock(fresh);
        RunTransition(source, 10, speed, area);
        EXPECT_EQ(fresh.waitsMs(), waits) << speed;
    }
    for (const auto& [speed, ms] : {std::pair(0, 5), std::pair(3, 20)}) {
        VirtualClock fresh;
        area.setClock(fresh);
        RunTransition(source, 6, speed, area);
        EXPECT_EQ(fresh.waitsMs(), std::vector<long long>(10, ms)) << speed;
    }
    area.setClock(clock);
}

TEST_F(TransitionTest, SlatsOfANarrowSectionFillItInTenSteps)
{
    makeSections(0, {25}, 4);
    std::vector<std::set<int>> steps;
    clock.onWait = [&] { steps.push_back(newColumns()); };
    RunTransition(source, 6, 0, area);
    ASSERT_EQ(steps.size(), 10u);
    EXPECT_EQ(steps[0], (std::set<int>{0, 10, 20}));
    EXPECT_EQ(steps[9].size(), 25u);
    EXPECT_EQ(steps[8].size(), 23u); // 9, 19 missing; 29 lies outside
}

TEST_F(TransitionTest, OpenAndCloseRevealColumnsInOrder)
{
    makeSections(0, {10}, 4);
    std::vector<std::set<int>> steps;
    clock.onWait = [&] { steps.push_back(newColumns()); };
    RunTransition(source, 8, 3, area);
    const std::vector<std::set<int>> opened{{5},
                                            {4, 5, 6},
                                            {3, 4, 5, 6, 7},
                                            {2, 3, 4, 5, 6, 7, 8},
                                            {1, 2, 3, 4, 5, 6, 7, 8, 9},
                                            {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}};
    EXPECT_EQ(steps, opened);

    area.ClearSections();
    makeSections(0, {10}, 4);
    steps.clear();
    RunTransition(source, 10, 3, area);
    const std::vector<std::set<int>> closed{{0},
                                            {0, 1, 9},
                                            {0, 1, 2, 8, 9},
                                            {0, 1, 2, 3, 7, 8, 9},
                                            {0, 1, 2, 3, 4, 6, 7, 8, 9},
                                            {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}};
    EXPECT_EQ(steps, closed);
}

TEST_F(TransitionTest, RightCoverWalksFromTheLastSection)
{
    makeSections(0, {10, 10}, 4);
    std::vector<std::set<int>> steps;
    clock.onWait = [&] { steps.push_back(newColumns()); };
    RunTransition(source, 3, 6, area);
    ASSERT_EQ(steps.size(), 20u);
    EXPECT_EQ(steps[0], std::set<int>{19});
    EXPECT_EQ(steps[9].size(), 10u);
    EXPECT_EQ(*steps[9].begin(), 10);
    EXPECT_EQ(*steps[10].begin(), 9);
    EXPECT_EQ(area.sections()[0]->renderChild->presentCount(), 10u);
    EXPECT_EQ(area.sections()[1]->renderChild->presentCount(), 10u);
}

TEST_F(TransitionTest, MoveUpShiftsTheOldPictureOut)
{
    for (int splitMode : {0, 1}) {
        SCOPED_TRACE(splitMode);
        area.ClearSections();
        makeSections(splitMode, {8, 8}, 8);
        const QImage first = source;
        RunTransition(first, 0, 0, area);
        source = first.mirrored(true, true);
        int step = 0;
        bool halfwayChecked = false;
        clock.onWait = [&] {
            if (++step != 4)
                return;
            // Four rows in: the old picture has moved up by four.
            const QImage now = shown();
            const int h = now.height();
            EXPECT_EQ(now.pixel(3, 0), first.pixel(3, 4));
            EXPECT_EQ(now.pixel(3, h - 1), source.pixel(3, 3));
            EXPECT_EQ(now.pixel(3, h - 4), source.pixel(3, 0));
            halfwayChecked = true;
        };
        RunTransition(source, 12, 3, area);
        clock.onWait = nullptr;
        EXPECT_TRUE(halfwayChecked);
        EXPECT_EQ(shown(), source);
    }
}

TEST_F(TransitionTest, StopLeavesOldAndNewColumns)
{
    makeSections(0, {20}, 4);
    int waits = 0;
    clock.onWait = [&] {
        if (++waits == 3)
            area.stopSignal().setLocked();
    };
    EXPECT_TRUE(RunTransition(source, 2, 6, area));
    EXPECT_EQ(newColumns(), (std::set<int>{0, 1, 2}));
    EXPECT_EQ(shown().pixel(10, 1), qRgb(0x40, 0x40, 0x40));
    area.stopSignal().reset();
}

TEST_F(TransitionTest, NoSectionsOrEmptyAreaDrawNothing)
{
    area.setClock(clock);
    const QImage picture = pattern(QSize(10, 10));
    for (int effect = 0; effect <= 15; ++effect)
        EXPECT_TRUE(RunTransition(picture, effect, 0, area));
}
