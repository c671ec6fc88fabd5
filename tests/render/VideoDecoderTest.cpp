#include "render/video/VideoDecoder.h"
#include "support/TestVideos.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>

#include <array>
#include <vector>

namespace {

using namespace std::chrono_literals;

int countColourOf(const QImage& image, QRgb rgb)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += image.pixel(x, y) == rgb;
    return n;
}

struct Decoded
{
    std::vector<int> numbers; // the frame number each picture shows
    std::vector<qint64> ptsUs;
    std::vector<qint64> indices;
    QImage first;
};

class VideoDecoderTest : public testing::Test
{
protected:
    void SetUp() override
    {
        if (!TestVideos::haveFfmpeg())
            GTEST_SKIP() << "no ffmpeg command to make test videos with";
    }

    // Every frame the decoder gives, read back over the whole area.
    static Decoded decodeAll(VideoDecoder& decoder, const QRect& readRect)
    {
        Decoded out;
        decoder.start();
        for (;;) {
            const VideoFrame* frame = nullptr;
            const VideoDecoder::Status status = decoder.frameAt(0, 5000ms, &frame);
            if (status != VideoDecoder::Status::Ready) {
                EXPECT_EQ(status, VideoDecoder::Status::Ended);
                break;
            }
            if (out.first.isNull())
                out.first = frame->picture.copy();
            out.numbers.push_back(TestVideos::readNumber(frame->picture, readRect));
            out.ptsUs.push_back(frame->ptsUs);
            out.indices.push_back(frame->index);
            decoder.release();
        }
        return out;
    }

    static VideoDecoder::Options options(QSize area, int fitMode = 2)
    {
        VideoDecoder::Options o;
        o.area = area;
        o.fitMode = fitMode;
        return o;
    }

    QTemporaryDir dir;
};

} // namespace

TEST(VideoPlacement, EachFitPutsTheVideoWhereThePicturesGo)
{
    using P = VideoDecoder::Placement;
    const auto place = [](QSize v, QSize a, int fit) { return VideoDecoder::placement(v, a, fit); };
    const auto same = [](const P& p, QRect source, QRect target) {
        return p.source == source && p.target == target;
    };
    // Centre: its own size in the middle, cut where it is larger.
    EXPECT_TRUE(same(place({32, 16}, {64, 64}, 0), QRect(0, 0, 32, 16), QRect(16, 24, 32, 16)));
    EXPECT_TRUE(same(place({64, 16}, {32, 32}, 0), QRect(16, 0, 32, 16), QRect(0, 8, 32, 16)));
    // Zoom: the whole video, bars above and below or left and right.
    EXPECT_TRUE(same(place({32, 16}, {64, 64}, 1), QRect(0, 0, 32, 16), QRect(0, 16, 64, 32)));
    EXPECT_TRUE(same(place({16, 32}, {64, 64}, 1), QRect(0, 0, 16, 32), QRect(16, 0, 32, 64)));
    // Stretch: all of it onto all of the area.
    EXPECT_TRUE(same(place({32, 16}, {50, 70}, 2), QRect(0, 0, 32, 16), QRect(0, 0, 50, 70)));
    // Fill: the area covered, the video's overhang cut evenly.
    EXPECT_TRUE(same(place({64, 16}, {32, 32}, 3), QRect(24, 0, 16, 16), QRect(0, 0, 32, 32)));
    EXPECT_TRUE(same(place({16, 64}, {32, 32}, 3), QRect(0, 24, 16, 16), QRect(0, 0, 32, 32)));
    EXPECT_TRUE(place({0, 16}, {32, 32}, 1).target.isEmpty());

    // Anamorphic video (stored pixels twice as wide as high): placed as it is shown, 64 x 16.
    const auto wide = [](QSize a, int fit) {
        return VideoDecoder::placement({32, 16}, a, fit, 2.0);
    };
    EXPECT_TRUE(same(wide({64, 64}, 1), QRect(0, 0, 32, 16), QRect(0, 24, 64, 16)));
    EXPECT_TRUE(same(wide({64, 64}, 0), QRect(0, 0, 32, 16), QRect(0, 24, 64, 16)));
    EXPECT_TRUE(same(wide({32, 32}, 0), QRect(8, 0, 16, 16), QRect(0, 8, 32, 16)));
    EXPECT_TRUE(same(wide({32, 32}, 3), QRect(12, 0, 8, 16), QRect(0, 0, 32, 32)));
    EXPECT_TRUE(same(wide({50, 70}, 2), QRect(0, 0, 32, 16), QRect(0, 0, 50, 70)));
}

