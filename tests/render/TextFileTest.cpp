#include "render/text/TextFile.h"
#include "base/Codepage.h"

#include <gtest/gtest.h>

TEST(TextFile, Utf8AndGbkFilesGiveTheSameText)
{
    const QString text = QStringLiteral("欢迎光临\nLED 显示屏，第二行");
    const QStringList fromUtf8 = TextFile::lines(text.toUtf8());
    const QStringList fromGbk = TextFile::lines(Codepage::fromUnicode(text));
    EXPECT_EQ(fromUtf8, fromGbk);
    EXPECT_EQ(fromUtf8,
              QStringList({QStringLiteral("欢迎光临"), QStringLiteral("LED 显示屏，第二行")}));
    EXPECT_EQ(TextFile::lines(QByteArray("\xEF\xBB\xBF") + text.toUtf8()), fromUtf8);
}

TEST(TextFile, Utf8IsRecognisedOnlyWhenValidAndNotPlainAscii)
{
    EXPECT_FALSE(TextFile::looksLikeUtf8("plain ascii"));
    EXPECT_TRUE(TextFile::looksLikeUtf8(QStringLiteral("文字").toUtf8()));
    EXPECT_FALSE(TextFile::looksLikeUtf8(QByteArray("\xCE\xC4\xD7\xD6"))); // GBK 文字
    EXPECT_FALSE(TextFile::looksLikeUtf8(QByteArray("\xE6\x96")));         // cut short
    EXPECT_FALSE(TextFile::looksLikeUtf8(QByteArray("\xC0\x80")));         // overlong
    EXPECT_FALSE(TextFile::looksLikeUtf8(QByteArray("\xED\xA0\x80")));     // a surrogate
    EXPECT_TRUE(TextFile::looksLikeUtf8(QByteArray("\xF0\x9F\x98\x80")));  // beyond the BMP
    EXPECT_EQ(TextFile::decode(QByteArray("\xCE\xC4\xD7\xD6")), QStringLiteral("文字"));
}

TEST(TextFile, LineEndsAreRemovedAndBlankLinesKept)
{
    EXPECT_EQ(TextFile::lines("a\r\n\r\nb\n"), QStringList({"a", "", "b"}));
    EXPECT_EQ(TextFile::lines("a\nb"), QStringList({"a", "b"}));
    EXPECT_EQ(TextFile::lines("one"), QStringList({"one"}));
    EXPECT_TRUE(TextFile::lines("").isEmpty());
}
