#include "render/text/RtfReader.h"
#include "base/Codepage.h"
#include "render/text/RtfWriter.h"

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextTable>

#include <gtest/gtest.h>

namespace {

QTextDocument* read(const QByteArray& rtf)
{
    static QTextDocument doc;
    readRtfOrText(rtf, doc);
    return &doc;
}

QTextCharFormat formatAt(QTextDocument* doc, const QString& text)
{
    const int at = doc->toPlainText().indexOf(text);
    EXPECT_GE(at, 0) << text.toStdString();
    QTextCursor c(doc);
    c.setPosition(at + 1);
    return c.charFormat();
}

} // namespace

TEST(RtfReader, CharacterFormatting)
{
    QTextDocument* doc =
        read(R"({\rtf1\ansi{\fonttbl{\f0 Arial;}{\f1 Courier New;}}{\colortbl;\red255\green0\blue0;}
\f0\fs40 Big {\b bold} {\i italic} {\ul under} {\strike gone} {\cf1 red} {\f1 mono} \plain plain})");
    EXPECT_EQ(doc->toPlainText(), "Big bold italic under gone red mono plain");
    EXPECT_EQ(formatAt(doc, "Big").fontPointSize(), 20);
    EXPECT_EQ(formatAt(doc, "Big").fontFamilies().toStringList().front(), "Arial");
    EXPECT_EQ(formatAt(doc, "bold").fontWeight(), QFont::Bold);
    EXPECT_TRUE(formatAt(doc, "italic").fontItalic());
    EXPECT_TRUE(formatAt(doc, "under").fontUnderline());
    EXPECT_TRUE(formatAt(doc, "gone").fontStrikeOut());
    EXPECT_EQ(formatAt(doc, "red").foreground().color(), QColor(255, 0, 0));
    EXPECT_EQ(formatAt(doc, "mono").fontFamilies().toStringList().front(), "Courier New");
    EXPECT_EQ(formatAt(doc, "plain").fontPointSize(), 12);
    EXPECT_NE(formatAt(doc, "plain").fontWeight(), QFont::Bold);
}

TEST(RtfReader, ParagraphsAlignmentAndIndents)
{
    QTextDocument* doc = read(
        R"({\rtf1 \pard\qc centred\par \pard\qr\li300\ri150\fi-150\sb60\sa90 right\par \pard\qj just\line next})");
    ASSERT_EQ(doc->blockCount(), 3);
    EXPECT_EQ(doc->begin().blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
    const QTextBlockFormat right = doc->begin().next().blockFormat();
    EXPECT_EQ(right.alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight);
    EXPECT_EQ(right.leftMargin(), 20);
    EXPECT_EQ(right.rightMargin(), 10);
    EXPECT_EQ(right.textIndent(), -10);
    EXPECT_EQ(right.topMargin(), 4);
    EXPECT_EQ(right.bottomMargin(), 6);
    EXPECT_EQ(doc->lastBlock().text(),
              QStringLiteral("just") + QChar(QChar::LineSeparator) + "next");
}

TEST(RtfReader, ChineseThroughCodePagesAndUnicode)
{
    // 文字 in GBK: CE C4 D7 D6.
    EXPECT_EQ(read(R"({\rtf1\ansi\ansicpg936 \'ce\'c4\'d7\'d6})")->toPlainText(),
              QStringLiteral("文字"));
    EXPECT_EQ(
        read(R"({\rtf1\ansi{\fonttbl{\f0\fcharset134 \'cb\'ce\'cc\'e5;}}\f0 \'ce\'c4\'d7\'d6})")
            ->toPlainText(),
        QStringLiteral("文字"));
    EXPECT_EQ(
        formatAt(read(R"({\rtf1{\fonttbl{\f0\fcharset134 \'cb\'ce\'cc\'e5;}}\f0 \'ce\'c4x})"), "x")
            .fontFamilies()
            .toStringList()
            .front(),
        QStringLiteral("宋体"));
    // Associated fonts as office programs write them: \dbch selects the double-byte font.
    EXPECT_EQ(
        read(
            R"({\rtf1\ansi{\fonttbl{\f0\fcharset0 Arial;}{\f1\fcharset134 SimSun;}}\loch\f0\hich\af0\dbch\af1 \'ce\'c4})")
            ->toPlainText(),
        QStringLiteral("文"));
    EXPECT_EQ(read(R"({\rtf1\uc1\u25991?\u23383? ok})")->toPlainText(), QStringLiteral("文字 ok"));
    EXPECT_EQ(read(R"({\rtf1\uc2\u25991\'ce\'c4 ok})")->toPlainText(), QStringLiteral("文 ok"));
    EXPECT_EQ(read(R"({\rtf1\uc0\u-3\u65 x})")->toPlainText(), QStringLiteral("\uFFFDAx"));
}

TEST(RtfReader, TablesFieldsAndSkippedDestinations)
{
    QTextDocument* doc =
        read(R"({\rtf1{\*\generator Writer;}{\info{\title T}}{\stylesheet{\s1 Normal;}}
before\par
\trowd\cellx1500\cellx3000\intbl A1\cell B1\cell\row
\trowd\cellx1500\cellx3000\intbl A2\cell B2\cell\row
\pard after {\field{\*\fldinst HYPERLINK "x"}{\fldrslt shown}} {\*\unknowndest hidden}{\bin3 abc}\unknownword end})");
    QTextTable* table = nullptr;
    for (QTextBlock b = doc->begin(); b.isValid() && !table; b = b.next())
        table = QTextCursor(b).currentTable();
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->rows(), 2);
    EXPECT_EQ(table->columns(), 2);
    QTextCursor a2 = table->cellAt(1, 0).firstCursorPosition();
    a2.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    EXPECT_EQ(a2.selectedText(), "A2");
    QTextCursor b1 = table->cellAt(0, 1).firstCursorPosition();
    b1.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    EXPECT_EQ(b1.selectedText(), "B1");
    EXPECT_EQ(doc->lastBlock().text(), "after shown end");
    EXPECT_FALSE(doc->toPlainText().contains("hidden"));
    EXPECT_FALSE(doc->toPlainText().contains("Normal"));
    EXPECT_TRUE(doc->begin().text() == "before");
}