TEST_F(VideoDecoderTest, EveryFrameReadsBackWithItsTimeAt25_30And60Fps)
{
    struct Case
    {
        const char* rate;
        int frames;
        qint64 frameUs; // nominal
    };
    for (const Case c : {Case{"25", 50, 40000}, Case{"30", 60, 33333}, Case{"60", 120, 16667},
                         Case{"30000/1001", 60, 33367}}) {
        SCOPED_TRACE(c.rate);
        const QString path = TestVideos::make(dir.path(), QStringLiteral("n.mp4"), {64, 48},
                                              QLatin1String(c.rate), 2.0);
        ASSERT_FALSE(path.isEmpty());
        VideoDecoder decoder;
        QString why;
        ASSERT_TRUE(decoder.open(path, options({64, 48}), &why)) << why.toStdString();
        EXPECT_EQ(decoder.videoSize(), QSize(64, 48));
        const Decoded d = decodeAll(decoder, QRect(0, 0, 64, 48));
        ASSERT_EQ(int(d.numbers.size()), c.frames);
        for (int n = 0; n < c.frames; ++n) {
            EXPECT_EQ(d.numbers[size_t(n)], n);
            EXPECT_EQ(d.indices[size_t(n)], n);
            // From the stream's own times: frame n at n frame lengths, to the microsecond.
            EXPECT_NEAR(double(d.ptsUs[size_t(n)]), double(n) * c.frameUs, 1.0 + n * 0.5)
                << "frame " << n;
        }
    }
}

TEST_F(VideoDecoderTest, FramesAreScaledOnceToTheirFitWithBarsInTheBackground)
{
    // 64 x 16: four stripes of 16, grey 50, 100, 150, 200.
    const QString path = TestVideos::make(dir.path(), QStringLiteral("s.mkv"), {64, 16},
                                          QStringLiteral("25"), 0.2, TestVideos::stripePattern());
    ASSERT_FALSE(path.isEmpty());
    QImage background(32, 32, QImage::Format_RGB32);
    background.fill(qRgb(255, 0, 255));
    const auto grey = [](QRgb c) { return qGreen(c); };
    const auto near = [&](QRgb c, int level) { return std::abs(grey(c) - level) <= 4; };
    const auto decodeFirst = [&](int fitMode) {
        VideoDecoder decoder;
        VideoDecoder::Options o = options({32, 32}, fitMode);
        o.background = background;
        QString why;
        EXPECT_TRUE(decoder.open(path, o, &why)) << why.toStdString();
        return decodeAll(decoder, QRect(0, 0, 32, 32)).first;
    };
    const auto level = [](int stripe) { return 50 + 50 * stripe; }; // full-range grey ~ luma
    const auto rgbLevel = [&](int stripe) {
        return int(std::lround((level(stripe) - 16) * 255.0 / 219));
    };

    // Centre: the middle 32 columns (stripes 1 and 2) at rows 8-23, magenta bars above and below.
    QImage centre = decodeFirst(0);
    ASSERT_FALSE(centre.isNull());
    EXPECT_EQ(centre.pixel(5, 3), qRgb(255, 0, 255));
    EXPECT_EQ(centre.pixel(20, 28), qRgb(255, 0, 255));
    EXPECT_TRUE(near(centre.pixel(4, 12), rgbLevel(1))) << grey(centre.pixel(4, 12));
    EXPECT_TRUE(near(centre.pixel(28, 20), rgbLevel(2))) << grey(centre.pixel(28, 20));
    // Zoom: all four stripes, 8 columns each, rows 12-19; bars in the background.
    QImage zoom = decodeFirst(1);
    EXPECT_EQ(zoom.pixel(16, 5), qRgb(255, 0, 255));
    EXPECT_EQ(zoom.pixel(16, 26), qRgb(255, 0, 255));
    for (int s = 0; s < 4; ++s)
        EXPECT_TRUE(near(zoom.pixel(8 * s + 4, 16), rgbLevel(s))) << s;
    // Stretch: all four over the whole height.
    QImage stretch = decodeFirst(2);
    for (int s = 0; s < 4; ++s) {
        EXPECT_TRUE(near(stretch.pixel(8 * s + 4, 1), rgbLevel(s))) << s;
        EXPECT_TRUE(near(stretch.pixel(8 * s + 4, 30), rgbLevel(s))) << s;
    }
    // Fill: the middle 16 columns cut out and scaled to the area: stripe 1 left, 2 right.
    QImage fill = decodeFirst(3);
    EXPECT_TRUE(near(fill.pixel(3, 3), rgbLevel(1))) << grey(fill.pixel(3, 3));
    EXPECT_TRUE(near(fill.pixel(28, 28), rgbLevel(2))) << grey(fill.pixel(28, 28));
    EXPECT_EQ(countColourOf(fill, qRgb(255, 0, 255)), 0);
}

