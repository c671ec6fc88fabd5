// Files as users have them: what other programs wrote (tests/data, see its SOURCES) and the
// everyday cases those programs produce, each of which once came out wrong.
#include "base/Codepage.h"
#include "render/text/CMyRichEdit.h"
#include "render/text/OfficeConverter.h"
#include "render/text/RtfReader.h"
#include "render/text/TextFile.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextTable>
#include <QUrl>

#include <gtest/gtest.h>

#include <atomic>

namespace {

QByteArray readData(const QString& relative)
{
    QFile file(QStringLiteral(TESSARIN_TEST_DATA "/") + relative);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QTextCharFormat formatOf(QTextDocument& document, const QString& text)
{
    const int at = document.toPlainText().indexOf(text);
    EXPECT_GE(at, 0) << text.toStdString();
    QTextCursor cursor(&document);
    cursor.setPosition(at + 1);
    return cursor.charFormat();
}

QTextTable* firstTable(QTextDocument& document)
{
    for (QTextFrame* frame : document.rootFrame()->childFrames())
        if (auto* table = qobject_cast<QTextTable*>(frame))
            return table;
    return nullptr;
}

QByteArray png(int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(Qt::red);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes.toHex();
}

} // namespace

TEST(TextCharsets, ShortGbkIsNotTakenForUtf8)
{
    // Both are valid UTF-8 byte for byte.
    for (const char* name : {"text/gbk-short-tingye-qiantai.txt", "text/gbk-short-tingye.txt"}) {
        const QByteArray bytes = readData(QString::fromLatin1(name));
        ASSERT_FALSE(bytes.isEmpty()) << name;
        ASSERT_TRUE(TextFile::looksLikeUtf8(bytes)) << name;
        EXPECT_EQ(TextFile::detectCharset(bytes), "GB18030") << name;
        EXPECT_TRUE(TextFile::decode(bytes).startsWith(QStringLiteral("停业"))) << name;
    }
    EXPECT_EQ(TextFile::lines(readData(QStringLiteral("text/gbk-short-huanying-crlf.txt"))),
              (QStringList{QStringLiteral("欢迎光临"), QStringLiteral("前台")}));
    // Real UTF-8 stays UTF-8, short or long, Chinese or Western.
    EXPECT_EQ(TextFile::decode(QStringLiteral("前台").toUtf8()), QStringLiteral("前台"));
    EXPECT_EQ(TextFile::decode(QStringLiteral("Café crème").toUtf8()),
              QStringLiteral("Café crème"));
    EXPECT_EQ(TextFile::decode("plain"), QStringLiteral("plain"));
}

TEST(TextCharsets, EveryEncodingOfOneTextReadsTheSame)
{
    const QStringList expected =
        TextFile::lines(readData(QStringLiteral("text/zh-tang-utf8-nobom.txt")));
    ASSERT_GT(expected.size(), 10);
    for (const char* name : {"text/zh-tang-utf8-bom.txt", "text/zh-tang-gbk-lf.txt",
                             "text/zh-tang-gbk-crlf.txt", "text/zh-tang-utf16le-bom-crlf.txt",
                             "text/zh-tang-utf16be-bom.txt", "text/zh-tang-utf8-cr-only.txt"}) {
        EXPECT_EQ(TextFile::lines(readData(QString::fromLatin1(name))), expected) << name;
    }
    // UTF-16 without its byte-order mark, as some exporters write notices.
    const QString notice = QStringLiteral("Opening hours 09:00-18:00\nClosed on Sunday 停业");
    QByteArray wide;
    for (const QChar c : notice)
        wide.append(char(c.unicode() & 0xFF)).append(char(c.unicode() >> 8));
    EXPECT_EQ(TextFile::decode(wide), notice);
    // Big5 keeps what Big5 can hold.
    const QString big5 = TextFile::decode(readData(QStringLiteral("text/zh-tang-big5.txt")));
    EXPECT_EQ(TextFile::detectCharset(readData(QStringLiteral("text/zh-tang-big5.txt"))), "Big5");
    EXPECT_TRUE(big5.contains(expected.first().left(2))) << big5.left(20).toStdString();
}

TEST(RtfReading, EastAsianRunsTakeTheAssociatedSizeAndWeight)
{
    QTextDocument document;
    readRtfOrText("{\\rtf1\\ansi{\\fonttbl{\\f0\\fcharset0 Arial;}{\\f4\\fcharset134 SimSun;}}"
                  "\\fs24 {\\rtlch\\af0\\afs20 \\ltrch\\dbch\\af4\\afs48\\ab\\loch\\f0\\fs24 "
                  "\\dbch \\u20013\\'3f\\u25991\\'3f}{\\loch\\f0 Latin}}",
                  document);
    const QTextCharFormat chinese = formatOf(document, QStringLiteral("中文"));
    EXPECT_EQ(chinese.fontPointSize(), 24);
    EXPECT_EQ(chinese.fontWeight(), QFont::Bold);
    EXPECT_EQ(chinese.fontFamilies().toStringList(), QStringList{QStringLiteral("SimSun")});
    const QTextCharFormat latin = formatOf(document, QStringLiteral("Latin"));
    EXPECT_EQ(latin.fontPointSize(), 12);
    EXPECT_EQ(latin.fontWeight(), QFont::Normal);
    // The whole LibreOffice document: the 48-point run is no longer 12 points.
    QTextDocument lo;
    readRtfOrText(readData(QStringLiteral("rtf/lo-zh-mixed.rtf")), lo);
    EXPECT_GE(formatOf(lo, QStringLiteral("停业")).fontPointSize(), 36);
}

TEST(RtfReading, EachFontsCharsetDecodesItsRuns)
{
    QTextDocument document;
    readRtfOrText("{\\rtf1\\ansi\\ansicpg936{\\fonttbl{\\f0\\fcharset134 SimSun;}"
                  "{\\f1\\fcharset0 Arial;}}\\f0 \\'cd\\'a3\\'d2\\'b5 {\\f1 Les Mis\\'e9rables "
                  "25\\'b0C}}",
                  document);
    EXPECT_EQ(document.toPlainText(), QStringLiteral("停业 Les Misérables 25°C"));
}

TEST(RtfReading, PicturesTakeTheirScaleAndKind)
{
    QTextDocument document;
    readRtfOrText("{\\rtf1 A{\\pict\\pngblip\\picw40\\pich20\\picscalex50\\picscaley50 " +
                      png(40, 20) + "}B{\\pict\\pngblip\\picwgoal300\\pichgoal150 " + png(40, 20) +
                      "}C}",
                  document);
    std::vector<QSizeF> sizes;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next())
        for (auto it = block.begin(); !it.atEnd(); ++it)
            if (it.fragment().charFormat().isImageFormat()) {
                const QTextImageFormat image = it.fragment().charFormat().toImageFormat();
                sizes.emplace_back(image.width(), image.height());
            }
    ASSERT_EQ(sizes.size(), 2u);
    EXPECT_EQ(sizes[0], QSizeF(20, 10));
    EXPECT_EQ(sizes[1], QSizeF(20, 10)); // 300 twips = 20 px
    EXPECT_EQ(document.toPlainText().remove(QChar::ObjectReplacementCharacter), "ABC");
    // A device-independent bitmap: a 2 x 1 24-bit DIB.
    const QByteArray dib =
        QByteArray::fromHex("2800000002000000010000000100180000000000080000000000"
                            "0000000000000000000000000000") +
        QByteArray::fromHex("0000ff00ff000000");
    QTextDocument bitmap;
    readRtfOrText("{\\rtf1 {\\pict\\dibitmap0\\picw2\\pich1 " + dib.toHex() + "}}", bitmap);
    ASSERT_EQ(bitmap.toPlainText(), QString(QChar::ObjectReplacementCharacter));
    QTextCursor cursor(&bitmap);
    cursor.setPosition(1);
    const QImage picture = bitmap
                               .resource(QTextDocument::ImageResource,
                                         QUrl(cursor.charFormat().toImageFormat().name()))
                               .value<QImage>();
    EXPECT_EQ(picture.pixel(0, 0), qRgb(255, 0, 0));
    EXPECT_EQ(picture.pixel(1, 0), qRgb(0, 255, 0));
}

