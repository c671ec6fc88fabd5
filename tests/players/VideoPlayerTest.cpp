#include "players/VideoPlayer.h"
#include "base/FileSniff.h"
#include "base/Notifications.h"
#include "model/CAct.h"
#include "model/CPropVideo.h"
#include "model/ItemKinds.h"
#include "model/ItemSettings.h"
#include "support/PlayerFixture.h"
#include "support/TestVideos.h"

#include <QJsonObject>

#include <gtest/gtest.h>

#include <thread>

namespace {

using namespace std::chrono_literals;

constexpr int kWidth = 64;
constexpr int kHeight = 48;

qint64 sinceEpochNs(WaitClock::TimePoint t)
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch()).count();
}

// An LED of sections playing one video item, recording the whole picture (the sections put back
// together) and the time after every wait.
class VideoPlayerTest : public testing::Test, public PlayObserver
{
protected:
    void SetUp() override
    {
        if (!TestVideos::haveFfmpeg())
            GTEST_SKIP() << "no ffmpeg command to make test videos with";
        makeArea(0, kWidth, kHeight, {kWidth});
        item.effect = 99;     // at once
        item.clearEffect = 1; // the last frame stays
        item.fitMode = 2;
    }

    void makeArea(int splitMode, int width, int height, std::vector<int> lengths)
    {
        setUpSections(area, host, clock, this, splitMode, width, height, lengths);
        clock.onWait = [this] { record(); };
    }

    void record()
    {
        frames.push_back(joined());
        timesNs.push_back(sinceEpochNs(clock.now()));
    }

    void pictureShown(const CPropBase&, const QJsonObject& details) override
    {
        reports.push_back(details);
    }

    // With the number the sections show as the position is told.
    void positionShown(const CPropBase&, qint64 ptsUs) override
    {
        positions.push_back(
            {ptsUs, TestVideos::readNumber(joined(), QRect(0, 0, kWidth, kHeight))});
    }

    QImage joined() { return joinedSections(area); }

    QString video(const QString& name, const QString& rate, double seconds)
    {
        const QString path = TestVideos::make(dir.path(), name, {kWidth, kHeight}, rate, seconds);
        EXPECT_FALSE(path.isEmpty());
        return path;
    }

    void play()
    {
        frames.clear();
        timesNs.clear();
        reports.clear();
        positions.clear();
        startNs = sinceEpochNs(clock.now());
        playOnAThread(area, item);
    }

    // As the play thread plays it: the thread checker does not follow the locks of the tests'
    // main thread against another thread.
    static void playOnAThread(CAct& area, CPropBase& item)
    {
        std::thread player([&] { item.Play(area); });
        player.join();
    }

    QJsonObject report(const char* phase) const
    {
        for (const QJsonObject& r : reports)
            if (r["phase"].toString() == QLatin1String(phase))
                return r;
        return {};
    }

    QTemporaryDir dir;
    VirtualClock clock;
    HeadlessSectionHost host;
    CAct area;
    CPropVideo item;
    std::vector<QImage> frames;
    std::vector<qint64> timesNs;
    std::vector<QJsonObject> reports;
    struct Position
    {
        qint64 ptsUs;
        int shown; // the frame number on the sections then
    };
    std::vector<Position> positions;
    qint64 startNs = 0;
};