TEST_F(VideoDecoderTest, PassesGoOnInTimeAndAStartSkipsAhead)
{
    const QString path = TestVideos::make(dir.path(), QStringLiteral("loop.mp4"), {64, 48},
                                          QStringLiteral("25"), 1.0);
    ASSERT_FALSE(path.isEmpty());
    {
        VideoDecoder decoder;
        VideoDecoder::Options o = options({64, 48});
        o.passes = 3;
        ASSERT_TRUE(decoder.open(path, o, nullptr));
        const Decoded d = decodeAll(decoder, QRect(0, 0, 64, 48));
        ASSERT_EQ(d.numbers.size(), 75u);
        for (int n = 0; n < 75; ++n) {
            EXPECT_EQ(d.numbers[size_t(n)], n % 25);
            EXPECT_EQ(d.ptsUs[size_t(n)], n * 40000LL); // one time line over the passes
        }
    }
    {
        VideoDecoder decoder;
        VideoDecoder::Options o = options({64, 48});
        o.startUs = 400000;
        o.passes = 2;
        ASSERT_TRUE(decoder.open(path, o, nullptr));
        const Decoded d = decodeAll(decoder, QRect(0, 0, 64, 48));
        ASSERT_EQ(d.numbers.size(), 30u);
        EXPECT_EQ(d.numbers[0], 10);
        EXPECT_EQ(d.ptsUs[0], 0);
        EXPECT_EQ(d.numbers[15], 10); // the second pass starts there too
        EXPECT_EQ(d.ptsUs[15], 15 * 40000LL);
    }
}

TEST_F(VideoDecoderTest, TheQueueHoldsAFewPicturesAndNoMore)
{
    const QString path =
        TestVideos::make(dir.path(), QStringLiteral("q.mp4"), {64, 48}, QStringLiteral("25"), 2.0);
    ASSERT_FALSE(path.isEmpty());
    VideoDecoder decoder;
    ASSERT_TRUE(decoder.open(path, options({64, 48}), nullptr));
    EXPECT_EQ(decoder.bufferCount(), VideoDecoder::kMostFrames);
    decoder.start();
    const VideoFrame* frame = nullptr;
    ASSERT_EQ(decoder.frameAt(VideoDecoder::kMostFrames - 1, 5000ms, &frame),
              VideoDecoder::Status::Ready);
    // Nothing is released: the decoder waits for a buffer.
    EXPECT_EQ(decoder.frameAt(1, 0ms, &frame), VideoDecoder::Status::Ready);
    EXPECT_EQ(decoder.decodedCount(), VideoDecoder::kMostFrames);
    decoder.release();
    ASSERT_EQ(decoder.frameAt(VideoDecoder::kMostFrames - 1, 5000ms, &frame),
              VideoDecoder::Status::Ready);
    EXPECT_EQ(frame->index, VideoDecoder::kMostFrames);

    // Large pictures: fewer of them, within the queue's bytes (two at least).
    VideoDecoder large;
    ASSERT_TRUE(large.open(path, options({1920, 1200}), nullptr));
    EXPECT_EQ(large.bufferCount(), 3);
    VideoDecoder huge;
    ASSERT_TRUE(huge.open(path, options({3840, 2160}), nullptr));
    EXPECT_EQ(huge.bufferCount(), 2);
}

