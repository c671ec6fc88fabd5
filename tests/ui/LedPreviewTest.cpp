#include "ui/LedPreview.h"
#include "model/CAct.h"
#include "model/HeadlessSectionHost.h"
#include "render/AreaBands.h"

#include <QImage>
#include <QPixmap>

#include <gtest/gtest.h>

namespace {

class LedPreviewTest : public testing::Test
{
protected:
    // An LED of `width` x `height` in `count` sections of windows one below the other.
    void makeWall(int width, int height, int count)
    {
        area.setSectionHost(&host);
        area.changeSettings([&](AreaSettings& s) {
            s.splitMode = 0;
            s.ledWidth = width;
            s.ledHeight = height;
        });
        for (int k = 0; k < count; ++k)
            area.AddSection(k, width / count, 0);
        area.LayoutSections();
    }

    // Draws `picture` over the whole LED, as a player does.
    void draw(const QImage& picture) { AreaBands::present(area, picture, picture.rect()); }

    // What the preview shows once it is `width` wide.
    QImage shownAt(int width)
    {
        preview.resize(width, preview.height());
        preview.show();
        preview.hide();
        return preview.pixmap().toImage().convertToFormat(QImage::Format_RGB32);
    }

    HeadlessSectionHost host;
    CAct area;
    LedPreview preview{area};
};

// Every pixel differs from its neighbours, and each section's band from the others'.
QImage pattern(QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            image.setPixel(x, y, qRgb(x & 0xFF, (y * 5) & 0xFF, 0x40 | (x >> 8) << 4));
    return image;
}

} // namespace

TEST_F(LedPreviewTest, TheWallIsShownJoinedAtTheLargestWholeScaleThatFits)
{
    makeWall(200, 40, 2); // windows 100 x 40 one below the other on the desktop
    const QImage picture = pattern(QSize(200, 40));
    draw(picture);
    // 96 high: twice fits, three times does not.
    const QImage shown = shownAt(700);
    ASSERT_EQ(shown.size(), QSize(400, 80));
    QImage expected(400, 80, QImage::Format_RGB32);
    for (int y = 0; y < 80; ++y)
        for (int x = 0; x < 400; ++x)
            expected.setPixel(x, y, picture.pixel(x / 2, y / 2));
    EXPECT_EQ(shown, expected);
    EXPECT_TRUE(preview.toolTip().contains("2x")) << preview.toolTip().toStdString();
    // Only room for once across: pixel for pixel.
    EXPECT_EQ(shownAt(399), picture);
}

TEST_F(LedPreviewTest, AWallWiderThanThePreviewIsShownAtAWholeDivisorAndSaysSo)
{
    makeWall(1280, 96, 2);
    // Thin strokes: every other column lit. Point sampling shows all of them or none.
    QImage picture(1280, 96, QImage::Format_RGB32);
    for (int y = 0; y < 96; ++y)
        for (int x = 0; x < 1280; ++x)
            picture.setPixel(x, y, x % 2 ? qRgb(255, 255, 255) : qRgb(0, 0, 0));
    draw(picture);
    EXPECT_EQ(shownAt(1280), picture);

    const QImage shown = shownAt(640);
    ASSERT_EQ(shown.size(), QSize(640, 48));
    for (const QPoint at : {QPoint(0, 0), QPoint(321, 20), QPoint(639, 47)}) {
        const int grey = qGray(shown.pixel(at));
        EXPECT_GT(grey, 64) << at.x();
        EXPECT_LT(grey, 192) << at.x();
    }
    EXPECT_TRUE(preview.toolTip().contains("1:2")) << preview.toolTip().toStdString();
    // Each dot is the mean of its 2 x 2 LED pixels: half lit.
    EXPECT_EQ(shown.pixel(10, 10), qRgb(128, 128, 128));
    // 500 wide: three LED pixels a dot, the last dot holds what is left.
    const QImage third = shownAt(500);
    EXPECT_EQ(third.size(), QSize(427, 32));
    EXPECT_TRUE(preview.toolTip().contains("1:3")) << preview.toolTip().toStdString();
}

TEST(LedPreviewScale, WholeScalesFitBothWays)
{
    EXPECT_EQ(LedPreview::wholeScale(QSize(1280, 96), QSize(1280, 96)), 1);
    EXPECT_EQ(LedPreview::wholeScale(QSize(1280, 96), QSize(1279, 96)), 0);
    EXPECT_EQ(LedPreview::wholeScale(QSize(200, 40), QSize(1000, 96)), 2);
    EXPECT_EQ(LedPreview::wholeScale(QSize(60, 240), QSize(800, 96)), 0);
    EXPECT_EQ(LedPreview::wholeScale(QSize(), QSize(800, 96)), 0);
    EXPECT_TRUE(LedPreview::fitted(QImage(), QSize(800, 96)).isNull());
    EXPECT_EQ(LedPreview::wholeDivisor(QSize(1280, 96), QSize(640, 96)), 2);
    EXPECT_EQ(LedPreview::wholeDivisor(QSize(1280, 96), QSize(639, 96)), 3);
    QImage tallPicture(60, 240, QImage::Format_RGB32);
    tallPicture.fill(qRgb(30, 60, 90));
    const QImage tall = LedPreview::fitted(tallPicture, QSize(800, 96));
    EXPECT_EQ(tall.size(), QSize(20, 80));
    EXPECT_EQ(tall.pixel(19, 79), qRgb(30, 60, 90));
}