TEST(RtfReading, HiddenTextLineSpacingAndScripts)
{
    QTextDocument document;
    readRtfOrText("{\\rtf1 \\sl360\\slmult1 shown{\\v hidden}x{\\super 2}{\\sub i}\\par}",
                  document);
    EXPECT_EQ(document.toPlainText().trimmed(), QStringLiteral("shownx2i"));
    const QTextBlockFormat block = document.begin().blockFormat();
    EXPECT_EQ(block.lineHeightType(), QTextBlockFormat::ProportionalHeight);
    EXPECT_DOUBLE_EQ(block.lineHeight(), 150);
    EXPECT_EQ(formatOf(document, QStringLiteral("2")).verticalAlignment(),
              QTextCharFormat::AlignSuperScript);
}

TEST(RtfReading, TablesKeepEachRowsCellsShadingAndBorders)
{
    QTextDocument document;
    readRtfOrText(
        "{\\rtf1{\\colortbl;\\red31\\green56\\blue100;\\red255\\green255\\blue255;}"
        "\\trowd\\clcbpat1\\cellx2000\\cellx4000\\pard\\intbl{\\cf2 head}\\cell b\\cell\\row"
        "\\trowd\\clbrdrb\\brdrs\\brdrw15\\cellx1000\\cellx3000\\cellx4000"
        "\\pard\\intbl c\\cell d\\cell e\\cell\\row\\pard after\\par}",
        document);
    QTextTable* table = firstTable(document);
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->rows(), 2);
    EXPECT_EQ(table->columns(), 4); // edges 0, 1000, 2000, 3000, 4000
    const QTextTableCell head = table->cellAt(0, 0);
    EXPECT_EQ(head.columnSpan(), 2);
    EXPECT_EQ(head.format().background().color(), QColor(31, 56, 100));
    EXPECT_EQ(head.format().toTableCellFormat().bottomBorderStyle(),
              QTextFrameFormat::BorderStyle_None);
    const QTextTableCell d = table->cellAt(1, 1);
    EXPECT_EQ(d.columnSpan(), 2);
    EXPECT_EQ(d.format().toTableCellFormat().bottomBorderStyle(),
              QTextFrameFormat::BorderStyle_None);
    EXPECT_EQ(table->cellAt(1, 0).format().toTableCellFormat().bottomBorderStyle(),
              QTextFrameFormat::BorderStyle_Solid);
    EXPECT_EQ(table->format().border(), 0);
    EXPECT_TRUE(document.toPlainText().contains(QStringLiteral("after")));
}

