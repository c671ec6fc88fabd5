#include "model/CAct.h"
#include "ui/SectionWindowHost.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QThread>

#include <gtest/gtest.h>

namespace {

constexpr QRgb kRed = qRgb(255, 0, 0);
constexpr QRgb kBlue = qRgb(0, 0, 255);
constexpr QRgb kGreen = qRgb(0, 255, 0);

// The whole desktop as it is on the screen.
QImage desktop()
{
    return QGuiApplication::primaryScreen()->grabWindow(0).toImage().convertToFormat(
        QImage::Format_RGB32);
}

struct Probe
{
    QPoint at;
    QRgb colour;
};

// Lets the windows map and paint, until every probe shows its colour or a few seconds pass.
QImage settle(std::initializer_list<Probe> probes)
{
    QElapsedTimer timer;
    timer.start();
    QImage screen;
    const auto settled = [&] {
        for (const Probe& p : probes)
            if (screen.pixel(p.at) != p.colour)
                return false;
        return true;
    };
    do {
        QApplication::processEvents(QEventLoop::AllEvents, 50);
        QThread::msleep(20);
        screen = desktop();
    } while (!settled() && timer.elapsed() < 10000);
    return screen;
}

} // namespace

TEST(SectionWindowsOnScreen, SectionsSitAtTheirDesktopRectanglesWithTheirFrame)
{
    SectionWindowHost host(nullptr);
    CAct area;
    area.setSectionHost(&host);
    area.changeSettings([&](AreaSettings& s) {
        s.ledWidth = 500;
        s.ledHeight = 64;
        s.frameLines = 2;
        s.frameColor = 0x000000FF; // red
        s.backColor = 0x00FF0000;  // blue
        s.firstOffset = 40;
    });
    area.AddSection(0, 200, 10);
    area.AddSection(1, 200, 10);
    area.AddSection(2, 100, 10);
    area.LayoutSections();
    {
        BackBuffer& child = *area.sections()[1]->renderChild;
        std::lock_guard lock(child.sectionMutex);
        child.GetBackBuffer()->fill(kGreen);
        child.Present();
    }

    // One probe in each window: all three mapped and painted.
    const QImage screen =
        settle({{QPoint(12, 42), kBlue}, {QPoint(110, 136), kGreen}, {QPoint(108, 200), kRed}});
    // Section 0 at (10, 40) 200 x 64, frame on its left, top and bottom.
    EXPECT_EQ(screen.pixel(10, 40), kRed);
    EXPECT_EQ(screen.pixel(11, 41), kRed);
    EXPECT_EQ(screen.pixel(12, 42), kBlue);
    EXPECT_EQ(screen.pixel(209, 42), kBlue); // no frame where it joins section 1
    EXPECT_EQ(screen.pixel(209, 101), kBlue);
    EXPECT_EQ(screen.pixel(209, 102), kRed);
    // Section 1 at (10, 104): drawn green inside, framed top and bottom only.
    EXPECT_EQ(screen.pixel(10, 104), kRed);
    EXPECT_EQ(screen.pixel(10, 106), kGreen);
    EXPECT_EQ(screen.pixel(209, 165), kGreen);
    EXPECT_EQ(screen.pixel(209, 166), kRed);
    // Section 2 at (10, 168) 100 x 64, frame on its right.
    EXPECT_EQ(screen.pixel(107, 200), kBlue);
    EXPECT_EQ(screen.pixel(108, 200), kRed);
    EXPECT_EQ(screen.pixel(109, 231), kRed);
    // Nothing outside the rectangles.
    EXPECT_NE(screen.pixel(9, 40), kRed);
    EXPECT_NE(screen.pixel(10, 39), kRed);
    EXPECT_NE(screen.pixel(110, 200), kRed);
    EXPECT_NE(screen.pixel(10, 232), kRed);

    area.ShowSections(false);
    EXPECT_FALSE(area.SectionsVisible());
    const QImage hidden =
        settle({{QPoint(10, 40), qRgb(0, 0, 0)}, {QPoint(10, 106), qRgb(0, 0, 0)}});
    EXPECT_NE(hidden.pixel(10, 106), kGreen);
    area.ClearSections();
}

int main(int argc, char* argv[])
{
    testing::InitGoogleTest(&argc, argv);
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        std::fprintf(stderr,
                     "test_x11 needs an X display: run it through tests/support/with-xvfb\n");
        return 1;
    }
    qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
