#include "canvas/SectionLayout.h"
#include "model/CAct.h"
#include "model/HeadlessSectionHost.h"
#include "model/ProjectFile.h"

#include <gtest/gtest.h>

namespace {

class SectionsTest : public testing::Test
{
protected:
    SectionsTest() { area.setSectionHost(&host); }

    HeadlessSectionHost host;
    CAct area;
};

} // namespace

TEST_F(SectionsTest, AddedSectionsAreHiddenUntilLaidOut)
{
    area.AddSection(0, 480, 0);
    ASSERT_EQ(host.windowCount(), 1);
    EXPECT_EQ(host.window(*area.sections()[0])->title, QStringLiteral("[显示段1]"));
    EXPECT_FALSE(area.SectionsVisible());
    area.LayoutSections();
    EXPECT_TRUE(area.SectionsVisible());
    EXPECT_EQ(host.window(*area.sections()[0])->geometry, QRect(0, 0, 480, 360));
    EXPECT_EQ(area.TotalRect(), QRect(0, 0, 480, 360));
    area.ShowSections(false);
    EXPECT_FALSE(area.SectionsVisible());
    area.ShowSections(true);
    EXPECT_TRUE(area.SectionsVisible());
}

TEST_F(SectionsTest, LayoutCopiesTheAreaAndFramesTheJoinedPicture)
{
    area.changeSettings([&](AreaSettings& s) {
        s.ledWidth = 500;
        s.ledHeight = 64;
        s.frameLines = 1;
        s.frameColor = 0x0000FF;
        s.backColor = 0x123456;
    });
    area.AddSection(0, 200, 0);
    area.AddSection(1, 200, 0);
    area.AddSection(2, 100, 0);
    area.LayoutSections();
    const QRect windows[] = {{0, 0, 200, 64}, {0, 64, 200, 64}, {0, 128, 100, 64}};
    const QSize children[] = {{199, 62}, {200, 62}, {99, 62}};
    for (int k = 0; k < 3; ++k) {
        const SectionRecord& section = *area.sections()[static_cast<size_t>(k)];
        EXPECT_EQ(host.window(section)->geometry, windows[k]);
        EXPECT_EQ(section.renderChild->clientSize(), children[k]);
        EXPECT_EQ(section.frameLines, 1);
        EXPECT_EQ(section.frameColor, 0x0000FF);
        EXPECT_EQ(section.backColor, 0x123456);
        EXPECT_EQ(section.renderChild->fillColor(), 0x123456);
    }
    EXPECT_EQ(area.TotalRect(), QRect(0, 0, 498, 62));

    area.changeSettings([&](AreaSettings& s) { s.firstOffset = 100; });
    area.LayoutSections();
    EXPECT_EQ(host.window(*area.sections()[2])->geometry, QRect(0, 228, 100, 64));
}

TEST_F(SectionsTest, SectionsFromAProjectGetLedTitlesAndClearRemovesWindows)
{
    CAct source;
    source.adoptSection(std::make_unique<SectionRecord>(0, 240, 0));
    source.adoptSection(std::make_unique<SectionRecord>(1, 240, 0));
    ASSERT_TRUE(projectFromBytes(area, projectToBytes(source), QStringLiteral("p.zpm"), nullptr));
    EXPECT_EQ(host.windowCount(), 0);
    area.CreateSectionWindows();
    ASSERT_EQ(host.windowCount(), 2);
    EXPECT_EQ(host.window(*area.sections()[1])->title, QStringLiteral("[Led2]"));
    area.LayoutSections();
    EXPECT_EQ(area.TotalRect(), QRect(0, 0, 480, 360));
    area.ClearSections();
    EXPECT_EQ(host.windowCount(), 0);
    EXPECT_TRUE(area.sections().empty());
    EXPECT_FALSE(area.SectionsVisible());
    EXPECT_EQ(area.TotalRect(), QRect(0, 0, 0, 0));
}

TEST_F(SectionsTest, SectionsFromTheSettingsDivideTheTotal)
{
    area.changeSettings([&](AreaSettings& s) { s.ledWidth = 1001; });
    const std::vector<int> lengths = SectionLayout::splitLengths(area.settings().ledWidth, 10);
    for (int i = 0; i < 10; ++i)
        area.AddSection(i, lengths[static_cast<size_t>(i)], 0);
    area.LayoutSections();
    EXPECT_EQ(area.TotalRect().width(), 1001);
    EXPECT_EQ(host.window(*area.sections()[9])->geometry, QRect(0, 9 * 360, 92, 360));
}
