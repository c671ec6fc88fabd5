#include "base/Codepage.h"
#include "model/CAct.h"
#include "model/CPropText.h"
#include "model/ItemSettings.h"
#include "model/PlayRandom.h"
#include "support/PlayerFixture.h"

#include <gtest/gtest.h>

namespace {

class TextPlayerTest : public PlayerFixture
{
protected:
    TextPlayerTest()
    {
        setUpArea(200, 100);
        area.changeSettings([&](AreaSettings& s) { s.backColor = 0x00102030; });
        item.effect = 51; // no such effect: drawn at once, no waits of its own
        item.backColor = 0x00102030;
        item.holdTime = 3;
    }

    void setText(const QByteArray& bytes)
    {
        item.filePath = writeFile(QStringLiteral("t%1.txt").arg(++files), bytes);
    }

    // How many lines a page holds, learnt from a play of one line.
    int linesPerPage()
    {
        setText("x");
        item.Play(area);
        const int n = pages.back()["linesPerPage"].toInt();
        pages.clear();
        shown.clear();
        return n;
    }

    int files = 0;
    CPropText item;
};

} // namespace

TEST_F(TextPlayerTest, ShortLinesMakeOnePageHeldForItsHoldTime)
{
    setText("first line\n\n\nsecond\r\nthird\n");
    item.Play(area);
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(pages[0]["lines"].toInt(), 3); // blank lines skipped
    EXPECT_EQ(pages[0]["page"].toInt(), 1);
    EXPECT_EQ(pages[0]["effect"].toInt(), 51);
    const int hc = pages[0]["charHeight"].toInt();
    EXPECT_EQ(pages[0]["linesPerPage"].toInt(), 96 / (hc + 2));
    EXPECT_EQ(clock.waitsMs(), std::vector<long long>{300});
    EXPECT_GT(countColour(shown[0], qRgb(255, 255, 255)), 50);       // white text
    EXPECT_GT(countColour(shown[0], qRgb(0x30, 0x20, 0x10)), 10000); // on the item's colour
}

TEST_F(TextPlayerTest, AnExactlyFullLastPageIsFollowedByHalfASecond)
{
    const int n = linesPerPage();
    QByteArray text;
    for (int i = 0; i < 2 * n; ++i)
        text += "line\n";
    setText(text);
    VirtualClock fresh;
    area.setClock(fresh);
    item.Play(area);
    EXPECT_EQ(pages.size(), 2u);
    EXPECT_EQ(fresh.waitsMs(), (std::vector<long long>{300, 300, 500}));
    area.setClock(clock);
}

TEST_F(TextPlayerTest, LongParagraphsWrapIntoSeveralLines)
{
    const int n = linesPerPage();
    setText(QString(200, QChar(0x6D4B)).toUtf8()); // 测 x 200, 16 pixels each: 12 a line
    item.Play(area);
    int lines = 0;
    for (const QJsonObject& page : pages)
        lines += page["lines"].toInt();
    EXPECT_EQ(lines, (200 + 11) / 12);
    EXPECT_EQ(pages[0]["lines"].toInt(), n);
}

TEST_F(TextPlayerTest, RandomEffectIsDrawnOncePerPlay)
{
    const int n = linesPerPage();
    QByteArray text;
    for (int i = 0; i < 3 * n; ++i)
        text += "line\n";
    setText(text);
    item.effect = 0;
    PlayRandom::seed(99);
    item.Play(area);
    ASSERT_EQ(pages.size(), 3u);
    const int effect = pages[0]["effect"].toInt();
    EXPECT_GE(effect, 1);
    EXPECT_LE(effect, 50);
    for (const QJsonObject& page : pages)
        EXPECT_EQ(page["effect"].toInt(), effect);
    PlayRandom::seed(99);
    EXPECT_EQ(PlayRandom::next() % 50 + 1, effect);
}

