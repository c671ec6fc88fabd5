// Content that stands outside the main text flow in word processors (text boxes, frames, drawing
// objects, phonetic guides, metafile pictures): read into the flow where it is anchored, from
// files LibreOffice wrote (tests/data, see its SOURCES) and from the forms other writers use.
#include "render/text/CMyRichEdit.h"
#include "render/text/OfficeConverter.h"
#include "render/text/RtfEquation.h"
#include "render/text/RtfMetafile.h"
#include "render/text/RtfReader.h"

#include <QBuffer>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextDocument>
#include <QUrl>

#include <gtest/gtest.h>

namespace {

QByteArray readData(const QString& relative)
{
    QFile file(QStringLiteral(TESSARIN_TEST_DATA "/") + relative);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString plain(const QByteArray& rtf)
{
    QTextDocument document;
    readRtfOrText(rtf, document);
    return document.toPlainText();
}

// The blocks of the document, as text.
QStringList blocks(QTextDocument& document)
{
    QStringList list;
    for (QTextBlock b = document.begin(); b.isValid(); b = b.next())
        list << b.text();
    return list;
}

bool haveLibreOffice()
{
    return !QStandardPaths::findExecutable(QStringLiteral("soffice")).isEmpty();
}

// Converts a copy of tests/data/<relative> as the player does (the cache goes beside the copy).
bool convertCopy(const QTemporaryDir& dir, const QString& relative, CMyRichEdit& edit)
{
    const QString copy = dir.filePath(relative.section(QLatin1Char('/'), -1));
    QFile::remove(copy);
    if (!QFile::copy(QStringLiteral(TESSARIN_TEST_DATA "/") + relative, copy))
        return false;
    QString message;
    const bool ok = OfficeConverter::ConvertWordDocument(copy, edit, &message);
    EXPECT_TRUE(ok) << message.toStdString();
    return ok;
}

// Pages the document as the player does and tells whether the page holding character `at`
// has anything drawn on it.
bool inkOnPageOf(CMyRichEdit& edit, int at)
{
    QImage page(640, 360, QImage::Format_RGB32);
    int first = 0;
    for (int pages = 0; first < edit.TextLength() && pages < 100; ++pages) {
        const int next = edit.RenderRange(page, page.rect(), 0x00FFFFFF, first);
        if (next <= first)
            return false;
        if (at >= first && at < next) {
            for (int y = 0; y < page.height(); ++y)
                for (int x = 0; x < page.width(); ++x)
                    if (page.pixel(x, y) != qRgb(255, 255, 255))
                        return true;
            return false;
        }
        first = next;
    }
    return false;
}

void expectInOrder(const QString& text, const QStringList& parts)
{
    qsizetype from = 0;
    for (const QString& part : parts) {
        const qsizetype at = text.indexOf(part, from);
        EXPECT_GE(at, 0) << part.toStdString() << " in order in:\n" << text.toStdString();
        if (at >= 0)
            from = at + part.size();
    }
}

} // namespace

TEST(RtfShapes, TextBoxesFramesAndDrawingObjectsStandAtTheirAnchor)
{
    // Word's text box with its older drawing-object form in \shprslt (shown once), a drawing
    // object on its own, a positioned frame paragraph and a text effect.
    QTextDocument document;
    readRtfOrText(
        R"({\rtf1\ansi before {\shp{\*\shpinst\shpleft0\shptop0\shpright2000\shpbottom900)"
        R"({\sp{\sn shapeType}{\sv 202}}{\shptxt \pard\qc boxed one\par boxed two\par}})"
        R"({\shprslt{\*\do\dobxcolumn\dptxbx{\dptxbxtext \pard boxed one\par}}}})"
        R"( after\par)"
        R"(\pard {\*\do\dobxpage\dprect\dptxbx{\dptxbxtext\pard old box\par}\dpx0\dpy0} anchor\par)"
        R"(\pard\pvpara\phmrg\posx100\posy200\absw3000\dxfrtext180 in a frame\par)"
        R"(\pard {\shp{\*\shpinst{\sp{\sn gtextUNICODE}{\sv Word\u-32767?Art}}}} art\par})",
        document);
    EXPECT_EQ(blocks(document),
              QStringList({"before ", "boxed one", "boxed two", " after", "old box", " anchor",
                           "in a frame", QString::fromUtf8("Word\u8001Art"), " art", ""}));
    // The box's paragraphs keep their own alignment; the anchor paragraph its own.
    EXPECT_EQ(document.findBlockByNumber(1).blockFormat().alignment() & Qt::AlignHorizontal_Mask,
              Qt::AlignHCenter);
    EXPECT_EQ(document.findBlockByNumber(3).blockFormat().alignment() & Qt::AlignHorizontal_Mask,
              Qt::AlignLeft);

    // A shape's result stands in for it only where the shape itself showed nothing.
    QImage dot(1, 1, QImage::Format_RGB32);
    dot.fill(Qt::red);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    dot.save(&buffer, "PNG");
    png = png.toHex();
    const QString shown = plain(
        "{\\rtf1 a{\\shp{\\*\\shpinst{\\sp{\\sn shapeType}{\\sv 20}}}{\\shprslt{\\pict\\pngblip " +
        png + "}}}b{\\shp{\\*\\shpinst{\\sp{\\sn pib}{\\sv {\\pict\\pngblip " + png +
        "}}}}{\\shprslt{\\pict\\pngblip " + png + "}}}c}");
    EXPECT_EQ(shown, QString("a%1b%1c").arg(QString(QChar::ObjectReplacementCharacter)));

    // In a table cell the box's text stays in the cell, though it resets the paragraph.
    const QString cell = plain(R"({\rtf1\trowd\cellx2000\cellx4000\pard\intbl left )"
                               R"({\shp{\*\shpinst{\shptxt\pard in box\par}}}\cell right\cell\row)"
                               R"(\pard below\par})");
    expectInOrder(cell, {"left", "in box", "right", "below"});

    // Unclosed and deeply nested boxes end with the input.
    QByteArray deep = "{\\rtf1 x";
    for (int i = 0; i < 3000; ++i)
        deep += "{\\shp{\\*\\shpinst{\\shptxt y";
    EXPECT_TRUE(plain(deep).startsWith("x"));
}

TEST(RtfShapes, TextBoxesAndCaptionsFromLibreOfficeShow)
{
    // The same document as LibreOffice writes it to RTF from its own format, and as the
    // converter writes it from .docx and .odt (the path the player takes).
    const QStringList parts = {"Before the boxes",
                               "Certificate of Achievement",
                               QString::fromUtf8("荣誉证书 awarded to Li Wei 李伟"),
                               "Anchor paragraph of the certificate.",
                               QString::fromUtf8("Side note in a frame 侧栏"),
                               "Body text beside the side frame.",
                               QString::fromUtf8("Text in a drawn rectangle 矩形"),
                               "Anchor paragraph of the rectangle.",
                               "Gradient caption",
                               "After the boxes"};
    QTextDocument document;
    readRtfOrText(readData("rtf/lo-textbox-frames.rtf"), document);
    expectInOrder(document.toPlainText(), parts);
    EXPECT_EQ(document.toPlainText().count(QChar::ObjectReplacementCharacter), 1)
        << "the captioned picture, once";

    if (!haveLibreOffice())
        GTEST_SKIP() << "LibreOffice is not installed";
    QTemporaryDir dir;
    for (const char* file : {"office/lo-textbox-frames.docx", "office/lo-textbox-frames.odt"}) {
        SCOPED_TRACE(file);
        CMyRichEdit edit;
        ASSERT_TRUE(convertCopy(dir, QString::fromLatin1(file), edit));
        const QString text = edit.plainText();
        expectInOrder(text, parts);
        EXPECT_EQ(text.count(QChar::ObjectReplacementCharacter), 1);
        EXPECT_TRUE(inkOnPageOf(edit, int(text.indexOf("Certificate of Achievement"))));
        EXPECT_TRUE(inkOnPageOf(edit, int(text.indexOf("Gradient caption"))));
    }
}

TEST(RtfShapes, PhoneticGuidesShowTheirBaseAndGuide)
{
    // Word's form with the alignment word, LibreOffice's without, another equation, and fields
    // whose result is given (shown once: a guide as base and guide, the rest as the result).
    EXPECT_EQ(plain(R"({\rtf1 a{\field{\*\fldinst EQ \\* jc2 \\* "Font:SimSun" \\* hps10 )"
                    R"(\\o\\ad(\\s\\up 9(p\u299?ny\u299?n),\u22522?\u30784?)}{\fldrslt }}b})"),
              QString::fromUtf8("a基础(pīnyīn)b"));
    // Word splits the instruction into runs, the characters in the font's code page.
    EXPECT_EQ(
        plain(
            R"({\rtf1\ansi\ansicpg936{\fonttbl{\f13\fcharset134 SimSun;}})"
            R"({\field{\*\fldinst {\rtlch\fcs1 \af0 \ltrch\fcs0 \hich\af13\dbch\af13\loch\f13 )"
            R"(EQ \\* jc2 \\* "Font:\'cb\'ce\'cc\'e5" \\* hps10 \\o\\ad(\\s\\up 9(}{\f13 j\'a8\'a9})"
            R"({\f13 ),\'bb\'f9)}}{\fldrslt {\f13 \'bb\'f9}}}})"),
        QString::fromUtf8("基(jī)"));
    EXPECT_EQ(plain(R"({\rtf1{\field{\*\fldinst { EQ \\o(\\s\\up 11(k),K)}}{\fldrslt {}}}})"),
              "K(k)");
    EXPECT_EQ(plain(R"({\rtf1{\field{\*\fldinst EQ \\f(1,2)}{\fldrslt }}})"), "1 2");
    EXPECT_EQ(plain(R"({\rtf1{\field{\*\fldinst EQ \\o\\ad(\\s\\up 9(g),B)}{\fldrslt {\up9 B}}}})"),
              "B(g)");
    EXPECT_EQ(plain(R"({\rtf1{\field{\*\fldinst EQ \\f(1,2)}{\fldrslt half}}})"), "half");
    EXPECT_EQ(plain(R"({\rtf1{\field{\*\fldinst HYPERLINK "x"}{\fldrslt link}} end})"), "link end");
    EXPECT_EQ(plain(R"({\rtf1{\field{\*\fldinst EQ \\o(\\s\\up 9(g),B)}}})"), "B(g)");
    // What an instruction holds besides its characters is not shown.
    EXPECT_EQ(plain(R"({\rtf1{\field{\*\fldinst INCLUDEPICTURE {\pict\pngblip 00})"
                    R"({\upr{x}{\*\ud{y}}}\par\cell}{\fldrslt r}}})"),
              "r");

    // The guide is drawn at its own size.
    QTextDocument document;
    readRtfOrText(
        R"({\rtf1\fs48{\field{\*\fldinst EQ \\* hps12 \\o(\\s\\up 11(gg),BB)}{\fldrslt }}})",
        document);
    QTextCursor cursor(&document);
    cursor.setPosition(1);
    EXPECT_EQ(cursor.charFormat().fontPointSize(), 24);
    cursor.setPosition(4);
    EXPECT_EQ(cursor.charFormat().fontPointSize(), 6);

    // Broken instructions give what they hold and nothing more.
    const RtfEquation open = RtfEquation::parse(u"EQ \\o(\\s\\up 9(g");
    EXPECT_EQ(open.guide, "g");
    EXPECT_TRUE(RtfEquation::parse(u"EQUATION").isEmpty());
    EXPECT_TRUE(RtfEquation::parse(u"EQ \\* \"unclosed").isEmpty());
    EXPECT_EQ(RtfEquation::parse(QString(100000, u'(').prepend("EQ \\o")).base, QString());

    // The file LibreOffice writes for ruby, and its .docx and .odt through the converter.
    const QStringList parts = {QString::fromUtf8("学习基础(jīchǔ)知识，漢字(かんじ) end."),
                               QString::fromUtf8("The line after the ruby 注音之后.")};
    expectInOrder(plain(readData("rtf/lo-ruby.rtf")), parts);
    if (!haveLibreOffice())
        GTEST_SKIP() << "LibreOffice is not installed";
    QTemporaryDir dir;
    for (const char* file : {"office/lo-ruby.docx", "office/lo-ruby.odt"}) {
        SCOPED_TRACE(file);
        CMyRichEdit edit;
        ASSERT_TRUE(convertCopy(dir, QString::fromLatin1(file), edit));
        const QString text = edit.plainText();
        expectInOrder(text, parts);
        EXPECT_TRUE(inkOnPageOf(edit, int(text.indexOf(QString::fromUtf8("基础")))));
    }
}

namespace {

// The pictures of the document in order, as the reader stored them, with their display size.
struct ShownPicture
{
    QImage image;
    QSizeF size;
};

std::vector<ShownPicture> pictures(QTextDocument& document)
{
    std::vector<ShownPicture> list;
    for (QTextBlock b = document.begin(); b.isValid(); b = b.next())
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextImageFormat format = it.fragment().charFormat().toImageFormat();
            if (!format.isValid())
                continue;
            list.push_back({document.resource(QTextDocument::ImageResource, QUrl(format.name()))
                                .value<QImage>(),
                            QSizeF(format.width(), format.height())});
        }
    return list;
}

// The drawing of src/make_metafiles.py: red rectangle, yellow triangle, blue ellipse, text.
void expectRecordsDrawing(const QImage& image)
{
    ASSERT_FALSE(image.isNull());
    const auto at = [&](double x, double y) {
        return QColor(image.pixel(int(x * image.width()), int(y * image.height())));
    };
    EXPECT_EQ(at(0.25, 0.3), QColor(Qt::red));
    EXPECT_EQ(at(0.75, 0.3), QColor(Qt::blue));
    EXPECT_EQ(at(0.475, 0.38), QColor(Qt::yellow));
    EXPECT_EQ(qAlpha(image.pixel(image.width() / 2, image.height() / 10)), 0) << "no background";
    int ink = 0;
    for (int y = int(image.height() * 0.6); y < int(image.height() * 0.85); ++y)
        for (int x = int(image.width() * 0.36); x < int(image.width() * 0.8); ++x) {
            const QColor c = QColor::fromRgba(image.pixel(x, y));
            ink += c.alpha() > 200 && c.red() < 80 && c.green() < 80 && c.blue() < 80;
        }
    EXPECT_GT(ink, 100) << "the text";
}

QByteArray wmfWithRecords(const QByteArray& records)
{
    // Placeable header for a 100 x 100 area, the standard header, the records, the end.
    return QByteArray::fromHex("d7cdc69a000000000000640064006000000000000000"
                               "010009000003000000000000000000000000") +
           records + QByteArray::fromHex("030000000000");
}

} // namespace

