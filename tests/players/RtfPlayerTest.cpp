#include "model/CAct.h"
#include "model/CPropRtf.h"
#include "render/text/OfficeConverter.h"
#include "support/PlayerFixture.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

class RtfPlayerTest : public PlayerFixture
{
protected:
    RtfPlayerTest()
    {
        setUpArea(240, 80);
        item.effect = 51; // no such effect: at once
        item.holdTime = 3;
        item.reverseColors = 0;
    }

    void setFile(const QByteArray& bytes, const char* name = "doc.rtf")
    {
        item.filePath = writeFile(QString::fromLatin1(name), bytes);
    }

    static int count(const QImage& image, QRgb rgb) { return countColour(image, rgb); }

    CPropRtf item;
};

QByteArray longDocument()
{
    QByteArray rtf = "{\\rtf1 ";
    for (int i = 0; i < 30; ++i)
        rtf += "Line number " + QByteArray::number(i) + "\\par ";
    return rtf + "}";
}

} // namespace

TEST_F(RtfPlayerTest, OnePageIsShownOnceAndHeld)
{
    setFile("{\\rtf1 {\\b One} page.}");
    item.Play(area);
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(pages[0]["firstChar"].toInt(), 0);
    EXPECT_EQ(pages[0]["nextChar"].toInt(), pages[0]["textLength"].toInt());
    EXPECT_EQ(clock.waitsMs(), (std::vector<long long>{5, 1, 300}));
    EXPECT_GT(count(shown[0], qRgb(255, 255, 255)), 1000); // the white background
    EXPECT_GT(count(shown[0], qRgb(0, 0, 0)), 10);         // black text
}

TEST_F(RtfPlayerTest, PagesFollowOneAnother)
{
    setFile(longDocument());
    item.Play(area);
    ASSERT_GT(pages.size(), 3u);
    for (size_t i = 1; i < pages.size(); ++i)
        EXPECT_EQ(pages[i]["firstChar"].toInt(), pages[i - 1]["nextChar"].toInt());
    EXPECT_EQ(pages.back()["nextChar"].toInt(), pages.back()["textLength"].toInt());
}

TEST_F(RtfPlayerTest, PlainTextNamedRtfAndEmptyDocuments)
{
    setFile("plain words", "plain.rtf");
    item.Play(area);
    EXPECT_EQ(pages.size(), 1u);
    pages.clear();
    setFile("{\\rtf1 }", "empty.rtf");
    VirtualClock fresh;
    area.setClock(fresh);
    item.Play(area);
    EXPECT_TRUE(pages.empty());
    EXPECT_EQ(fresh.waitsMs(), (std::vector<long long>{5, 1})); // no hold
    area.setClock(clock);
}

TEST_F(RtfPlayerTest, ReverseColoursAndABackgroundPicture)
{
    setFile("{\\rtf1 Text}");
    item.reverseColors = 1;
    item.Play(area);
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_GT(count(shown[0], qRgb(0, 0, 0)), 10000); // white page, inverted
    EXPECT_GT(count(shown[0], qRgb(255, 255, 255)), 10);

    QImage picture(240, 80, QImage::Format_RGB32);
    picture.fill(qRgb(0, 0, 200));
    ASSERT_TRUE(picture.save(dir.filePath("back.png")));
    item.backImagePath = dir.filePath("back.png");
    item.backFitMode = 2;
    item.Play(area);
    ASSERT_EQ(pages.size(), 2u);
    EXPECT_EQ(shown[1].pixel(230, 70), qRgb(0, 0, 200)); // the picture where no text is
    EXPECT_GT(count(shown[1], qRgb(255, 255, 255)), 10); // the text on it
}

TEST_F(RtfPlayerTest, StopInTheMiddleReturnsAfterThatPage)
{
    setFile(longDocument());
    clock.onWait = [this] {
        if (clock.waitsMs().back() == 300)
            area.stopSignal().setLocked();
    };
    item.Play(area);
    clock.onWait = nullptr;
    area.stopSignal().reset();
    EXPECT_EQ(pages.size(), 1u);
}

TEST_F(RtfPlayerTest, MissingFilesAndConvertersFailQuietly)
{
    item.filePath = dir.filePath("missing.rtf");
    item.Play(area);
    EXPECT_TRUE(pages.empty());
    setFile(QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1 compound document", 26), "letter.doc");
    const QString converter = OfficeConverter::program();
    OfficeConverter::setProgram(QStringLiteral("/nonexistent/soffice"));
    VirtualClock fresh;
    area.setClock(fresh);
    item.Play(area);
    EXPECT_TRUE(pages.empty());
    EXPECT_EQ(fresh.waitsMs(), (std::vector<long long>{5, 1000}));
    area.setClock(clock);
    OfficeConverter::setProgram(converter);
}

TEST_F(RtfPlayerTest, AnEffectNumberNoEffectHasShowsThePageAtOnce)
{
    setFile("{\\rtf1 Shown at once.}");
    item.effect = 60;
    item.Play(area);
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(pages[0]["effect"].toInt(), 60);
    EXPECT_GT(count(section(0), qRgb(0, 0, 0)), 10); // the black text is there
}
