#include "canvas/BackBuffer.h"
#include "AllocationCounter.h"

#include <QPainter>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>

namespace {

constexpr int kBlue = 0x00FF0000; // COLORREF
constexpr int kGreen = 0x0000FF00;

// What a window of `size` shows for one paint of `update`.
QImage painted(BackBuffer& child, QSize size, const QRect& update)
{
    QImage screen(size, QImage::Format_RGB32);
    screen.fill(Qt::magenta);
    QPainter painter(&screen);
    painter.setClipRect(update);
    child.Paint(painter, update);
    return screen;
}

BackBuffer& windowed(BackBuffer& child, QSize size, int fill)
{
    child.setHasWindow(true);
    child.setClientSize(size);
    child.setFillColor(fill);
    return child;
}

} // namespace

TEST(BackBuffer, NeverDrawnPaintsTheFillColour)
{
    BackBuffer child;
    windowed(child, QSize(40, 20), kBlue);
    const QImage screen = painted(child, QSize(40, 20), QRect(0, 0, 40, 20));
    EXPECT_EQ(screen.pixel(0, 0), qRgb(0, 0, 255));
    EXPECT_EQ(screen.pixel(39, 19), qRgb(0, 0, 255));
}

TEST(BackBuffer, BackBufferIsRemadeOnlyWhenTheSizeChanges)
{
    BackBuffer child;
    windowed(child, QSize(40, 20), kBlue);
    std::lock_guard lock(child.sectionMutex);
    QImage* buffer = child.GetBackBuffer();
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(buffer->size(), QSize(40, 20));
    EXPECT_EQ(buffer->format(), QImage::Format_RGB32);
    EXPECT_EQ(buffer->pixel(5, 5), qRgb(0, 0, 255));
    buffer->fill(Qt::red);
    const uchar* bits = buffer->constBits();
    EXPECT_EQ(child.GetBackBuffer()->constBits(), bits); // same surface, picture kept
    EXPECT_EQ(child.GetBackBuffer()->pixel(5, 5), qRgb(255, 0, 0));

    child.setClientSize(QSize(38, 18)); // a frame came
    child.setFillColor(kGreen);
    QImage* remade = child.GetBackBuffer();
    EXPECT_EQ(remade->size(), QSize(38, 18));
    EXPECT_EQ(remade->pixel(5, 5), qRgb(0, 255, 0)); // the old picture does not come back
}

TEST(BackBuffer, NoWindowNoBuffer)
{
    BackBuffer child;
    child.setClientSize(QSize(40, 20));
    std::lock_guard lock(child.sectionMutex);
    EXPECT_EQ(child.GetBackBuffer(), nullptr);
    child.setHasWindow(true);
    child.setClientSize(QSize(0, 20));
    EXPECT_EQ(child.GetBackBuffer(), nullptr);
}

TEST(BackBuffer, PaintCopiesTheUpdateAndFillsBeyondTheBuffer)
{
    BackBuffer child;
    windowed(child, QSize(10, 10), kBlue);
    {
        std::lock_guard lock(child.sectionMutex);
        QImage* buffer = child.GetBackBuffer();
        for (int y = 0; y < 10; ++y)
            for (int x = 0; x < 10; ++x)
                buffer->setPixel(x, y, qRgb(x * 20, y * 20, 7));
        child.Present();
    }
    // Only the update rectangle is painted.
    QImage screen = painted(child, QSize(14, 12), QRect(2, 3, 4, 2));
    EXPECT_EQ(screen.pixel(2, 3), qRgb(40, 60, 7));
    EXPECT_EQ(screen.pixel(5, 4), qRgb(100, 80, 7));
    EXPECT_EQ(screen.pixel(1, 3), QColor(Qt::magenta).rgb());
    EXPECT_EQ(screen.pixel(6, 3), QColor(Qt::magenta).rgb());

    // The window grew before the buffer did: beyond its right and bottom edges, fill colour.
    screen = painted(child, QSize(14, 12), QRect(0, 0, 14, 12));
    EXPECT_EQ(screen.pixel(9, 9), qRgb(180, 180, 7));
    EXPECT_EQ(screen.pixel(10, 0), qRgb(0, 0, 255));
    EXPECT_EQ(screen.pixel(13, 11), qRgb(0, 0, 255));
    EXPECT_EQ(screen.pixel(0, 10), qRgb(0, 0, 255));
}