TEST(RtfMetafiles, WmfAndEmfDrawingsShowFromLibreOfficeFiles)
{
    // A WMF written as \wmetafile8 alone, and an EMF as \*\shppict{\emfblip} with a WMF
    // \nonshppict that is left out.
    QTextDocument document;
    readRtfOrText(readData("rtf/lo-metafiles.rtf"), document);
    std::vector<ShownPicture> shown = pictures(document);
    ASSERT_EQ(shown.size(), 2u);
    for (const ShownPicture& picture : shown) {
        EXPECT_NEAR(picture.size.width(), 302, 2); // 8 cm
        EXPECT_NEAR(picture.size.height(), 151, 2);
        expectRecordsDrawing(picture.image);
    }

    if (!haveLibreOffice())
        GTEST_SKIP() << "LibreOffice is not installed";
    QTemporaryDir dir;
    CMyRichEdit edit;
    ASSERT_TRUE(convertCopy(dir, QStringLiteral("office/lo-metafiles.docx"), edit));
    edit.withDocument([](QTextDocument& converted) {
        const std::vector<ShownPicture> fromDocx = pictures(converted);
        ASSERT_EQ(fromDocx.size(), 2u);
        for (const ShownPicture& picture : fromDocx)
            expectRecordsDrawing(picture.image);
    });
    EXPECT_TRUE(inkOnPageOf(edit, 1));
}