TEST(RtfReading, AStopEndsALongLoad)
{
    QByteArray rtf = "{\\rtf1 ";
    while (rtf.size() < 4 * 1024 * 1024)
        rtf += "{\\b Paragraph} of a long document\\par\n";
    rtf += "}";
    std::atomic<int> asked{0};
    CMyRichEdit edit;
    EXPECT_FALSE(edit.LoadData(rtf, [&] { return ++asked >= 2; }));
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(edit.TextLength(), 0);
    EXPECT_TRUE(edit.LoadData(rtf, [] { return false; }));
    EXPECT_GT(edit.TextLength(), 1000000);
}

TEST(RichPaging, ManyDocumentsWithMixedFontsPageOnTheirOwnThreads)
{
    // Each renderer builds, lays out and draws on its own thread while the caller alternates two
    // surfaces as the player does; fonts of several faces and sizes come and go with them.
    for (int round = 0; round < 12; ++round) {
        QByteArray rtf = "{\\rtf1\\ansi\\ansicpg936{\\fonttbl{\\f0\\fcharset134 SimSun;}"
                         "{\\f1 DejaVu Sans;}{\\f2 DejaVu Serif;}}";
        for (int i = 0; i < 20; ++i)
            rtf += "\\pard\\sb" + QByteArray::number(60 * (i % 4)) + "\\f" +
                   QByteArray::number((i + round) % 3) + "\\fs" +
                   QByteArray::number(16 + 4 * (i % 5)) + " \\'cd\\'a3\\'d2\\'b5 text " +
                   QByteArray::number(i) + "\\par ";
        rtf += "}";
        CMyRichEdit edit;
        ASSERT_TRUE(edit.LoadData(rtf));
        QImage pages[2] = {QImage(300, 100, QImage::Format_RGB32),
                           QImage(300, 100, QImage::Format_RGB32)};
        int first = edit.RenderRange(pages[0], pages[0].rect(), 0x00FFFFFF, 0);
        int count = 1;
        while (first < edit.TextLength() && count < 100) {
            edit.RenderRangeAsync(pages[count % 2], pages[0].rect(), 0x00FFFFFF, first);
            edit.waitRenderDone();
            const int next = edit.nextChar();
            ASSERT_GT(next, first);
            first = next;
            ++count;
        }
        EXPECT_GT(count, 3);
    }
}