TEST_F(VideoDecoderTest, ATruncatedFileYieldsWhatDecodesAndBadFilesSayWhy)
{
    const QString path = TestVideos::make(dir.path(), QStringLiteral("whole.ts"), {64, 48},
                                          QStringLiteral("25"), 2.0);
    ASSERT_FALSE(path.isEmpty());
    QFile whole(path);
    ASSERT_TRUE(whole.open(QIODevice::ReadOnly));
    const QByteArray bytes = whole.readAll();
    const QString cut = dir.filePath(QStringLiteral("cut.ts"));
    {
        QFile out(cut);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(bytes.first(bytes.size() / 2));
        // and a run of garbage where the rest was
        out.write(QByteArray(5000, '\x47'));
    }
    VideoDecoder decoder;
    QString why;
    ASSERT_TRUE(decoder.open(cut, options({64, 48}), &why)) << why.toStdString();
    const Decoded d = decodeAll(decoder, QRect(0, 0, 64, 48));
    EXPECT_GT(d.numbers.size(), 5u);
    EXPECT_LT(d.numbers.size(), 50u);
    for (size_t n = 0; n < d.numbers.size(); ++n)
        EXPECT_EQ(d.numbers[n], d.indices[n]); // the frames that are there, in order

    // No video stream at all: told so.
    const QString audio = dir.filePath(QStringLiteral("sound.mp4"));
    ASSERT_TRUE(TestVideos::ffmpeg({"-f", "lavfi", "-i", "sine=d=0.5", audio}));
    VideoDecoder silent;
    EXPECT_FALSE(silent.open(audio, options({64, 48}), &why));
    EXPECT_EQ(why, QStringLiteral("sound.mp4 holds no video.")) << why.toStdString();
    // Bytes that are no video.
    VideoDecoder none;
    EXPECT_FALSE(none.openMemory(QByteArray(3000, 'x'), options({64, 48}), &why));
    EXPECT_FALSE(why.isEmpty());
    // From memory, the same frames as from the file.
    EXPECT_EQ(VideoDecoder::decodeAll(bytes, {64, 48}, 2), 50);
}

TEST_F(VideoDecoderTest, DamagedBytesInEveryContainerEndWithWhatDecodes)
{
    for (const char* ext : {"mp4", "mkv", "avi", "ts"}) {
        SCOPED_TRACE(ext);
        const QString path = TestVideos::make(dir.path(), QStringLiteral("d.") + QLatin1String(ext),
                                              {32, 24}, QStringLiteral("10"), 1.0);
        ASSERT_FALSE(path.isEmpty());
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        EXPECT_EQ(VideoDecoder::decodeAll(bytes, {48, 32}, 1), 10);
        // Runs of bytes overwritten all through the file, a different place each time.
        quint32 seed = 12345;
        for (int round = 0; round < 40; ++round) {
            QByteArray damaged = bytes;
            for (int hit = 0; hit < 8; ++hit) {
                seed = seed * 1664525u + 1013904223u;
                const qsizetype at = qsizetype(seed % quint32(damaged.size()));
                for (qsizetype i = at; i < std::min(damaged.size(), at + 16); ++i)
                    damaged[i] = char(seed >> (i % 24));
            }
            const int frames = VideoDecoder::decodeAll(damaged, {48, 32}, round % 4);
            EXPECT_GE(frames, 0);
            EXPECT_LE(frames, 40); // never more than a damaged stream could hold
        }
    }
}