TEST(RtfMetafiles, PiesTakeTheirQuarter)
{
    // A red brush and a pie from due east to due north of a 100 x 100 circle: the top right.
    const QByteArray pie = QByteArray::fromHex("07000000fc020000ff0000000000"
                                               "040000002d010000"
                                               "0b0000001a08" // PIE: end, start, box
                                               "00003200320064006400640000000000");
    const QImage image = RtfMetafile::renderWmf(wmfWithRecords(pie), QSize(100, 100));
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(QColor(image.pixel(75, 25)), QColor(Qt::red));
    EXPECT_EQ(qAlpha(image.pixel(25, 75)), 0);
    EXPECT_EQ(qAlpha(image.pixel(25, 25)), 0);
    EXPECT_EQ(qAlpha(image.pixel(75, 75)), 0);
}

TEST(RtfMetafiles, AMetafileThatCannotBeDrawnKeepsItsPlace)
{
    // No drawing area: an empty box of the stated size, the text around it kept.
    QTextDocument document;
    readRtfOrText("{\\rtf1 a{\\pict\\wmetafile8\\picwgoal1500\\pichgoal750 0100}b"
                  "{\\pict\\emfblip\\picw2000\\pich1000 01000000}c}",
                  document);
    EXPECT_EQ(document.toPlainText(),
              QString("a%1b%1c").arg(QString(QChar::ObjectReplacementCharacter)));
    const std::vector<ShownPicture> shown = pictures(document);
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].size, QSizeF(100, 50));
    EXPECT_NEAR(shown[1].size.width(), 75.6, 0.1); // 20 mm
    for (const ShownPicture& picture : shown)
        EXPECT_EQ(qAlpha(picture.image.pixel(0, 0)), 0);
}

