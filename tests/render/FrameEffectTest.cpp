#include "render/FrameEffect.h"
#include "TransitionFixture.h"
#include "render/TransitionEngine.h"

#include <gtest/gtest.h>

#include <numeric>

namespace {

// A frame of the effect at progress p, drawn row by row as the engine draws it.
QImage frameAt(int effect, const QImage& oldPicture, const QImage& newPicture, double p)
{
    FrameEffect look(effect, oldPicture, newPicture);
    look.setProgress(p);
    QImage frame(newPicture.size(), QImage::Format_RGB32);
    for (int y = 0; y < frame.height(); ++y)
        look.row(y, 0, frame.width(), reinterpret_cast<QRgb*>(frame.scanLine(y)));
    return frame;
}

QImage black(QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::black);
    return image;
}

// What a pixel of a frame shows: the old picture's (black), the new one's at the same place, or
// something else.
enum class Shows
{
    Old,
    New,
    Other,
    NotOld, // as a probe's expectation: New or Other
};

Shows shows(const QImage& frame, const QImage& newPicture, QPoint at)
{
    const QRgb pixel = frame.pixel(at);
    if (pixel == qRgb(0, 0, 0))
        return Shows::Old;
    return pixel == newPicture.pixel(at) ? Shows::New : Shows::Other;
}

} // namespace

TEST(FrameEffect, NoProgressIsTheOldPictureAndFullProgressExactlyTheNew)
{
    const QImage fresh = pattern(QSize(61, 37));
    const QImage old = black(fresh.size());
    for (int effect = FrameEffect::kFirst; effect <= FrameEffect::kLast; ++effect) {
        EXPECT_EQ(frameAt(effect, old, fresh, 0), old) << effect;
        EXPECT_EQ(frameAt(effect, old, fresh, 1), fresh) << effect;
        // Halfway, every effect shows something of both.
        const QImage half = frameAt(effect, old, fresh, 0.5);
        EXPECT_NE(half, old) << effect;
        EXPECT_NE(half, fresh) << effect;
    }
    // The cross-fade, four pixels at a time and the rest one by one, gives every pixel the same.
    const QImage faded = frameAt(31, old, fresh, 0.25);
    for (int y = 0; y < fresh.height(); ++y)
        for (int x = 0; x < fresh.width(); ++x) {
            const QRgb n = fresh.pixel(x, y);
            ASSERT_EQ(faded.pixel(x, y), qRgb(qRed(n) / 4, qGreen(n) / 4, qBlue(n) / 4)) << x;
        }
}

TEST(FrameEffect, EachLooksLikeItsNameHalfway)
{
    const QImage fresh = pattern(QSize(100, 60));
    const QImage old = black(fresh.size());
    const QPoint lt(0, 0), rt(99, 0), ld(0, 59), rd(99, 59), centre(50, 30), leftMiddle(0, 30);
    struct Probe
    {
        int effect;
        QPoint at;
        Shows expected;
    };
    const std::vector<Probe> probes{
        // Corner covers 1 and 2: new at their corner, old at the opposite one.
        {16, lt, Shows::New},
        {16, rd, Shows::Old},
        {17, rt, Shows::New},
        {17, ld, Shows::Old},
        {18, ld, Shows::New},
        {18, rt, Shows::Old},
        {19, rd, Shows::New},
        {19, lt, Shows::Old},
        {20, lt, Shows::New},
        {20, rd, Shows::Old},
        {21, rt, Shows::New},
        {21, ld, Shows::Old},
        {22, ld, Shows::New},
        {22, rt, Shows::Old},
        {23, rd, Shows::New},
        {23, lt, Shows::Old},
        // Corner moves: the new picture is on its way, not in its place.
        {24, lt, Shows::Old},
        {24, rd, Shows::Other},
        {25, rt, Shows::Old},
        {25, ld, Shows::Other},
        {26, ld, Shows::Old},
        {26, rt, Shows::Other},
        {27, rd, Shows::Old},
        {27, lt, Shows::Other},
        // Turns: grown to half, around the centre.
        {32, lt, Shows::Old},
        {33, rd, Shows::Old},
        {36, rt, Shows::Old},
        {37, ld, Shows::Old},
        // Growing big: the corner it grows from shows that corner of the new picture.
        {38, lt, Shows::Old},
        {39, lt, Shows::NotOld},
        {39, rd, Shows::Old},
        {40, rt, Shows::NotOld},
        {40, ld, Shows::Old},
        {41, ld, Shows::NotOld},
        {41, rt, Shows::Old},
        {42, rd, Shows::NotOld},
        {42, lt, Shows::Old},
        // Radiation 1 grows from the centre, 2 closes in from the edges.
        {43, centre, Shows::New},
        {43, lt, Shows::Old},
        {44, centre, Shows::Old},
        {44, lt, Shows::New},
        {45, centre, Shows::New},
        {45, lt, Shows::Old},
        {46, centre, Shows::Old},
        {46, lt, Shows::New},
        {47, centre, Shows::New},
        {47, leftMiddle, Shows::New},
        {47, lt, Shows::Old},
        {48, centre, Shows::Old},
        {48, lt, Shows::New},
        {49, centre, Shows::New},
        {49, lt, Shows::Old},
        {50, centre, Shows::Old},
        {50, lt, Shows::New},
    };
    for (const Probe& probe : probes) {
        const QImage half = frameAt(probe.effect, old, fresh, 0.5);
        const Shows seen = shows(half, fresh, probe.at);
        EXPECT_TRUE(probe.expected == Shows::NotOld ? seen != Shows::Old : seen == probe.expected)
            << "effect " << probe.effect << " at " << probe.at.x() << "," << probe.at.y();
    }

    // The corner move towards the left top has the new picture's top-left corner at the middle.
    EXPECT_EQ(frameAt(24, old, fresh, 0.5).pixel(rd), fresh.pixel(49, 29));
    EXPECT_EQ(frameAt(27, old, fresh, 0.5).pixel(lt), fresh.pixel(50, 30));
    // Growing big from the centre shows the middle of the new picture there, at half its size.
    EXPECT_EQ(frameAt(38, old, fresh, 0.5).pixel(centre), fresh.pixel(51, 31));
    EXPECT_EQ(frameAt(39, old, fresh, 0.5).pixel(10, 10), fresh.pixel(21, 21));

    // Gradual change mixes the two pictures, every pixel halfway.
    const QImage faded = frameAt(31, old, fresh, 0.5);
    for (QPoint at : {lt, centre, rd}) {
        const QRgb n = fresh.pixel(at);
        EXPECT_EQ(faded.pixel(at), qRgb(qRed(n) / 2, qGreen(n) / 2, qBlue(n) / 2));
    }

    // Mosaics turn whole blocks of their size, about half of them by now.
    for (const auto& [effect, block] : {std::pair(28, 4), std::pair(29, 8), std::pair(30, 16)}) {
        const QImage mosaic = frameAt(effect, old, fresh, 0.5);
        int newPixels = 0;
        for (int y = 0; y < mosaic.height(); ++y)
            for (int x = 0; x < mosaic.width(); ++x) {
                const bool isNew = shows(mosaic, fresh, QPoint(x, y)) == Shows::New;
                newPixels += isNew;
                // The same as the block's first pixel.
                const QPoint first(x / block * block, y / block * block);
                EXPECT_EQ(isNew, shows(mosaic, fresh, first) == Shows::New) << effect;
            }
        const int all = mosaic.width() * mosaic.height();
        EXPECT_GT(newPixels, all / 5) << effect;
        EXPECT_LT(newPixels, all * 4 / 5) << effect;
    }
}