TEST_F(TextPlayerTest, OutlineStylesDrawTheirLayers)
{
    setText(QStringLiteral("测试文字").toUtf8());
    item.textColor = 0x000000FF; // red
    item.textStyle = 1;          // outward: a half-red shadow at (+2, +2)
    item.Play(area);
    EXPECT_GT(countColour(shown.back(), qRgb(0x80, 0, 0)), 10);
    item.textStyle = 2; // 3D: dark at (+1, +1), light at (-1, -1)
    item.textColor = 0x00FFFFFF;
    item.Play(area);
    EXPECT_GT(countColour(shown.back(), qRgb(0xAA, 0xAA, 0xAA)), 5);
}

TEST_F(TextPlayerTest, Utf8AndGbkFilesShowTheSamePicture)
{
    const QString text = QStringLiteral("欢迎光临，LED 显示屏");
    setText(text.toUtf8());
    item.Play(area);
    setText(Codepage::fromUnicode(text));
    item.Play(area);
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0], shown[1]);
}

TEST_F(TextPlayerTest, FailuresReturnQuietly)
{
    item.filePath = dir.filePath(QStringLiteral("missing.txt"));
    item.Play(area);
    EXPECT_TRUE(pages.empty());
    EXPECT_TRUE(clock.waitsMs().empty());

    setText("");
    item.Play(area);
    EXPECT_TRUE(pages.empty());
    EXPECT_EQ(clock.waitsMs(), std::vector<long long>{500});

    CAct empty;
    setText("text");
    item.Play(empty);
    EXPECT_TRUE(pages.empty());
}

TEST_F(TextPlayerTest, StopDuringAHoldEndsThePlay)
{
    const int n = linesPerPage();
    QByteArray text;
    for (int i = 0; i < 3 * n; ++i)
        text += "line\n";
    setText(text);
    clock.onWait = [this] { area.stopSignal().setLocked(); };
    item.Play(area);
    clock.onWait = nullptr;
    area.stopSignal().reset();
    EXPECT_EQ(pages.size(), 1u);
}

TEST_F(TextPlayerTest, AnEffectNumberNoEffectHasShowsThePageAtOnce)
{
    for (int effect : {60, 1000, -2}) {
        area.ClearSections();
        area.AddSection(0, 200, 0);
        area.LayoutSections();
        shown.clear();
        item.effect = effect;
        setText("shown at once\n");
        item.Play(area);
        ASSERT_EQ(shown.size(), 1u) << effect;
        EXPECT_GT(countColour(section(0), qRgb(255, 255, 255)), 50) << effect;
    }
}

TEST_F(TextPlayerTest, LiveFieldsRedrawOnlyTheLinesThatChangeWhileThePageHolds)
{
    setText("at {time:HH:mm:ss}\nfixed line\n");
    ItemSettings::write(item, "fields", true);
    item.holdTime = 25;
    area.setWallClockStart(QDateTime(QDate(2026, 12, 8), QTime(9, 15, 30, 400)));
    item.Play(area);
    // Each turn of the wall clock's second, then the rest of the hold.
    EXPECT_EQ(clock.waitsMs(), (std::vector<long long>{600, 1000, 900}));
    ASSERT_EQ(pages.size(), 3u);
    EXPECT_EQ(pages[1]["phase"].toString(), "fields");
    EXPECT_EQ(pages[2]["phase"].toString(), "fields");
    // Only the first line's slot was drawn again: the second line stays as it was.
    const QRect redrawn(pages[1]["x"].toInt(), pages[1]["y"].toInt(), pages[1]["width"].toInt(),
                        pages[1]["height"].toInt());
    EXPECT_LT(redrawn.height(), 100 / 2);
    for (int y = 0; y < 100; ++y) {
        for (int x = 0; x < 200; ++x) {
            if (redrawn.contains(x, y))
                continue;
            ASSERT_EQ(shown[1].pixel(x, y), shown[0].pixel(x, y)) << x << "," << y;
        }
    }
    EXPECT_NE(shown[1], shown[0]); // 09:15:31 is not 09:15:30
    EXPECT_NE(shown[2], shown[1]);

    // Without "fields" the braces are text, and the page simply holds.
    pages.clear();
    shown.clear();
    VirtualClock fresh;
    area.setClock(fresh);
    item.reservedText.clear();
    item.Play(area);
    EXPECT_EQ(fresh.waitsMs(), std::vector<long long>{2500});
    EXPECT_EQ(pages.size(), 1u);
    area.setClock(clock);
}
