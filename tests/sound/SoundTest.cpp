#include "base/Notifications.h"
#include "model/CAct.h"
#include "model/CPropVideo.h"
#include "model/HeadlessSectionHost.h"
#include "model/ItemSettings.h"
#include "render/video/AudioOutput.h"
#include "support/ChildProcess.h"
#include "support/TestVideos.h"

#include <QJsonObject>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <iostream>
#include <mutex>
#include <thread>

// A video's sound on a real sound server (tests/support/with-null-sound starts one whose device
// is a null sink, playing in real time), and without one.

namespace {

using namespace std::chrono_literals;

constexpr int kWidth = 64;
constexpr int kHeight = 48;

class Recorder : public PlayObserver
{
public:
    void pictureShown(const CPropBase&, const QJsonObject& details) override
    {
        std::lock_guard lock(mutex);
        reports.push_back(details);
    }
    void positionShown(const CPropBase&, qint64 ptsUs) override
    {
        std::lock_guard lock(mutex);
        positions.push_back({std::chrono::steady_clock::now(), ptsUs});
    }
    QJsonObject report(const char* phase)
    {
        std::lock_guard lock(mutex);
        for (const QJsonObject& r : reports)
            if (r["phase"].toString() == QLatin1String(phase))
                return r;
        return {};
    }
    struct Position
    {
        std::chrono::steady_clock::time_point at;
        qint64 ptsUs;
    };
    std::vector<Position> positionsNow()
    {
        std::lock_guard lock(mutex);
        return positions;
    }

    std::mutex mutex;
    std::vector<QJsonObject> reports;
    std::vector<Position> positions;
};

class SoundTest : public testing::Test
{
protected:
    void SetUp() override
    {
        if (!TestVideos::haveFfmpeg())
            GTEST_SKIP() << "no ffmpeg command to make test videos with";
        area.setSectionHost(&host);
        area.setPlayObserver(&recorder);
        area.changeSettings([](AreaSettings& s) {
            s.ledWidth = kWidth;
            s.ledHeight = kHeight;
        });
        area.AddSection(0, kWidth, 0);
        area.LayoutSections();
        Notifications::setSink([this](const QString& text) {
            std::lock_guard lock(recorder.mutex);
            messages << text;
        });
    }
    void TearDown() override
    {
        area.Stop();
        Notifications::setSink({});
    }

    std::unique_ptr<CPropVideo> videoItem(const QString& path)
    {
        auto item = std::make_unique<CPropVideo>();
        item->filePath = path;
        item->effect = 99; // at once
        item->clearEffect = 1;
        item->fitMode = 2;
        return item;
    }

    QTemporaryDir dir;
    HeadlessSectionHost host;
    CAct area;
    Recorder recorder;
    QStringList messages;
};

class SoundOnANullSink : public SoundTest
{
protected:
    void SetUp() override
    {
        if (qEnvironmentVariableIsSet("TESSARIN_NO_SOUND_SERVER") ||
            !qEnvironmentVariableIsSet("PULSE_SERVER"))
            GTEST_SKIP() << "no sound server of the test's own (tests/support/with-null-sound)";
        SoundTest::SetUp();
    }

    // The null sink's monitor, recorded as 16-bit mono at 48 kHz while it runs.
    bool startRecording()
    {
        const QString parec = QStandardPaths::findExecutable(QStringLiteral("parec"));
        if (parec.isEmpty())
            return false;
        return recording.start(parec,
                               {QStringLiteral("--raw"), QStringLiteral("--rate=48000"),
                                QStringLiteral("--channels=1"), QStringLiteral("--format=s16le"),
                                QStringLiteral("--latency-msec=20"), QStringLiteral("-d"),
                                qEnvironmentVariable("TESSARIN_SOUND_MONITOR")});
    }
    // The loudest sample recorded.
    int loudest()
    {
        recording.terminate();
        const QByteArray& bytes = recording.output();
        int most = 0;
        for (qsizetype i = 0; i + 1 < bytes.size(); i += 2)
            most =
                std::max(most, std::abs(int(qint16(quint8(bytes[i]) | quint8(bytes[i + 1]) << 8))));
        return most;
    }

    ChildProcess recording;
};

} // namespace