TEST(RtfReader, PlainTextAndBrokenInput)
{
    EXPECT_EQ(read("just text\nsecond")->toPlainText(), "just text\nsecond");
    EXPECT_EQ(read(QStringLiteral("中文 text").toUtf8())->toPlainText(),
              QStringLiteral("中文 text"));
    EXPECT_TRUE(looksLikeRtf("{\\RTF1"));
    EXPECT_FALSE(looksLikeRtf("{\\rt"));
    // Unbalanced, cut and odd input never fails.
    read("{\\rtf1 {{{{ unclosed \\'4");
    read("{\\rtf1 }}}} extra closing \\");
    read(QByteArray("{\\rtf1 \\bin999999999 x", 21));
    read("{\\rtf1 " + QByteArray(10000, '{') + "deep");
    SUCCEED();
}

TEST(RtfReader, WrittenRtfReadsBackTheSame)
{
    QTextDocument* doc = read(
        R"({\rtf1\ansi\ansicpg936{\fonttbl{\f0\fcharset134 \'cb\'ce\'cc\'e5;}}{\colortbl;\red0\green128\blue0;}
\pard\qc\f0\fs36 {\b\cf1 Title 标题}\par\pard\qr\li150 right {\i it}\par
\trowd\cellx1500\cellx3000\intbl A\cell B\cell\row\pard end})");
    const QString text = doc->toPlainText();
    const QByteArray rtf = writeRtf(*doc);
    QTextDocument again;
    readRtfOrText(rtf, again);
    EXPECT_EQ(again.toPlainText(), text);
    QTextCursor c(&again);
    c.setPosition(again.toPlainText().indexOf(QStringLiteral("标")) + 1);
    EXPECT_EQ(c.charFormat().fontWeight(), QFont::Bold);
    EXPECT_EQ(c.charFormat().foreground().color(), QColor(0, 128, 0));
    EXPECT_EQ(c.charFormat().fontFamilies().toStringList().front(), QStringLiteral("宋体"));
    EXPECT_EQ(again.begin().blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
    EXPECT_EQ(again.begin().next().blockFormat().leftMargin(), 10);
}