// The frame a display at `milliHz` shows just before time `ns` after the start, for a video of
// `num`/`den` frames a second: the last frame whose first refresh came before then.
int dueFrame(qint64 ns, int num, int den, int milliHz, int frames)
{
    // The refresh the time is (the clock's ticks are whole nanoseconds, cut).
    const qint64 refresh = qint64(((__int128)ns * milliHz + 500'000'000'000) / 1'000'000'000'000);
    int due = 0;
    for (int n = 0; n < frames; ++n) {
        // the first refresh at or after n frame lengths: ceil(n * den / num * milliHz / 1000)
        const __int128 a = (__int128)n * den * milliHz;
        const __int128 b = (__int128)num * 1000;
        const qint64 first = qint64((a + b - 1) / b);
        if (first < refresh)
            due = n;
    }
    return due;
}

} // namespace

TEST(VideoRefresh, AFrameShowsAtTheFirstRefreshAtOrAfterItsTime)
{
    EXPECT_EQ(VideoPlayer::refreshFor(0, 60000), 0);
    EXPECT_EQ(VideoPlayer::refreshFor(40000, 60000), 3);   // 2.4 refreshes: the third
    EXPECT_EQ(VideoPlayer::refreshFor(200000, 60000), 12); // exactly on one
    EXPECT_EQ(VideoPlayer::refreshFor(33333, 60000), 2);   // 1/30 s, rounded down by the stream
    EXPECT_EQ(VideoPlayer::refreshFor(33334, 60000), 2);   // and rounded up
    EXPECT_EQ(VideoPlayer::refreshFor(16667, 60000), 1);
    // An hour of 29.97 fps at 59.94 Hz: still two refreshes a frame, to the frame.
    const qint64 n = 107892; // frames in an hour
    EXPECT_EQ(VideoPlayer::refreshFor(n * 1001000 / 30, 59940), 2 * n);
}

// The pictures follow the heard sound: smoothly once with it, straight to it before (its start,
// a pause), and what they were off by is counted only once they were with it.
TEST(VideoAudioFollower, SnapsToTheSoundUntilWithItThenFollowsSmoothlyAndCounts)
{
    using Follower = VideoPlayer::AudioFollower;
    Follower follower;
    EXPECT_EQ(follower.correction(30000), 30000) << "not yet with the sound: straight to it";
    EXPECT_EQ(follower.count(), 0);
    EXPECT_EQ(follower.correction(2000), 0) << "within the slack: with it from now on";
    EXPECT_EQ(follower.correction(3000), 0);
    EXPECT_EQ(follower.worstUs(), 3000);
    // Off by 12 ms for a few readings: moved by parts, smoothed.
    qint64 moved = 0;
    for (int i = 0; i < 3; ++i)
        moved += follower.correction(12000 - moved);
    EXPECT_GT(moved, 0);
    EXPECT_LT(moved, 12000);
    EXPECT_EQ(follower.worstUs(), 12000);
    // A pause: the sound comes back 50 ms after the pictures; straight to it, not counted.
    follower.unlock();
    EXPECT_EQ(follower.correction(50000), 50000);
    EXPECT_EQ(follower.correction(-1000), 0);
    EXPECT_EQ(follower.worstUs(), 12000);
    // Far off at any time (the sound ran dry): straight to it.
    EXPECT_EQ(follower.correction(-200000), -200000);
}

TEST_F(VideoPlayerTest, TheFrameShownAtEveryMomentIsTheOneDueAt25_30And60Fps)
{
    struct Case
    {
        const char* rate;
        int num;
        int den;
        int frames;
    };
    for (const Case c : {Case{"25", 25, 1, 50}, Case{"30", 30, 1, 60}, Case{"60", 60, 1, 120},
                         Case{"30000/1001", 30000, 1001, 60}}) {
        SCOPED_TRACE(c.rate);
        item.filePath = video(QStringLiteral("v.mp4"), QLatin1String(c.rate), 2.0);
        play();
        ASSERT_GT(frames.size(), 10u);
        for (size_t k = 0; k + 1 < frames.size(); ++k) {
            const qint64 t = timesNs[k] - startNs;
            ASSERT_EQ(TestVideos::readNumber(frames[k], QRect(0, 0, kWidth, kHeight)),
                      dueFrame(t, c.num, c.den, 60000, c.frames))
                << "at " << t / 1000 << " us";
        }
        EXPECT_EQ(report("played")["frames"].toInt(), c.frames);
        EXPECT_EQ(report("played")["dropped"].toInt(), 0);
        // Every frame's position is told as it shows, the frame's own time.
        ASSERT_EQ(positions.size(), size_t(c.frames));
        for (size_t n = 0; n < positions.size(); ++n) {
            EXPECT_EQ(positions[n].shown, int(n)) << "position " << n;
            EXPECT_NEAR(positions[n].ptsUs, qint64(n) * 1'000'000 * c.den / c.num, 1)
                << "position " << n;
        }
        // It ends when the last frame's time is over.
        EXPECT_EQ(timesNs.back() - startNs, qint64(c.frames) * 1'000'000'000 * c.den / c.num)
            << "end";
    }
}

TEST_F(VideoPlayerTest, FramesFasterThanTheDisplayOrLateAreDroppedNeverShownLate)
{
    item.filePath = video(QStringLiteral("fast.mp4"), QStringLiteral("60"), 2.0);
    area.setRefreshMilliHz(30000);
    play();
    // Every other frame, and the last, due half a refresh before the end.
    EXPECT_EQ(report("played")["frames"].toInt(), 61);
    EXPECT_EQ(report("played")["dropped"].toInt(), 59);
    for (size_t k = 0; k + 1 < frames.size(); ++k)
        ASSERT_EQ(TestVideos::readNumber(frames[k], QRect(0, 0, kWidth, kHeight)),
                  dueFrame(timesNs[k] - startNs, 60, 1, 30000, 120));
    area.setRefreshMilliHz(60000);

    // The machine stalls for half a second after the tenth wait: the frames due meanwhile are
    // dropped and the one due now follows, the schedule unmoved.
    item.filePath = video(QStringLiteral("late.mp4"), QStringLiteral("25"), 2.0);
    int waits = 0;
    clock.onWait = [&] {
        record();
        if (++waits == 10)
            clock.advance(500ms);
    };
    play();
    clock.onWait = [this] { record(); };
    const int dropped = report("played")["dropped"].toInt();
    EXPECT_GE(dropped, 11);
    EXPECT_LE(dropped, 13);
    EXPECT_EQ(report("played")["frames"].toInt() + dropped, 50);
    for (size_t k = 11; k + 1 < frames.size(); ++k)
        ASSERT_EQ(TestVideos::readNumber(frames[k], QRect(0, 0, kWidth, kHeight)),
                  dueFrame(timesNs[k] - startNs, 25, 1, 60000, 50))
            << k;
    EXPECT_EQ(timesNs.back() - startNs, 2'000'000'000);
}

TEST_F(VideoPlayerTest, LoopsAndThePlayTimeEndTheItem)
{
    item.filePath = video(QStringLiteral("second.mp4"), QStringLiteral("25"), 1.0);
    ItemSettings::write(item, QStringLiteral("loops"), 3);
    play();
    EXPECT_EQ(report("played")["frames"].toInt(), 75);
    EXPECT_EQ(timesNs.back() - startNs, 3'000'000'000);
    // The second pass shows the file from its start again, on time.
    for (size_t k = 0; k + 1 < frames.size(); ++k) {
        const qint64 t = timesNs[k] - startNs;
        ASSERT_EQ(TestVideos::readNumber(frames[k], QRect(0, 0, kWidth, kHeight)),
                  dueFrame(t, 25, 1, 60000, 75) % 25);
    }

    // A play time: the video repeats until it is over, whatever the loops say.
    ItemSettings::write(item, QStringLiteral("playSeconds"), 2.5);
    play();
    EXPECT_EQ(timesNs.back() - startNs, 2'500'000'000);
    EXPECT_EQ(report("played")["frames"].toInt(), 63); // frames due before 2.5 s
    // Shorter than the video: cut there.
    ItemSettings::write(item, QStringLiteral("playSeconds"), 0.5);
    play();
    EXPECT_EQ(timesNs.back() - startNs, 500'000'000);
    EXPECT_EQ(report("played")["frames"].toInt(), 13);

    // A start: every pass begins there.
    ItemSettings::write(item, QStringLiteral("playSeconds"), QJsonValue());
    ItemSettings::write(item, QStringLiteral("loops"), 2);
    ItemSettings::write(item, QStringLiteral("startSeconds"), 0.6);
    play();
    EXPECT_EQ(report("played")["frames"].toInt(), 20);
    EXPECT_EQ(TestVideos::readNumber(frames.front(), QRect(0, 0, kWidth, kHeight)), 15);
    EXPECT_EQ(timesNs.back() - startNs, 800'000'000);
}

TEST_F(VideoPlayerTest, AStopEndsThePlayAtAnyPoint)
{
    item.filePath = video(QStringLiteral("stop.mp4"), QStringLiteral("25"), 2.0);
    for (const int at : {1, 2, 17, 49}) {
        SCOPED_TRACE(at);
        int waits = 0;
        clock.onWait = [&] {
            if (++waits == at)
                area.stopSignal().setLocked();
        };
        play();
        area.stopSignal().reset();
        EXPECT_EQ(waits, at); // no wait after the stop
        EXPECT_TRUE(report("played").isEmpty());
    }
    clock.onWait = [this] { record(); };

    // On the real clock, from another thread, while the decoder works: a hang would show here.
    SteadyWaitClock& steady = SteadyWaitClock::instance();
    area.setClock(steady);
    item.filePath = video(QStringLiteral("long.mp4"), QStringLiteral("25"), 20.0);
    for (const auto after : {0ms, 30ms, 300ms}) {
        std::thread player([&] { item.Play(area); });
        std::this_thread::sleep_for(after);
        const auto stopAt = std::chrono::steady_clock::now();
        area.stopSignal().set();
        player.join();
        const auto took = std::chrono::steady_clock::now() - stopAt;
        area.stopSignal().reset();
        // Not a measurement (bench/ measures); only that the stop is not waiting for the video.
        EXPECT_LT(took, 5s);
    }
    area.setClock(clock);
}

TEST_F(VideoPlayerTest, OneSectionAndThreeUnevenShowTheSamePicturesInBothArrangements)
{
    item.filePath = video(QStringLiteral("joins.mp4"), QStringLiteral("30"), 0.5);
    item.fitMode = 1;
    item.backColor = 0x00FF00FF;
    for (const int splitMode : {0, 1}) {
        SCOPED_TRACE(splitMode);
        const bool stacked = splitMode != 0;
        const int width = stacked ? 80 : 160;
        const int height = stacked ? 120 : 40;
        makeArea(splitMode, width, height, {stacked ? height : width});
        play();
        const std::vector<QImage> whole = frames;
        ASSERT_GT(whole.size(), 10u);
        VirtualClock fresh;
        makeArea(splitMode, width, height,
                 stacked ? std::vector<int>{31, 50, 39} : std::vector<int>{45, 70, 45});
        area.setClock(fresh);
        fresh.onWait = [this] { frames.push_back(joined()); };
        frames.clear();
        playOnAThread(area, item);
        ASSERT_EQ(frames.size(), whole.size());
        for (size_t k = 0; k < whole.size(); ++k)
            ASSERT_EQ(frames[k], whole[k]) << "wait " << k;
        area.setClock(clock);
    }
}

TEST_F(VideoPlayerTest, FilesThatAreNoVideoAreToldOnceAndSkipped)
{
    QStringList messages;
    Notifications::setSink([&](const QString& text) { messages << text; });
    // Sound only.
    item.filePath = dir.filePath(QStringLiteral("sound.mp4"));
    ASSERT_TRUE(TestVideos::ffmpeg({"-f", "lavfi", "-i", "sine=d=0.5", item.filePath}));
    play();
    play();
    EXPECT_TRUE(frames.empty());
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages[0], QStringLiteral("sound.mp4 holds no video."));

    // PNG bytes under a video's name: no kind takes the file, and the player refuses it.
    QImage png(4, 4, QImage::Format_RGB32);
    png.fill(Qt::red);
    const QString fake = dir.filePath(QStringLiteral("picture.mp4"));
    ASSERT_TRUE(png.save(fake, "PNG"));
    EXPECT_EQ(ItemKinds::forPath(fake), nullptr);
    EXPECT_EQ(CAct::makeItemForFile(fake), nullptr);
    item.filePath = fake;
    play();
    ASSERT_EQ(messages.size(), 2);
    EXPECT_EQ(messages[1], QStringLiteral("picture.mp4 is a PNG picture, not a video"))
        << messages[1].toStdString();

    // A real one is a video item, whatever container its name says.
    const QString real = video(QStringLiteral("real.mkv"), QStringLiteral("25"), 0.2);
    ASSERT_NE(ItemKinds::forPath(real), nullptr);
    EXPECT_EQ(ItemKinds::forPath(real)->className, "CPropVideo");
    QFile::copy(real, dir.filePath(QStringLiteral("real-named.mp4")));
    EXPECT_NE(CAct::makeItemForFile(dir.filePath(QStringLiteral("real-named.mp4"))), nullptr);

    // Truncated: what decodes plays, and nothing is told.
    const QString whole = video(QStringLiteral("whole.ts"), QStringLiteral("25"), 2.0);
    QFile in(whole);
    ASSERT_TRUE(in.open(QIODevice::ReadOnly));
    const QByteArray bytes = in.readAll();
    QFile out(dir.filePath(QStringLiteral("cut.ts")));
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(bytes.first(bytes.size() * 2 / 3));
    out.close();
    item.filePath = out.fileName();
    play();
    EXPECT_GT(report("played")["frames"].toInt(), 10);
    EXPECT_LT(report("played")["frames"].toInt(), 50);
    EXPECT_EQ(messages.size(), 2);
    Notifications::setSink({});
}
