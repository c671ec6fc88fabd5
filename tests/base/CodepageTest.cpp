#include "base/Codepage.h"

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

TEST(Codepage, BytesThatAreNoGbkComeBackUnchanged)
{
    // A GB18030 four-byte sequence, a lone lead byte at the end, the bytes GBK leaves out.
    for (const QByteArray& bytes :
         {QByteArray("\x81\x30\x81\x30", 4), QByteArray("AB\xB0", 3), QByteArray("\xFF", 1),
          QByteArray("\xCE\xC4\x81\x30\xD7\xD6\xFE", 7)}) {
        const QString text = Codepage::toUnicode(bytes);
        EXPECT_EQ(Codepage::fromUnicode(text), bytes) << bytes.toHex().constData();
        EXPECT_TRUE(Codepage::roundTrips(text));
    }
    EXPECT_TRUE(Codepage::toUnicode(QByteArray("\xCE\xC4\x81\x30", 4)).startsWith(u'文'));
}

TEST(Codepage, WhatGbkCannotHoldIsKnown)
{
    EXPECT_TRUE(Codepage::roundTrips(QStringLiteral("停业 / 前台 LED")));
    EXPECT_FALSE(Codepage::roundTrips(QStringLiteral("/home/user/한국어/공지.txt")));
    EXPECT_FALSE(Codepage::roundTrips(QStringLiteral("公告 😀")));
}

TEST(Codepage, TheEuroSignIsCp936s)
{
    EXPECT_EQ(Codepage::fromUnicode(QStringLiteral("€5")), QByteArray("\x80"
                                                                      "5"));
    EXPECT_EQ(Codepage::toUnicode(QByteArray("\x80"
                                             "5")),
              QStringLiteral("€5"));
    // Also among bytes that are no GBK, which come back unchanged.
    const QByteArray mixed("\x80\xCE\xC4\xFF", 4);
    const QString text = Codepage::toUnicode(mixed);
    EXPECT_TRUE(text.startsWith(QStringLiteral("€文"))) << text.toStdString();
    EXPECT_EQ(Codepage::fromUnicode(text), mixed);
}
