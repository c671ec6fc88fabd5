#include "canvas/SectionLayout.h"

#include <gtest/gtest.h>

using namespace SectionLayout;

TEST(SectionLayout, ThreeFramedSectionsSplittingTheWidth)
{
    const int lengths[] = {200, 200, 100};
    const QRect windows[] = {{0, 0, 200, 64}, {0, 64, 200, 64}, {0, 128, 100, 64}};
    const QRect children[] = {{1, 1, 199, 62}, {0, 1, 200, 62}, {0, 1, 99, 62}};
    std::vector<QSize> sizes;
    for (int k = 0; k < 3; ++k) {
        const QRect window = windowRect(0, 0, 498, 64, k, lengths[k], 0);
        EXPECT_EQ(window, windows[k]) << k;
        const QRect child = childRect(window.size(), 1, 3, k, 0);
        EXPECT_EQ(child, children[k]) << k;
        sizes.push_back(child.size());
    }
    EXPECT_EQ(totalSize(sizes, 0), QSize(498, 62));
    EXPECT_EQ(bandOffsets(sizes, 0), (std::vector<int>{0, 199, 399}));
}

TEST(SectionLayout, FramesOfSectionsSplittingTheHeight)
{
    // Side by side, 32 wide and 100 high each: the frame runs round the joined picture.
    const QSize client(32, 100);
    EXPECT_EQ(childRect(client, 2, 3, 0, 1), QRect(2, 2, 28, 98));
    EXPECT_EQ(childRect(client, 2, 3, 1, 1), QRect(2, 0, 28, 100));
    EXPECT_EQ(childRect(client, 2, 3, 2, 1), QRect(2, 0, 28, 98));
    const std::vector<QSize> sizes{{28, 98}, {28, 100}, {28, 98}};
    EXPECT_EQ(totalSize(sizes, 1), QSize(28, 296));
    EXPECT_EQ(bandOffsets(sizes, 1), (std::vector<int>{0, 98, 198}));
}

TEST(SectionLayout, OneSectionIsFramedOnAllSides)
{
    EXPECT_EQ(childRect(QSize(480, 360), 2, 1, 0, 0), QRect(2, 2, 476, 356));
    EXPECT_EQ(childRect(QSize(480, 360), 0, 1, 0, 0), QRect(0, 0, 480, 360));
    EXPECT_EQ(childRect(QSize(3, 3), 3, 1, 0, 0).size(), QSize(0, 0)); // never negative
}

TEST(SectionLayout, PlacementFollowsTheSplitAndThePos)
{
    // LED 480 x 32 split horizontally into three at Pos 100.
    for (int k = 0; k < 3; ++k)
        EXPECT_EQ(windowRect(0, 100, 480, 32, k, 160, 0), QRect(0, 100 + 32 * k, 160, 32));
    // The same split vertically after the exchange: 32 wide, 480 high.
    for (int k = 0; k < 3; ++k)
        EXPECT_EQ(windowRect(1, 100, 32, 480, k, 160, 0), QRect(100 + 32 * k, 0, 32, 160));
    EXPECT_EQ(windowRect(0, 0, 480, 32, 1, 160, 40), QRect(40, 32, 160, 32));
    EXPECT_EQ(windowRect(1, 0, 32, 480, 1, 160, 40), QRect(32, 40, 32, 160));
}

TEST(SectionLayout, LengthsFromATotal)
{
    EXPECT_EQ(splitLengths(1000, 10), std::vector<int>(10, 100));
    std::vector<int> expected(9, 101);
    expected.push_back(92);
    EXPECT_EQ(splitLengths(1001, 10), expected);
    EXPECT_EQ(splitLengths(480, 7), (std::vector<int>{69, 69, 69, 69, 69, 69, 66}));
    EXPECT_EQ(splitLengths(480, 1), std::vector<int>{480});
    EXPECT_TRUE(splitLengths(480, 0).empty());
}

TEST(SectionLayout, TheControlWindowStandsBesideTheLedNeverOverIt)
{
    const QRect screen(0, 0, 1280, 800);
    const QSize window(640, 420);
    // A first start: the 480 x 360 LED at 0,0; the window goes to its right.
    EXPECT_EQ(SectionLayout::controlWindowPosition(screen, QRect(0, 0, 480, 360), window, {5, 5}),
              QPoint(488, 0));
    // A wide LED: below it.
    EXPECT_EQ(SectionLayout::controlWindowPosition(screen, QRect(0, 0, 1280, 64), window, {5, 5}),
              QPoint(0, 72));
    // An LED on the right: to its left.
    EXPECT_EQ(SectionLayout::controlWindowPosition(screen, QRect(800, 0, 480, 800), window, {5, 5}),
              QPoint(152, 0));
    // No room anywhere: where it was.
    EXPECT_EQ(SectionLayout::controlWindowPosition(screen, QRect(0, 0, 1280, 800), window, {5, 5}),
              QPoint(5, 5));
}
