#include "app/Codepage.h"

#include <gtest/gtest.h>

TEST(Codepage, ChineseWordIsGbk)
{
    const QByteArray gbk("\xCE\xC4\xD7\xD6", 4);
    EXPECT_EQ(Codepage::fromUnicode(QStringLiteral("文字")), gbk);
    EXPECT_EQ(Codepage::toUnicode(gbk), QStringLiteral("文字"));
}

TEST(Codepage, AsciiPassesUnchangedAndMixedTextRoundTrips)
{
    EXPECT_EQ(Codepage::fromUnicode(QStringLiteral("CActWnd")), QByteArray("CActWnd"));
    const QString mixed = QStringLiteral("LED 屏幕 480x360 宋体");
    EXPECT_EQ(Codepage::toUnicode(Codepage::fromUnicode(mixed)), mixed);
}

TEST(Codepage, CharactersOutsideGbkDoNotVanish)
{
    // An emoji has no GBK form: it becomes a replacement, never silently dropped.
    const QByteArray out = Codepage::fromUnicode(QStringLiteral("a😀b"));
    ASSERT_GE(out.size(), 3);
    EXPECT_EQ(out.front(), 'a');
    EXPECT_EQ(out.back(), 'b');
}
