#include "render/DesktopImage.h"
#include "TransitionFixture.h"
#include "render/AreaBands.h"

#include <gtest/gtest.h>

#include <QImage>

namespace {

class DesktopImageTest : public TransitionTest
{
protected:
    // Draws a picture of the whole LED in which every section's band differs from the others,
    // as the players draw it.
    QImage drawPicture()
    {
        QImage picture = pattern(area.TotalRect().size());
        AreaBands::present(area, picture, picture.rect());
        return picture;
    }

    // Both ways of making each picture agree: the headless host's windows and the area's layout.
    QImage wall()
    {
        const QImage fromHost = composeWall(area, host);
        EXPECT_EQ(fromHost, composeWall(area));
        return fromHost;
    }
    QImage desktop()
    {
        const QImage fromHost = composeDesktop(area, host);
        EXPECT_EQ(fromHost, composeDesktop(area));
        return fromHost;
    }
};

} // namespace

TEST_F(DesktopImageTest, TheWallJoinsStackedWindowsSideBySideAndTheDesktopStaysStacked)
{
    makeSections(0, {640, 640}, 96);
    // A gap above the windows is the desktop's, never the wall's.
    area.changeSettings([](AreaSettings& s) { s.firstOffset = 10; });
    area.LayoutSections();
    const QImage picture = drawPicture();
    ASSERT_EQ(picture.size(), QSize(1280, 96));
    EXPECT_EQ(wall(), picture);

    const QImage shown = desktop();
    ASSERT_EQ(shown.size(), QSize(640, 10 + 192));
    EXPECT_EQ(shown.copy(0, 10, 640, 96), picture.copy(0, 0, 640, 96));
    EXPECT_EQ(shown.copy(0, 106, 640, 96), picture.copy(640, 0, 640, 96));
    EXPECT_EQ(shown.pixel(3, 4), qRgb(0, 0, 0));
}

TEST_F(DesktopImageTest, TheWallStacksSideBySideWindowsAndUnevenSectionsKeepTheirPlace)
{
    makeSections(1, {48, 48}, 1280);
    QImage picture = drawPicture();
    ASSERT_EQ(picture.size(), QSize(1280, 96));
    EXPECT_EQ(wall(), picture);
    QImage shown = desktop();
    ASSERT_EQ(shown.size(), QSize(2560, 48));
    EXPECT_EQ(shown.copy(0, 0, 1280, 48), picture.copy(0, 0, 1280, 48));
    EXPECT_EQ(shown.copy(1280, 0, 1280, 48), picture.copy(0, 48, 1280, 48));

    area.ClearSections();
    makeSections(0, {427, 427, 426}, 96);
    picture = drawPicture();
    ASSERT_EQ(picture.size(), QSize(1280, 96));
    EXPECT_EQ(wall(), picture);
    shown = desktop();
    ASSERT_EQ(shown.size(), QSize(427, 288));
    EXPECT_EQ(shown.copy(0, 192, 426, 96), picture.copy(854, 0, 426, 96));
    EXPECT_EQ(shown.pixel(426, 200), qRgb(0, 0, 0)); // the short last window
}

TEST_F(DesktopImageTest, TheWallShowsOneFrameAroundThePicture)
{
    makeSections(0, {640, 640}, 96, 2);
    area.changeSettings([](AreaSettings& s) { s.frameColor = 0x0000FF; }); // red
    area.LayoutSections();
    const QImage picture = drawPicture();
    ASSERT_EQ(picture.size(), QSize(1276, 92));
    const QImage shown = wall();
    ASSERT_EQ(shown.size(), QSize(1280, 96));
    EXPECT_EQ(shown.copy(2, 2, 1276, 92), picture);
    for (const QPoint at : {QPoint(0, 0), QPoint(1, 50), QPoint(639, 1), QPoint(640, 94),
                            QPoint(1279, 95), QPoint(1278, 40)})
        EXPECT_EQ(shown.pixel(at), qRgb(255, 0, 0)) << at.x() << "," << at.y();
    // No frame where the sections meet.
    EXPECT_EQ(shown.pixel(641, 50), picture.pixel(639, 48));
}

TEST_F(DesktopImageTest, NoPictureWhileTheWindowsAreHidden)
{
    makeSections(0, {100, 100}, 40);
    drawPicture();
    area.ShowSections(false);
    EXPECT_TRUE(wall().isNull());
    EXPECT_TRUE(desktop().isNull());
    area.ShowSections(true);
    EXPECT_EQ(wall().size(), QSize(200, 40));
}
