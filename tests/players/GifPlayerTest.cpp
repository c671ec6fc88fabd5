#include "players/GifPlayer.h"
#include "base/ColorRef.h"
#include "base/Notifications.h"
#include "model/CAct.h"
#include "model/CPropGif.h"
#include "model/ItemSettings.h"
#include "support/PlayerFixture.h"

#include <QPainter>

#include <gtest/gtest.h>

namespace {

const QString kData = QStringLiteral(TESSARIN_TEST_DATA "/gif/");

// A GIF written byte by byte: frames of 2 x 2 pixels, each with its own two-colour table, no
// loop extension (it plays once), the given delays in hundredths of a second.
QByteArray handMadeGif(const std::vector<std::pair<QRgb, int>>& frames)
{
    QByteArray gif("GIF89a");
    gif += QByteArray("\x02\x00\x02\x00\x00\x00\x00", 7); // 2 x 2, no global table
    for (const auto& [colour, delay] : frames) {
        gif += QByteArray("\x21\xF9\x04\x00", 4);
        gif += char(delay & 0xFF);
        gif += char(delay >> 8);
        gif += QByteArray("\x00\x00", 2);
        gif += QByteArray("\x2C\x00\x00\x00\x00\x02\x00\x02\x00\x80", 10); // local table of 2
        gif += char(qRed(colour));
        gif += char(qGreen(colour));
        gif += char(qBlue(colour));
        gif += QByteArray("\x00\x00\x00", 3);
        // LZW, minimum code size 2: clear, four pixels of index 0, end.
        gif += QByteArray("\x02\x02\x84\x51\x00", 5);
    }
    gif += ';';
    return gif;
}

class GifPlayerTest : public PlayerFixture
{
protected:
    GifPlayerTest()
    {
        setUpArea(60, 40);
        item.backColor = 0x00FF00FF; // magenta, where the GIF is transparent or absent
        item.fitMode = 0;            // centred: the 40 x 30 GIFs at (10, 5)
    }

    // What the LED should show for reference frame k of a GIF of ImageMagick's own composing.
    QImage expected(const QString& name, int k) const
    {
        QImage led(60, 40, QImage::Format_RGB32);
        led.fill(colorRefToRgb(item.backColor));
        const QImage frame(kData + QStringLiteral("%1-ref-%2.png").arg(name).arg(k));
        EXPECT_FALSE(frame.isNull()) << name.toStdString() << " " << k;
        QPainter painter(&led);
        painter.drawImage(QPoint((60 - frame.width()) / 2, (40 - frame.height()) / 2), frame);
        return led;
    }

    std::vector<int> delays() const
    {
        std::vector<int> ms;
        for (const QJsonObject& page : pages)
            ms.push_back(page["delayMs"].toInt());
        return ms;
    }

    void setPlaySeconds(double seconds)
    {
        ItemSettings::write(item, QStringLiteral("playSeconds"), seconds);
    }

    CPropGif item;
};

} // namespace

TEST_F(GifPlayerTest, FramesAreTheDecodersComposedFramesOverTheBackground)
{
    const std::vector<std::pair<const char*, std::vector<int>>> files{
        {"dispose-background", {200, 200, 300, 400}},
        {"dispose-previous", {100, 200, 200, 500}},
        {"transparent-local-palettes", {150, 150, 150, 150}},
    };
    for (const auto& [name, delaysMs] : files) {
        SCOPED_TRACE(name);
        pages.clear();
        shown.clear();
        item.filePath = kData + QLatin1String(name) + QStringLiteral(".gif");
        setPlaySeconds(0); // one pass
        item.Play(area);
        ASSERT_EQ(shown.size(), delaysMs.size());
        EXPECT_EQ(delays(), delaysMs);
        for (size_t k = 0; k < shown.size(); ++k) {
            EXPECT_EQ(pages[k]["phase"].toString(), "frame");
            EXPECT_EQ(pages[k]["frame"].toInt(), int(k));
            EXPECT_EQ(shown[k], expected(QLatin1String(name), int(k))) << "frame " << k;
        }
    }
}

TEST_F(GifPlayerTest, PassesRepeatUntilThePlayTimeAndEndWithAPass)
{
    item.filePath = kData + QStringLiteral("dispose-background.gif"); // a pass of 1100 ms
    setPlaySeconds(2.5);
    item.Play(area);
    std::vector<long long> waits = clock.waitsMs();
    EXPECT_EQ(waits.size(), 12u); // three passes: 3300 ms
    EXPECT_EQ(shown.size(), 4u);  // pictures are reported for the first pass only

    // Unset, the play time is five seconds: five passes.
    VirtualClock fresh;
    area.setClock(fresh);
    item.reservedText.clear();
    item.Play(area);
    EXPECT_EQ(fresh.waitsMs().size(), 20u);
    area.setClock(clock);
}