TEST_F(TransitionTest, FrameEffectsEndWithThePictureAcrossJoinsAndShowBothOnTheWay)
{
    for (int splitMode : {0, 1}) {
        for (bool three : {false, true}) {
            for (int effect = FrameEffect::kFirst; effect <= FrameEffect::kLast; ++effect) {
                SCOPED_TRACE(testing::Message() << "split " << splitMode << ", sections "
                                                << (three ? 3 : 1) << ", effect " << effect);
                area.ClearSections();
                const std::vector<int> lengths =
                    three ? std::vector<int>{37, 23, 40} : std::vector<int>{100};
                makeSections(splitMode, lengths, splitMode == 0 ? 40 : 100, three ? 1 : 0);
                const QImage before = shown();
                std::vector<QImage> frames;
                clock.onWait = [&] { frames.push_back(shown()); };
                RunTransition(source, effect, 7, area);
                clock.onWait = nullptr;
                EXPECT_EQ(shown(), source);
                ASSERT_GE(frames.size(), 3u);
                const QImage& middle = frames[frames.size() / 2];
                EXPECT_NE(middle, before);
                EXPECT_NE(middle, source);
            }
        }
    }
}

TEST_F(TransitionTest, FrameEffectsLastWhatALeftCoverLastsInFramesAtLeastTenMsApart)
{
    makeSections(0, {90, 60}, 20);
    for (int speed : {0, 3, 5, 6, 10, -4}) {
        VirtualClock cover;
        area.setClock(cover);
        RunTransition(source, 2, speed, area);
        const std::vector<long long> coverWaits = cover.waitsMs();
        const long long total = std::accumulate(coverWaits.begin(), coverWaits.end(), 0LL);
        for (int effect = FrameEffect::kFirst; effect <= FrameEffect::kLast; ++effect) {
            VirtualClock frames;
            area.setClock(frames);
            RunTransition(source, effect, speed, area);
            const std::vector<long long> waits = frames.waitsMs();
            EXPECT_EQ(std::accumulate(waits.begin(), waits.end(), 0LL), total)
                << "speed " << speed << ", effect " << effect;
            for (long long ms : waits)
                EXPECT_GE(ms, total >= 10 ? 10 : 0) << "speed " << speed << ", effect " << effect;
        }
    }
    area.setClock(clock);
}

TEST_F(TransitionTest, AStopEndsAFrameEffectAtItsNextWait)
{
    makeSections(1, {30, 30}, 80);
    const QImage before = shown();
    int waits = 0;
    clock.onWait = [&] {
        if (++waits == 3)
            area.stopSignal().setLocked();
    };
    RunTransition(source, 49, 10, area); // 400 ms: 40 frames
    EXPECT_EQ(clock.waitsMs().size(), 3u);
    const QImage left = shown();
    EXPECT_NE(left, before);
    EXPECT_NE(left, source);
}
