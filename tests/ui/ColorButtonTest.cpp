#include "ui/widgets/CColorBtn.h"
#include "ui/widgets/CColorBtnDlg.h"
#include "ui/widgets/ColorPalette.h"

#include <QApplication>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

class ColorButtonTest : public testing::Test
{
protected:
    void SetUp() override { ColorPalette::shared().reset(); }
    void TearDown() override
    {
        ColorPalette::shared().reset();
        CColorBtn::setColorChooser(nullptr);
    }

    // Runs `act` on the popup once it is open.
    static void whenPopupOpens(std::function<void(CColorBtnDlg&)> act)
    {
        QTimer::singleShot(0, [act] {
            if (auto* popup = qobject_cast<CColorBtnDlg*>(QApplication::activePopupWidget()))
                act(*popup);
            else if (auto* modal = qobject_cast<CColorBtnDlg*>(QApplication::activeModalWidget()))
                act(*modal);
        });
    }
};

} // namespace

TEST_F(ColorButtonTest, AgesRankTheSlotsByLastUse)
{
    ColorPalette palette;
    palette.choose(0); // slot 0 already has age 1: nothing else changes
    const ColorPalette fresh;
    for (int k = 0; k < ColorPalette::kSize; ++k)
        EXPECT_EQ(palette.age(k), fresh.age(k)) << k;

    // Other... with a new colour replaces slot 10, the least recently used.
    EXPECT_EQ(palette.chooseOther(0x123456), 10);
    EXPECT_EQ(palette.color(10), 0x123456);
    EXPECT_EQ(palette.age(10), 1);
    EXPECT_EQ(palette.age(9), 20);
    EXPECT_EQ(palette.age(0), 2);

    // A colour already in the palette is chosen, nothing replaced.
    EXPECT_EQ(palette.chooseOther(0x0000FF), 13);
    EXPECT_EQ(palette.color(9), 0xF0CAA6);
    EXPECT_EQ(palette.age(13), 1);
    std::vector<int> ages;
    for (int k = 0; k < ColorPalette::kSize; ++k)
        ages.push_back(palette.age(k));
    std::sort(ages.begin(), ages.end());
    for (int k = 0; k < ColorPalette::kSize; ++k)
        EXPECT_EQ(ages[size_t(k)], k + 1); // still a ranking
}

TEST_F(ColorButtonTest, PopupOpensUnderOrAboveTheButton)
{
    const QSize screen(800, 600);
    const QSize popup(90, 120);
    EXPECT_EQ(colorPopupPosition(QRect(100, 100, 50, 20), popup, screen), QPoint(100, 120));
    EXPECT_EQ(colorPopupPosition(QRect(100, 500, 50, 20), popup, screen),
              QPoint(100, 380)); // above
    EXPECT_EQ(colorPopupPosition(QRect(760, 100, 40, 20), popup, screen), QPoint(710, 120)); // left
}

TEST_F(ColorButtonTest, PickingASwatchSetsTheColourBeforeTheOwnerHearsTheClick)
{
    CColorBtn button;
    button.resize(60, 24);
    int seen = -1;
    QObject::connect(&button, &CColorBtn::clicked, [&] { seen = button.color(); });
    whenPopupOpens([](CColorBtnDlg& popup) { popup.chooseSwatch(13); });
    button.click();
    EXPECT_EQ(button.color(), 0x0000FF);
    EXPECT_EQ(seen, 0x0000FF);
    EXPECT_EQ(ColorPalette::shared().age(13), 1);

    whenPopupOpens([](CColorBtnDlg& popup) { popup.reject(); }); // a click outside
    button.click();
    EXPECT_EQ(button.color(), 0x0000FF);

    CColorBtn::setColorChooser(
        [](QWidget*, QColor) { return std::optional<QColor>(QColor(1, 2, 3)); });
    whenPopupOpens([](CColorBtnDlg& popup) { popup.chooseOther(); });
    button.click();
    EXPECT_EQ(button.color(), 0x030201);
    EXPECT_EQ(ColorPalette::shared().color(10), 0x030201);
}

TEST_F(ColorButtonTest, DrawingShowsTheSwatchArrowAndEdges)
{
    CColorBtn button;
    button.resize(60, 24);
    button.setColor(0x000000FF); // red
    QImage image(button.size(), QImage::Format_RGB32);
    button.render(&image);
    const int R = 60, B = 24, m = B / 2;
    EXPECT_EQ(image.pixel(10, 10), qRgb(255, 0, 0)); // swatch
    EXPECT_EQ(image.pixel(5, 4), qRgb(0, 0, 0));     // its outline
    EXPECT_EQ(image.pixel(R - 16, B - 5), qRgb(0, 0, 0));
    EXPECT_EQ(image.pixel(R - 10, 6), qRgb(255, 255, 255)); // separator
    EXPECT_EQ(image.pixel(R - 11, 6), qRgb(128, 128, 128));
    EXPECT_EQ(image.pixel(R - 4, m - 1), qRgb(0, 0, 0)); // arrow
    EXPECT_EQ(image.pixel(R - 6, m + 1), qRgb(0, 0, 0));
    EXPECT_EQ(image.pixel(R - 1, B - 1), qRgb(0, 0, 0)); // released edges
    EXPECT_EQ(image.pixel(1, 1), qRgb(255, 255, 255));

    button.setEnabled(false);
    button.render(&image);
    EXPECT_NE(image.pixel(10, 10), qRgb(255, 0, 0)); // no swatch
    EXPECT_EQ(image.pixel(R - 4, m - 1), qRgb(255, 255, 255));
    EXPECT_EQ(image.pixel(R - 7, m - 1), qRgb(128, 128, 128));
}
