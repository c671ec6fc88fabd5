#include "render/text/TextLayout.h"

#include <gtest/gtest.h>

using namespace TextLayout;

TEST(TextLayout, LinesPerPageAndSlots)
{
    const PageLines page = pageLines(100, 16, 2);
    EXPECT_EQ(page.linesPerPage, 5);
    EXPECT_EQ(page.slotHeight, 19);
    const QRect area(0, 0, 320, 100);
    const int tops[] = {2, 21, 40, 59, 78};
    for (int i = 0; i < 5; ++i) {
        const QRect slot = slotRect(area, page, 5, i, false);
        EXPECT_EQ(slot.top(), tops[i]) << i;
        EXPECT_EQ(slot.height(), 19);
        EXPECT_EQ(slot.width(), 320);
    }
    // A page of 10 slots over 103 - 4 = 99 pixels spreads the 9 spare pixels over the slots.
    const PageLines ten = pageLines(103, 7, 2);
    EXPECT_EQ(ten.linesPerPage, 11);
    EXPECT_EQ(slotRect(QRect(0, 0, 10, 103), ten, 11, 10, false).top(),
              2 + 10 * 9 + (99 - 99) * 10 / 11);
}

TEST(TextLayout, AnAreaShorterThanALineHoldsOneLine)
{
    EXPECT_EQ(pageLines(15, 16, 2).linesPerPage, 1);
    EXPECT_EQ(pageLines(15, 16, 2).slotHeight, 11);
    EXPECT_EQ(pageLines(3, 16, 2).slotHeight, -1);
}

TEST(TextLayout, VerticalCentring)
{
    const QRect area(0, 0, 320, 100);
    const PageLines page = pageLines(100, 16, 2); // n 5, h 19, gap 0.2, pitch 19.2
    EXPECT_EQ(slotRect(area, page, 1, 0, true), area);
    EXPECT_EQ(slotRect(area, page, 2, 0, true).top(), 30); // (100 - 38.4) / 2 = 30.8
    EXPECT_EQ(slotRect(area, page, 2, 1, true).top(), 50); // 30.8 + 19.2
    EXPECT_EQ(slotRect(area, page, 5, 0, true).top(), 2);  // a full page sits as without centring
}

TEST(TextLayout, CharacterPositionsSpreadWrappedLinesAndAlignParagraphEnds)
{
    const std::vector<int> four(4, 20);
    std::vector<int> x;
    characterPositions(four, 0, 100, false, Align::Right, x);
    EXPECT_EQ(x, (std::vector<int>{0, 25, 50, 75}));
    characterPositions(four, 0, 100, true, Align::None, x);
    EXPECT_EQ(x, (std::vector<int>{0, 20, 40, 60}));
    characterPositions(four, 0, 100, true, Align::Left, x);
    EXPECT_EQ(x, (std::vector<int>{0, 20, 40, 60}));
    characterPositions(four, 0, 100, true, Align::Center, x);
    EXPECT_EQ(x, (std::vector<int>{10, 30, 50, 70}));
    characterPositions(four, 0, 100, true, Align::Right, x);
    EXPECT_EQ(x, (std::vector<int>{20, 40, 60, 80}));
    characterPositions(four, 0, 80, true, Align::Right, x); // spare 0: drawn as one piece
    EXPECT_TRUE(x.empty());
    characterPositions(four, 0, 70, false, Align::None, x);
    EXPECT_TRUE(x.empty());
    characterPositions({}, 0, 70, false, Align::None, x);
    EXPECT_TRUE(x.empty());
    characterPositions({10, 10, 10}, 5, 40, false, Align::None, x); // s = 10 / 3
    EXPECT_EQ(x, (std::vector<int>{5, 18, 31}));
}

TEST(TextLayout, OutlineColoursAndFontPixels)
{
    EXPECT_EQ(darkColour(0x00FFFFFF), 0x00AAAAAA);
    EXPECT_EQ(lightColour(0x00FFFFFF), 0x00FFFFFF);
    EXPECT_EQ(halfColour(0x000000FF), 0x00000080);
    EXPECT_EQ(lightColour(0x00306090), 0x00408000 | 0xC0);
    EXPECT_EQ(pointsToPixels(12), 16);
    EXPECT_EQ(pointsToPixels(9), 12);
    EXPECT_EQ(pointsToPixels(10), 13);
    EXPECT_EQ(pointsToPixels(11), 15);
}
