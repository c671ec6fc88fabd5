#include "model/CAct.h"
#include "model/SectionRecord.h"
#include "ui/SectionWindow.h"
#include "ui/SectionWindowHost.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QThread>
#include <QWidget>

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

namespace {

// Rows [from, to) of the back buffer in `colour`; the rest left as they were; only those rows told.
void paintRows(BackBuffer& child, int from, int to, QRgb colour, int step)
{
    std::lock_guard lock(child.sectionMutex);
    QImage* buffer = child.GetBackBuffer();
    for (int y = from; y < to; ++y) {
        auto* line = reinterpret_cast<QRgb*>(buffer->scanLine(y));
        std::fill(line, line + buffer->width(), colour);
    }
    child.Present(FrameStamp{step, 0, step}, QRect(0, from, buffer->width(), to - from));
}

} // namespace

// The window puts its pictures through its own shared-memory connection: what a step told
// reaches the screen, rows it did not tell stay as they were, steps faster than the server
// reads lose nothing, and a window that was covered shows the current picture again.
TEST(SectionWindowsOnScreen, TheOwnPutShowsEveryStepAndSurvivesACover)
{
    SectionRecord section(0, 300, 0);
    section.frameColor = 0x0000FF; // red
    SectionWindow window(section, QStringLiteral("[Led0]"), nullptr);
    BackBuffer& child = *section.renderChild;
    child.setView(&window);
    child.setClientSize(QSize(300, 60));
    child.setHasWindow(true);
    window.place(QRect(20, 300, 304, 64), QRect(2, 2, 300, 60));
    {
        std::lock_guard lock(child.sectionMutex);
        child.GetBackBuffer()->fill(kBlue);
        child.Present();
    }
    settle({{QPoint(22 + 150, 302 + 30), kBlue}, {QPoint(20, 300), kRed}});
    // The first picture came by a paint (the window was not yet exposed); the next is put.
    paintRows(child, 0, 60, kGreen, 0);
    settle({{QPoint(22 + 150, 302 + 30), kGreen}});
    paintRows(child, 0, 60, kBlue, 0);
    settle({{QPoint(22 + 150, 302 + 30), kBlue}});
    ASSERT_TRUE(window.presentsOnItsOwn()) << "X11 with MIT-SHM on this machine";

    // Steps told one after the other, faster than the server is asked about them: the last of
    // each band shows, whether its put went at once or waited for a free segment.
    for (int step = 1; step <= 12; ++step) {
        paintRows(child, (step % 3) * 20, (step % 3) * 20 + 20, qRgb(step * 20, 255, 0), step);
        window.presentChanged();
    }
    const QRgb band0 = qRgb(12 * 20, 255, 0);
    const QRgb band1 = qRgb(10 * 20, 255, 0);
    const QRgb band2 = qRgb(11 * 20, 255, 0);
    QImage screen = settle({{QPoint(172, 302 + 10), band0},
                            {QPoint(172, 302 + 30), band1},
                            {QPoint(172, 302 + 50), band2}});
    EXPECT_EQ(screen.pixel(172, 302 + 10), band0);
    EXPECT_EQ(screen.pixel(22, 302 + 39), band1);
    EXPECT_EQ(screen.pixel(22 + 299, 302 + 59), band2);
    EXPECT_EQ(screen.pixel(21, 302 + 30), kRed) << "the frame";

    // Covered by another window and uncovered: the picture is the current one, not the one
    // Qt's backing store last held (blue).
    {
        QWidget cover(nullptr,
                      Qt::Window | Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint);
        cover.setGeometry(0, 280, 400, 120);
        cover.setStyleSheet(QStringLiteral("background: black"));
        cover.show();
        settle({{QPoint(172, 302 + 10), qRgb(0, 0, 0)}});
    }
    screen = settle({{QPoint(172, 302 + 10), band0}, {QPoint(172, 302 + 50), band2}});
    EXPECT_EQ(screen.pixel(172, 302 + 10), band0);
    EXPECT_EQ(screen.pixel(172, 302 + 30), band1);
    EXPECT_EQ(screen.pixel(172, 302 + 50), band2);
    EXPECT_TRUE(window.presentsOnItsOwn());

    // A new size: new segments, and the picture still goes.
    child.setClientSize(QSize(200, 60));
    window.place(QRect(20, 300, 204, 64), QRect(2, 2, 200, 60));
    paintRows(child, 0, 60, kGreen, 13);
    screen = settle({{QPoint(22 + 100, 302 + 30), kGreen}, {QPoint(22 + 200, 302 + 30), kRed}});
    EXPECT_EQ(screen.pixel(22 + 199, 302 + 59), kGreen);
    EXPECT_TRUE(window.presentsOnItsOwn());
    child.setView(nullptr);
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