TEST(RtfReader, DoubleByteRunsDecodeWithTheirFarEastFontsCodePage)
{
    // 你好 in GBK: C4 E3 BA C3, behind a Latin font as older Word writes it.
    EXPECT_EQ(read(R"({\rtf1{\fonttbl{\f0\froman\fcharset0 Times;}{\f1\fnil\fcharset134 SimSun;}})"
                   R"(\loch\f0 Hi \hich\af1\dbch\af1 \'c4\'e3\'ba\'c3\loch\f0  ok})")
                  ->toPlainText(),
              QStringLiteral("Hi 你好 ok"));
    // The same with \ansi and the Latin font in force while the double-byte text runs.
    EXPECT_EQ(
        read(R"({\rtf1\ansi\ansicpg1252\deff0{\fonttbl{\f0\froman\fcharset0 Times;})"
             R"({\f1\fnil\fcharset134 SimSun;}}\f0\loch\f0\hich\af0\dbch\af1 \'c4\'e3\'ba\'c3})")
            ->toPlainText(),
        QStringLiteral("你好"));
    // こんにちは in Shift_JIS: 82 B1 82 F1 82 C9 82 BF 82 CD.
    EXPECT_EQ(
        read(
            R"({\rtf1\ansi{\fonttbl{\f0\froman\fcharset0 Times;}{\f2\fnil\fcharset128 MS Mincho;}})"
            R"(\loch\f0 \hich\af2\dbch\af2 \'82\'b1\'82\'f1\'82\'c9\'82\'bf\'82\'cd})")
            ->toPlainText(),
        QStringLiteral("こんにちは"));
    // 你好 in Big5: A7 41 A6 6E (the trail byte of the first is the letter A).
    EXPECT_EQ(read(R"({\rtf1\ansi{\fonttbl{\f0\fcharset0 Times;}{\f3\fcharset136 MingLiU;}})"
                   R"(\loch\f0\hich\af3\dbch\af3 \'a7A\'a6n})")
                  ->toPlainText(),
              QStringLiteral("你好"));
    // 안녕 in CP949: BE C8 B3 E7.
    EXPECT_EQ(read(R"({\rtf1\ansi{\fonttbl{\f0\fcharset0 Times;}{\f4\fcharset129 Gulim;}})"
                   R"(\loch\f0\hich\af4\dbch\af4 \'be\'c8\'b3\'e7})")
                  ->toPlainText(),
              QStringLiteral("안녕"));
    // A lead byte and its trail split by a control word still make one character.
    EXPECT_EQ(read(R"({\rtf1\ansi{\fonttbl{\f0\fcharset0 Times;}{\f1\fcharset134 SimSun;}})"
                   R"(\loch\f0\hich\af1\dbch\af1 \'c4\cf0\'e3})")
                  ->toPlainText(),
              QStringLiteral("你"));
    // Latin text after the run is Latin again: é in 1252 behind the Latin \\hich font.
    EXPECT_EQ(read(R"({\rtf1\ansi{\fonttbl{\f0\fcharset0 Times;}{\f1\fcharset134 SimSun;}})"
                   R"(\loch\f0\hich\af1\dbch\af1 \'c4\'e3\loch\f0 caf\hich\af0 \'e9})")
                  ->toPlainText(),
              QStringLiteral("你café"));
}

TEST(RtfReader, HighBytesBehindALatinLowFontTakeTheHichFontsCodePage)
{
    // \loch last, as some writers leave it: the bytes above 0x80 are the \hich font's.
    EXPECT_EQ(
        read(R"({\rtf1\ansi{\fonttbl{\f0\froman\fcharset0 Times;}{\f1\fnil\fcharset134 SimSun;}})"
             R"(\hich\af1\dbch\af1\loch\f0 Hi \'c4\'e3\'ba\'c3})")
            ->toPlainText(),
        QStringLiteral("Hi 你好"));
    // A Latin document with no Far East font keeps its code page.
    EXPECT_EQ(
        read(R"({\rtf1\ansi{\fonttbl{\f0\fcharset0 Times;}}\f0 caf\'e9 \'c4\'e3})")->toPlainText(),
        QStringLiteral("café Äã"));
}