TEST_F(VideoDecoderTest, AHeaderClaimingBillionsOfFramesASecondIsHeldToAFrameAMillisecond)
{
    // Motion JPEG: its pictures carry no rate of their own that could stand in for the header's.
    const QString path = TestVideos::make(dir.path(), QStringLiteral("r.avi"), {32, 24},
                                          QStringLiteral("10"), 1.0, TestVideos::numberPattern(),
                                          {QStringLiteral("-c:v"), QStringLiteral("mjpeg"),
                                           QStringLiteral("-pix_fmt"), QStringLiteral("yuvj420p")});
    ASSERT_FALSE(path.isEmpty());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QByteArray bytes = file.readAll();
    // The video stream's header: its scale and rate follow the type, handler, flags, priority,
    // language and initial frames.
    const qsizetype strh = bytes.indexOf("strh");
    ASSERT_GE(strh, 0);
    ASSERT_EQ(bytes.mid(strh + 8, 4), QByteArray("vids"));
    const qsizetype scaleAt = strh + 8 + 4 + 4 + 4 + 2 + 2 + 4;
    ASSERT_LT(scaleAt + 8, bytes.size());
    qToLittleEndian<quint32>(1, bytes.data() + scaleAt);
    qToLittleEndian<quint32>(0xfbffffffu, bytes.data() + scaleAt + 4); // 4.2 billion a second
    VideoDecoder decoder;
    QString why;
    ASSERT_TRUE(decoder.openMemory(bytes, options({32, 24}), &why)) << why.toStdString();
    EXPECT_GT(decoder.frameRate(), 0.0);
    EXPECT_LE(decoder.frameRate(), 1000.0);
    EXPECT_GE(VideoDecoder::decodeAll(bytes, {48, 32}, 0), 1);
}

