#include "model/CAct.h"
#include "model/CPropRtf.h"
#include "render/text/OfficeConverter.h"
#include "support/PlayerFixture.h"

#include <QBuffer>
#include <QFile>
#include <QTemporaryDir>

#include <atomic>
#include <mutex>

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

QByteArray pngHex(QRgb colour)
{
    QImage image(40, 20, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes.toHex();
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

TEST_F(RtfPlayerTest, NewItemsDoNotReverseColours)
{
    EXPECT_EQ(CPropRtf().reverseColors, 0);
}

TEST_F(RtfPlayerTest, ReverseColoursTurnsBlackAndWhiteOverAndKeepsHuesAndPictures)
{
    // Red and black text, a white, a black and a blue picture, on the white page.
    setFile("{\\rtf1{\\colortbl;\\red255\\green0\\blue0;\\red0\\green0\\blue0;}"
            "\\fs48{\\cf1 RRRRRR}\\par{\\cf2 KKKKKK}\\par "
            "{\\pict\\pngblip\\picw40\\pich20 " +
            pngHex(qRgb(255, 255, 255)) + "}{\\pict\\pngblip\\picw40\\pich20 " +
            pngHex(qRgb(0, 0, 0)) + "}{\\pict\\pngblip\\picw40\\pich20 " + pngHex(qRgb(0, 0, 200)) +
            "}}");
    setUpArea(400, 200);
    item.reverseColors = 0;
    item.Play(area);
    ASSERT_EQ(pages.size(), 1u);
    const QImage plain = shown[0];
    item.reverseColors = 1;
    item.Play(area);
    ASSERT_EQ(pages.size(), 2u);
    const QImage& turned = shown[1];

    const int red = count(plain, qRgb(255, 0, 0));
    EXPECT_GT(red, 50);
    EXPECT_EQ(count(turned, qRgb(255, 0, 0)), red); // red stays red
    EXPECT_EQ(count(turned, qRgb(0, 255, 255)), 0); // never its opposite
    const int blue = count(plain, qRgb(0, 0, 200));
    EXPECT_EQ(blue, 40 * 20);
    EXPECT_EQ(count(turned, qRgb(0, 0, 200)), blue); // the blue picture as it was
    EXPECT_EQ(count(turned, qRgb(255, 255, 55)), 0); // not in negative
    // White page, black text and black picture before; black page, white text, and the white
    // and black pictures still there after.
    EXPECT_GT(count(plain, qRgb(255, 255, 255)), 40000);
    EXPECT_GT(count(turned, qRgb(0, 0, 0)), 40000);
    EXPECT_GE(count(turned, qRgb(255, 255, 255)), 40 * 20 + 50); // the white picture and text
    // Pixel for pixel, the pictures' rows are the same picture: find the blue one's top left.
    QPoint at(-1, -1);
    for (int y = 0; y < plain.height() && at.x() < 0; ++y)
        for (int x = 0; x < plain.width(); ++x)
            if (plain.pixel(x, y) == qRgb(0, 0, 200)) {
                at = QPoint(x, y);
                break;
            }
    ASSERT_GE(at.x(), 80);
    // The white picture ends where the black one starts, 40 pixels before the blue one.
    for (int y = at.y(); y < at.y() + 20; ++y)
        for (int x = at.x() - 80; x < at.x() + 40; ++x)
            ASSERT_EQ(turned.pixel(x, y), plain.pixel(x, y)) << x << "," << y;
}

namespace {

// Counts Qt's warnings about timers on threads Qt did not start, from whatever thread.
class TimerWarnings
{
public:
    TimerWarnings() { s_previous = qInstallMessageHandler(&TimerWarnings::handler); }
    ~TimerWarnings() { qInstallMessageHandler(s_previous); }
    TimerWarnings(const TimerWarnings&) = delete;
    TimerWarnings& operator=(const TimerWarnings&) = delete;

    static int count() { return s_count.load(); }

private:
    static void handler(QtMsgType type, const QMessageLogContext& context, const QString& text)
    {
        if (text.contains(QLatin1String("QBasicTimer")) || text.contains(QLatin1String("QTimer")) ||
            text.contains(QLatin1String("threads started with QThread")))
            ++s_count;
        if (s_previous)
            s_previous(type, context, text);
    }

    static inline std::atomic<int> s_count{0};
    static inline QtMessageHandler s_previous = nullptr;
};

} // namespace

TEST_F(RtfPlayerTest, LayingOutLongDocumentsStartsNoTimerOnTheRenderThread)
{
    const TimerWarnings warnings;
    QByteArray rtf = "{\\rtf1\\ansi{\\fonttbl{\\f0\\fcharset0 Arial;}{\\f1\\fcharset134 SimSun;}}"
                     "{\\colortbl;\\red255\\green0\\blue0;}\\f0\\fs24 ";
    for (int i = 0; i < 40; ++i) {
        rtf += "\\trowd\\cellx1500\\cellx3000\\intbl A" + QByteArray::number(i) +
               "\\cell {\\cf1 B}\\cell\\row ";
        rtf += "{\\pict\\pngblip\\picw40\\pich20 " + pngHex(qRgb(0, 0, 200)) + "}\\par ";
        rtf += "Paragraph " + QByteArray::number(i) + " with some words in it to lay out.\\par ";
    }
    rtf += "}";
    setFile(rtf);
    item.reverseColors = 1;
    item.Play(area);
    EXPECT_GT(pages.size(), 3u);
    EXPECT_EQ(TimerWarnings::count(), 0);
    // A long document of many paragraphs, as LibreOffice writes it, is laid out in steps.
    QFile real(QStringLiteral(TESSARIN_TEST_DATA "/rtf/lo-multipage-zh-sb.rtf"));
    ASSERT_TRUE(real.open(QIODevice::ReadOnly));
    setFile(real.readAll());
    pages.clear();
    item.Play(area);
    EXPECT_GT(pages.size(), 3u);
    EXPECT_EQ(TimerWarnings::count(), 0);
}