TEST_F(SoundOnANullSink, TheSoundIsHeardAndThePicturesKeepToIt)
{
    const QString path = TestVideos::makeWithTone(dir.path(), QStringLiteral("tone.mp4"),
                                                  {kWidth, kHeight}, QStringLiteral("25"), 3.0);
    ASSERT_FALSE(path.isEmpty());
    const bool recorded = startRecording();
    auto item = videoItem(path);
    const auto start = std::chrono::steady_clock::now();
    std::thread player([&] { item->Play(area); });
    player.join();
    const auto took = std::chrono::steady_clock::now() - start;

    const QJsonObject played = recorder.report("played");
    EXPECT_TRUE(played["sound"].toBool());
    EXPECT_EQ(played["frames"].toInt() + played["dropped"].toInt(), 75);
    // The pictures' time against the device's, measured at every frame once locked.
    ASSERT_TRUE(played.contains("soundOffsetWorstUs"));
    EXPECT_LT(played["soundOffsetWorstUs"].toInt(), 40000);
    std::cout << "worst offset of pictures to sound: " << played["soundOffsetWorstUs"].toInt()
              << " us over " << played["frames"].toInt() << " frames\n";
    // Three seconds of it, give or take the device's start.
    EXPECT_GT(took, 2900ms);
    EXPECT_LT(took, 4500ms);
    EXPECT_TRUE(messages.isEmpty()) << messages.join('\n').toStdString();
    if (recorded) {
        EXPECT_GT(loudest(), 2000); // the tone reached the device
    }
}

TEST_F(SoundOnANullSink, APauseHoldsSoundAndPicturesAndBothGoOnTogether)
{
    const QString path = TestVideos::makeWithTone(dir.path(), QStringLiteral("pause.mkv"),
                                                  {kWidth, kHeight}, QStringLiteral("25"), 3.0);
    ASSERT_FALSE(path.isEmpty());
    area.insertItem(0, videoItem(path));
    area.Play();
    // A second into the video (a loaded machine may take a while to open file and device).
    for (int i = 0; i < 1000; ++i) {
        const auto positions = recorder.positionsNow();
        if (!positions.empty() && positions.back().ptsUs >= 1'000'000)
            break;
        std::this_thread::sleep_for(10ms);
    }
    ASSERT_FALSE(recorder.positionsNow().empty());
    area.Pause();
    std::this_thread::sleep_for(100ms); // the frame in hand may still show
    const auto pausedAt = std::chrono::steady_clock::now();
    const qint64 before = recorder.positionsNow().back().ptsUs;
    std::this_thread::sleep_for(1000ms);
    EXPECT_EQ(recorder.positionsNow().back().ptsUs, before); // no picture while paused
    area.Play();
    for (int i = 0; i < 400 && recorder.report("played").isEmpty(); ++i)
        std::this_thread::sleep_for(10ms);
    const QJsonObject played = recorder.report("played");
    ASSERT_FALSE(played.isEmpty());
    EXPECT_TRUE(played["sound"].toBool());
    EXPECT_LT(played["soundOffsetWorstUs"].toInt(), 40000);
    // The rest of the video after the pause: about what was left of it.
    const auto positions = recorder.positionsNow();
    const auto resumedUs = std::chrono::duration_cast<std::chrono::microseconds>(
                               positions.back().at - pausedAt - 1000ms)
                               .count();
    EXPECT_NEAR(double(resumedUs), double(positions.back().ptsUs - before), 150000.0);
}

TEST_F(SoundOnANullSink, AMutedVideoOpensNoDevice)
{
    const QString path = TestVideos::makeWithTone(dir.path(), QStringLiteral("muted.mp4"),
                                                  {kWidth, kHeight}, QStringLiteral("25"), 1.0);
    ASSERT_FALSE(path.isEmpty());
    auto item = videoItem(path);
    ASSERT_TRUE(ItemSettings::write(*item, QStringLiteral("volume"), 0));
    std::thread player([&] { item->Play(area); });
    player.join();
    EXPECT_FALSE(recorder.report("played")["sound"].toBool());
    EXPECT_EQ(recorder.report("played")["frames"].toInt(), 25);
}

TEST_F(SoundTest, WithoutADeviceTheVideoPlaysSilentAndSaysSoOnce)
{
    if (!qEnvironmentVariable("PULSE_SERVER").contains(QLatin1String("nowhere")))
        GTEST_SKIP() << "runs where no sound server answers (ctest sound.no-device)";
    const QString path = TestVideos::makeWithTone(dir.path(), QStringLiteral("quiet.mp4"),
                                                  {kWidth, kHeight}, QStringLiteral("25"), 1.0);
    ASSERT_FALSE(path.isEmpty());
    auto item = videoItem(path);
    for (int pass = 0; pass < 2; ++pass) {
        recorder.reports.clear();
        std::thread player([&] { item->Play(area); });
        player.join();
        EXPECT_FALSE(recorder.report("played")["sound"].toBool());
        EXPECT_EQ(recorder.report("played")["frames"].toInt(), 25);
    }
    EXPECT_EQ(messages, QStringList{AudioOutput::noDevice()});
}