TEST(RichPaging, ATableRowIsNeverCutAtThePageBottom)
{
    // Rows of three lines, alternately red and blue, on pages that do not hold a whole number.
    QByteArray rtf = "{\\rtf1{\\colortbl;\\red255\\green0\\blue0;\\red0\\green0\\blue255;}";
    for (int row = 0; row < 12; ++row)
        rtf += "\\trowd\\clcbpat" + QByteArray::number(1 + row % 2) +
               "\\cellx3000\\pard\\intbl a\\line b\\line c\\cell\\row";
    rtf += "\\pard end\\par}";
    CMyRichEdit edit;
    ASSERT_TRUE(edit.LoadData(rtf));
    QImage page(200, 130, QImage::Format_RGB32);
    int first = 0;
    int pages = 0;
    while (first < edit.TextLength() && pages < 50) {
        const int next = edit.RenderRange(page, page.rect(), 0x00FFFFFF, first);
        ASSERT_GT(next, first);
        if (qEnvironmentVariableIsSet("TESSARIN_DUMP"))
            page.save(QStringLiteral("/tmp/rowpage%1.png").arg(pages));
        // The lowest shaded band reaches up to a row's full height, or to the page top.
        int y = page.height() - 1;
        while (y > 0 && page.pixel(150, y) == qRgb(255, 255, 255))
            --y;
        const QRgb band = page.pixel(150, y);
        int top = y;
        while (top > 0 && page.pixel(150, top - 1) == band)
            --top;
        if (band != qRgb(255, 255, 255)) {
            EXPECT_TRUE(top == 0 || y - top > 30)
                << "page " << pages << ": a stub of " << y - top + 1 << " px";
        }
        first = next;
        ++pages;
    }
    EXPECT_GT(pages, 3);
}

TEST(RichPaging, ATableWiderThanThePageIsCutIntoColumnsAcross)
{
    CMyRichEdit edit;
    ASSERT_TRUE(edit.LoadData("{\\rtf1\\trowd\\cellx15000\\cellx30000\\pard\\intbl left\\cell "
                              "right\\cell\\row\\pard after\\par}"));
    QImage page(300, 100, QImage::Format_RGB32);
    // Each column is wider than the page: each is narrowed to it, on a page of its own.
    const auto ink = [&] {
        int count = 0;
        for (int y = 0; y < page.height(); ++y)
            for (int x = 0; x < page.width(); ++x)
                count += page.pixel(x, y) != qRgb(255, 255, 255);
        return count;
    };
    const int second = edit.RenderRange(page, page.rect(), 0x00FFFFFF, 0);
    EXPECT_GT(ink(), 10);
    const int third = edit.RenderRange(page, page.rect(), 0x00FFFFFF, second);
    EXPECT_GT(ink(), 10);
    EXPECT_GT(third, second);
    EXPECT_LT(third, edit.TextLength());
    edit.withDocument([](QTextDocument& document) {
        const QTextTable* table = firstTable(document);
        ASSERT_NE(table, nullptr);
        const QTextLength first = table->format().columnWidthConstraints().front();
        EXPECT_EQ(first.type(), QTextLength::FixedLength);
        EXPECT_EQ(first.rawValue(), 300);
    });
}

TEST(RtfReading, TheBitmapInsideAMetafileShows)
{
    // A Windows metafile whose one drawing is a StretchDIB of a 2 x 1 bitmap.
    // Header: 40 bytes, 2 x 1, one plane, 24 bits; then a red and a green pixel, padded to 8.
    const QByteArray dib =
        QByteArray::fromHex("2800000002000000010000000100180000000000080000000000"
                            "0000000000000000000000000000") +
        QByteArray::fromHex("0000ff00ff000000");
    QByteArray record;
    auto word = [&](quint16 v) { record.append(char(v & 0xFF)).append(char(v >> 8)); };
    const quint32 words = quint32(3 + 11 + dib.size() / 2);
    word(quint16(words & 0xFFFF));
    word(quint16(words >> 16));
    word(0x0F43);
    for (int i = 0; i < 11; ++i)
        word(0);
    record += dib;
    QByteArray wmf = QByteArray::fromHex("010009000003") + QByteArray(12, '\0');
    wmf += record + QByteArray::fromHex("030000000000");
    QTextDocument document;
    readRtfOrText("{\\rtf1 {\\pict\\wmetafile8\\picw53\\pich26 " + wmf.toHex() + "}}", document);
    ASSERT_EQ(document.toPlainText(), QString(QChar::ObjectReplacementCharacter));
    QTextCursor cursor(&document);
    cursor.setPosition(1);
    const QTextImageFormat image = cursor.charFormat().toImageFormat();
    EXPECT_NEAR(image.width(), 2, 0.1); // 53 hundredths of a millimetre
    const QImage picture =
        document.resource(QTextDocument::ImageResource, QUrl(image.name())).value<QImage>();
    ASSERT_EQ(picture.size(), QSize(2, 1));
    EXPECT_EQ(picture.pixel(0, 0), qRgb(255, 0, 0));
}