TEST(RtfMetafiles, BrokenAndHostileMetafilesAreBounded)
{
    // Every cut and many flipped bytes of real metafiles draw or give nothing, never more.
    for (const char* name : {"src/drawing-records.wmf", "src/drawing-records.emf"}) {
        SCOPED_TRACE(name);
        const QByteArray whole = readData(QString::fromLatin1(name));
        ASSERT_GT(whole.size(), 100);
        const bool wmf = QByteArray(name).endsWith("wmf");
        const auto render = [&](const QByteArray& bytes) {
            return wmf ? RtfMetafile::renderWmf(bytes, QSize(40, 20))
                       : RtfMetafile::renderEmf(bytes, QSize(40, 20));
        };
        EXPECT_FALSE(render(whole).isNull());
        for (qsizetype cut = 0; cut < whole.size(); ++cut)
            render(whole.first(cut));
        for (qsizetype at = 0; at < whole.size(); ++at)
            for (const char flip : {char(0xFF), char(0x80), char(0x7F)}) {
                QByteArray broken = whole;
                broken[at] = char(broken[at] ^ flip);
                const QImage image = render(broken);
                if (!image.isNull()) {
                    EXPECT_EQ(image.size(), QSize(40, 20));
                }
            }
    }

    // A hundred thousand rectangles over the whole picture: drawing stops after a bounded
    // amount of work, and what was drawn shows.
    QByteArray records = QByteArray::fromHex("07000000fc020000ff0000000000" // a red brush
                                             "040000002d010000");           // selected
    const QByteArray rectangle = QByteArray::fromHex("070000001b046400640000000000");
    for (int i = 0; i < 100000; ++i)
        records += rectangle;
    const QImage many = RtfMetafile::renderWmf(wmfWithRecords(records), QSize(2048, 2048));
    ASSERT_FALSE(many.isNull());
    EXPECT_EQ(QColor(many.pixel(1024, 1024)), QColor(Qt::red));
    // Sizes and counts out of range are not followed.
    EXPECT_TRUE(RtfMetafile::renderWmf(wmfWithRecords(QByteArray::fromHex("ffffff7f2403ffff")),
                                       QSize(10, 10))
                    .size() == QSize(10, 10));
}