TEST_F(VideoDecoderTest, JoinedRecordingsWhoseClockJumpsPlayOnWithoutAWait)
{
    // Two recordings joined byte for byte: the second one's clock starts again (back), or runs
    // 100 s on (forward). Its pictures follow the first one's on the timeline.
    const QString first =
        TestVideos::make(dir.path(), QStringLiteral("a.ts"), {64, 48}, QStringLiteral("25"), 1.0);
    const QString later = TestVideos::make(
        dir.path(), QStringLiteral("b.ts"), {64, 48}, QStringLiteral("25"), 1.0,
        TestVideos::numberPattern(), {QStringLiteral("-output_ts_offset"), QStringLiteral("100")});
    ASSERT_FALSE(first.isEmpty());
    ASSERT_FALSE(later.isEmpty());
    const auto bytesOf = [](const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    for (const QString& second : {first, later}) {
        SCOPED_TRACE(second.toStdString());
        const QString joined = dir.filePath(QStringLiteral("joined.ts"));
        QFile out(joined);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(bytesOf(first) + bytesOf(second));
        out.close();
        VideoDecoder decoder;
        ASSERT_TRUE(decoder.open(joined, options({64, 48}), nullptr));
        const Decoded d = decodeAll(decoder, QRect(0, 0, 64, 48));
        ASSERT_EQ(d.numbers.size(), 50u);
        for (size_t n = 1; n < d.ptsUs.size(); ++n) {
            EXPECT_EQ(d.numbers[n], int(n % 25));
            // Every step a frame or so: never the jump.
            EXPECT_GE(d.ptsUs[n] - d.ptsUs[n - 1], 0) << n;
            EXPECT_LE(d.ptsUs[n] - d.ptsUs[n - 1], 80000) << n;
        }
        EXPECT_NEAR(double(d.ptsUs.back()), 49 * 40000.0, 80000.0);
    }
}

TEST_F(VideoDecoderTest, TheSoundIsResampledOntoThePicturesTimeline)
{
    // Two seconds of pictures; a tone that starts half a second in, in another rate and layout.
    const QString path = dir.filePath(QStringLiteral("tone.mkv"));
    ASSERT_TRUE(
        TestVideos::ffmpeg({"-f", "lavfi", "-i", "color=c=black:s=64x48:r=25:d=2", "-f", "lavfi",
                            "-i", "sine=f=440:r=44100:d=1.5", "-filter_complex",
                            "[1:a]adelay=500,aformat=channel_layouts=mono[a]", "-map", "0:v",
                            "-map", "[a]", "-c:v", "libx264", "-c:a", "flac", path}));
    for (int passes : {1, 2}) {
        SCOPED_TRACE(passes);
        VideoDecoder decoder;
        VideoDecoder::Options o = options({64, 48});
        o.audioRate = 48000;
        o.audioChannels = 2;
        o.passes = passes;
        ASSERT_TRUE(decoder.open(path, o, nullptr));
        ASSERT_TRUE(decoder.hasAudio());
        decoder.start();
        std::vector<qint16> sound;
        qint64 expected = 0;
        bool contiguous = true;
        int pictures = 0;
        std::array<qint16, 2048> chunk{};
        for (bool audioOver = false, videoOver = false; !audioOver || !videoOver;) {
            qint64 first = 0;
            const int n = decoder.readAudio(chunk.data(), 1024, &first);
            if (n < 0)
                audioOver = true;
            if (n > 0) {
                contiguous = contiguous && first == expected;
                expected = first + n;
                sound.insert(sound.end(), chunk.begin(), chunk.begin() + 2 * n);
            }
            const VideoFrame* frame = nullptr;
            const auto status = decoder.frameAt(0, 2ms, &frame);
            if (status == VideoDecoder::Status::Ended)
                videoOver = true;
            if (status == VideoDecoder::Status::Ready) {
                ++pictures;
                decoder.release();
            }
        }
        EXPECT_TRUE(contiguous);
        EXPECT_EQ(pictures, 50 * passes);
        // Each pass: 2 s of sound at 48 kHz, stereo, silent for its first half second.
        const qint64 frames = qint64(sound.size() / 2);
        EXPECT_NEAR(double(frames), 96000.0 * passes, 2400.0);
        for (int pass = 0; pass < passes; ++pass) {
            qint64 onset = -1;
            for (qint64 i = pass * 96000; i < frames && onset < 0; ++i)
                if (std::abs(sound[size_t(2 * i)]) > 2000)
                    onset = i - pass * 96000;
            EXPECT_NEAR(double(onset), 24000.0, 480.0) << "pass " << pass; // within 10 ms
            EXPECT_EQ(sound[size_t(2 * (pass * 96000 + 30000))],
                      sound[size_t(2 * (pass * 96000 + 30000) + 1)]); // mono on both channels
        }
    }
}

TEST_F(VideoDecoderTest, TheGpuIsAskedForWhereSetAndSoftwareDecodesWithoutIt)
{
    const QString path =
        TestVideos::make(dir.path(), QStringLiteral("hw.mp4"), {64, 48}, QStringLiteral("25"), 0.4);
    ASSERT_FALSE(path.isEmpty());
    VideoDecoder decoder;
    VideoDecoder::Options o = options({64, 48});
    o.hardware = true;
    ASSERT_TRUE(decoder.open(path, o, nullptr));
    // Where the PC has a VA-API device the pictures come from it; else (this machine, CI) from
    // software, by themselves. Either way the same pictures.
    if (!QFile::exists(QStringLiteral("/dev/dri"))) {
        EXPECT_FALSE(decoder.decodesOnHardware());
    }
    const Decoded d = decodeAll(decoder, QRect(0, 0, 64, 48));
    ASSERT_EQ(d.numbers.size(), 10u);
    for (int n = 0; n < 10; ++n)
        EXPECT_EQ(d.numbers[size_t(n)], n);
}