TEST_F(GifPlayerTest, ShortDelaysCountAsBrowsersCountThemAndAFileThatPlaysOnceHoldsItsLastFrame)
{
    EXPECT_EQ(GifPlayer::frameDelayMs(0), 100);
    EXPECT_EQ(GifPlayer::frameDelayMs(10), 100);
    EXPECT_EQ(GifPlayer::frameDelayMs(20), 20);
    EXPECT_EQ(GifPlayer::frameDelayMs(-5), 100);

    item.filePath =
        writeFile("once.gif", handMadeGif({{qRgb(255, 0, 0), 0}, {qRgb(0, 0, 255), 1}}));
    setPlaySeconds(1);
    item.Play(area);
    EXPECT_EQ(delays(), (std::vector<int>{100, 100}));
    // No loop extension: one pass, then its last frame until the play time is over.
    EXPECT_EQ(clock.waitsMs(), (std::vector<long long>{100, 100, 800}));
    EXPECT_EQ(section(0).pixel(30, 20), qRgb(0, 0, 255));
    EXPECT_EQ(shown[0].pixel(30, 20), qRgb(255, 0, 0));
}

TEST_F(GifPlayerTest, AStopEndsThePlayAtTheNextFrame)
{
    item.filePath = kData + QStringLiteral("dispose-previous.gif");
    int waits = 0;
    clock.onWait = [&] {
        if (++waits == 2)
            area.stopSignal().setLocked();
    };
    item.Play(area);
    clock.onWait = nullptr;
    area.stopSignal().reset();
    EXPECT_EQ(clock.waitsMs().size(), 2u);
    EXPECT_EQ(shown.size(), 2u);
}

TEST_F(GifPlayerTest, OverlaysAreDrawnOverEveryFrameAndStretchFillsTheLed)
{
    item.filePath = kData + QStringLiteral("transparent-local-palettes.gif");
    item.fitMode = 2; // stretch
    auto text = std::make_unique<CMyText>();
    text->rect = {0, 0, 60, 20};
    text->content = QStringLiteral("{\\rtf1{\\colortbl;\\red255\\green255\\blue255;}\\cf1 WWWW}");
    item.texts.push_back(std::move(text));
    setPlaySeconds(0);
    item.Play(area);
    ASSERT_EQ(shown.size(), 4u);
    for (const QImage& frame : shown)
        EXPECT_GT(countColour(frame, qRgb(255, 255, 255)), 20); // the text, on every frame
    // Stretched by 1.25: the first frame's red circle around (10, 16) covers (12, 30) of the LED.
    EXPECT_EQ(shown[0].pixel(12, 30), qRgb(255, 0, 0));
}

TEST_F(GifPlayerTest, AFileThatDoesNotDecodeIsToldAndNotDrawn)
{
    QStringList messages;
    Notifications::setSink([&](const QString& text) { messages << text; });
    const QImage before = section(0);
    item.filePath = writeFile("broken.gif", QByteArray("GIF89a\x10\x00\x10\x00\xF7", 11));
    setPlaySeconds(2);
    item.Play(area);
    item.Play(area);
    EXPECT_TRUE(pages.empty());
    EXPECT_EQ(section(0), before); // not even its background
    ASSERT_EQ(messages.size(), 1); // once, not once a pass
    EXPECT_TRUE(messages[0].contains(QStringLiteral("broken.gif"))) << messages[0].toStdString();
    // Text under the name, or no file at all: the same.
    item.filePath = writeFile("notes.gif", "GIF? no, words");
    item.Play(area);
    item.filePath = dir.filePath("missing.gif");
    item.Play(area);
    item.Play(area);
    EXPECT_EQ(section(0), before);
    ASSERT_EQ(messages.size(), 3) << messages.join('|').toStdString();
    EXPECT_TRUE(messages[1].contains(QStringLiteral("notes.gif is a text file")));
    EXPECT_EQ(messages[2], Notifications::missingText(item.filePath));
    EXPECT_TRUE(clock.waitsMs().empty()); // the loop's rest keeps a list of these from spinning
    Notifications::setSink({});
}