TEST(BackBuffer, PresentTellsTheViewAndPaintWaitsForADrawingUnit)
{
    struct CountingView : SectionView
    {
        std::atomic<int> presents{0};
        void backBufferPresented() override { presents.fetch_add(1); }
    } view;
    BackBuffer child;
    windowed(child, QSize(4, 4), kBlue);
    child.setView(&view);

    std::atomic<bool> paintedYet{false};
    QImage screen;
    std::thread painter;
    {
        std::lock_guard lock(child.sectionMutex); // the play thread's drawing unit
        child.GetBackBuffer()->fill(Qt::yellow);
        painter = std::thread([&] {
            screen = painted(child, QSize(4, 4), QRect(0, 0, 4, 4));
            paintedYet = true;
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_FALSE(paintedYet);
        child.Present();
    }
    painter.join();
    EXPECT_EQ(screen.pixel(2, 2), QColor(Qt::yellow).rgb()); // never half drawn
    EXPECT_EQ(view.presents, 1);
    EXPECT_EQ(child.presentCount(), 1u);
    child.setView(nullptr);
    std::lock_guard lock(child.sectionMutex);
    child.Present();
    EXPECT_EQ(view.presents, 1);
}

TEST(BackBuffer, AStepsStampIsTakenOnceByThePaintThatShowsIt)
{
    BackBuffer child;
    FrameStamps stamps;
    EXPECT_FALSE(child.takeStamps(&stamps)); // nothing presented yet
    {
        std::lock_guard lock(child.sectionMutex);
        child.Present(FrameStamp{123456789, 2, 40});
        child.Present(FrameStamp{123456999, 2, 41}); // painted together: the last one counts
    }
    ASSERT_TRUE(child.takeStamps(&stamps));
    ASSERT_EQ(stamps.size(), 1);
    EXPECT_EQ(stamps.begin()->deadlineNs, 123456999);
    EXPECT_EQ(stamps.begin()->item, 2);
    EXPECT_EQ(stamps.begin()->step, 41);
    EXPECT_FALSE(child.takeStamps(&stamps));
    {
        std::lock_guard lock(child.sectionMutex);
        child.Present(); // a picture of no paced step
    }
    EXPECT_FALSE(child.takeStamps(&stamps));
}

TEST(BackBuffer, StepsOfSeveralItemsPaintedTogetherAreEachLogged)
{
    // Zones: a marquee and a transition present into one section between two paints.
    BackBuffer child;
    {
        std::lock_guard lock(child.sectionMutex);
        child.Present(FrameStamp{1000, 0, 7});
        child.Present(FrameStamp{1100, 3, 2}, QRect(0, 0, 4, 4));
        child.Present(FrameStamp{1200, 0, 8});
    }
    FrameStamps stamps;
    ASSERT_TRUE(child.takeStamps(&stamps));
    std::vector<std::pair<int, qint64>> steps;
    for (const FrameStamp& stamp : stamps)
        steps.emplace_back(stamp.item, stamp.step);
    EXPECT_EQ(steps, (std::vector<std::pair<int, qint64>>{{0, 8}, {3, 2}}));
    // More items than places: the oldest deadline makes room, the rest stay.
    {
        std::lock_guard lock(child.sectionMutex);
        for (int item = 0; item <= FrameStamps::kMost; ++item)
            child.Present(FrameStamp{5000 + item, item, 1});
    }
    ASSERT_TRUE(child.takeStamps(&stamps));
    ASSERT_EQ(stamps.size(), FrameStamps::kMost);
    for (const FrameStamp& stamp : stamps)
        EXPECT_NE(stamp.item, 0);
}

namespace {

// One paced step: `rows` of the buffer in `colour`, presented as what changed.
void drawRows(BackBuffer& child, int top, int count, QRgb colour, qint64 step)
{
    std::lock_guard lock(child.sectionMutex);
    QImage* buffer = child.GetBackBuffer();
    ASSERT_NE(buffer, nullptr);
    for (int y = top; y < top + count; ++y) {
        auto* line = reinterpret_cast<QRgb*>(buffer->scanLine(y));
        std::fill(line, line + buffer->width(), colour);
    }
    child.Present(FrameStamp{1000 + step, 3, step}, QRect(0, top, buffer->width(), count));
}

int rowsOf(const QImage& image, int x, QRgb colour)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        n += image.pixel(x, y) == colour;
    return n;
}

} // namespace

// The present path copies only what changed since the last copy into the window's picture at
// the child's place, takes the step's stamp once, and allocates nothing and detaches nothing.
TEST(BackBuffer, APresentCopiesOnlyWhatChanged)
{
    BackBuffer child;
    windowed(child, QSize(40, 20), kBlue);
    QImage store(48, 28, QImage::Format_RGB32); // the window: a frame of 4 around the child
    store.fill(Qt::magenta);
    QRect copied;
    FrameStamps stamps;
    EXPECT_FALSE(child.copyChanged(store, QPoint(4, 4), &copied, &stamps)) << "nothing drawn yet";

    drawRows(child, 0, 20, qRgb(0, 0, 0), 0); // the whole picture first
    ASSERT_TRUE(child.copyChanged(store, QPoint(4, 4), &copied, &stamps));
    EXPECT_EQ(copied, QRect(0, 0, 40, 20));
    ASSERT_EQ(stamps.size(), 1);
    EXPECT_EQ(stamps.begin()->step, 0);
    EXPECT_EQ(rowsOf(store, 10, qRgb(0, 0, 0)), 20);
    EXPECT_EQ(rowsOf(store, 2, qRgb(255, 0, 255)), 28) << "the frame is the window's";

    // Marks in the window where the steps draw nothing: they stay.
    store.setPixel(10, 5, qRgb(1, 2, 3));
    const uchar* bufferBits = [&] {
        std::lock_guard lock(child.sectionMutex);
        return child.GetBackBuffer()->constBits();
    }();
    const uchar* storeBits = store.constBits();
    std::size_t allocations = 0;
    for (qint64 step = 1; step <= 50; ++step) {
        const QRgb colour = qRgb(int(step), 200, 0);
        drawRows(child, 8, 6, colour, step);
        AllocationCounter counter;
        ASSERT_TRUE(child.copyChanged(store, QPoint(4, 4), &copied, &stamps));
        allocations += counter.count();
        EXPECT_EQ(copied, QRect(0, 8, 40, 6));
        ASSERT_EQ(stamps.size(), 1);
        EXPECT_EQ(stamps.begin()->step, step);
        EXPECT_EQ(rowsOf(store, 10, colour), 6);
    }
    EXPECT_EQ(allocations, 0u);
    EXPECT_EQ(store.pixel(10, 5), qRgb(1, 2, 3));
    EXPECT_EQ(store.constBits(), storeBits) << "the window's picture detached";
    {
        std::lock_guard lock(child.sectionMutex);
        EXPECT_EQ(child.GetBackBuffer()->constBits(), bufferBits);
    }

    // Two steps before one copy: both parts go; the stamp is taken once.
    drawRows(child, 0, 2, qRgb(9, 9, 9), 51);
    drawRows(child, 18, 2, qRgb(9, 9, 9), 52);
    ASSERT_TRUE(child.copyChanged(store, QPoint(4, 4), &copied, &stamps));
    EXPECT_EQ(copied, QRect(0, 0, 40, 20));
    ASSERT_EQ(stamps.size(), 1);
    EXPECT_EQ(stamps.begin()->step, 52);
    ASSERT_TRUE(child.copyChanged(store, QPoint(4, 4), &copied, &stamps));
    EXPECT_TRUE(copied.isEmpty());
    EXPECT_TRUE(stamps.isEmpty()) << "a stamp is told once";

    // A present that does not say what changed is the whole picture.
    {
        std::lock_guard lock(child.sectionMutex);
        child.Present();
    }
    ASSERT_TRUE(child.copyChanged(store, QPoint(4, 4), &copied, &stamps));
    EXPECT_EQ(copied, QRect(0, 0, 40, 20));

    // A window picture of another format is painted the usual way.
    QImage other(48, 28, QImage::Format_RGB16);
    EXPECT_FALSE(child.copyChanged(other, QPoint(4, 4), &copied, &stamps));
}
