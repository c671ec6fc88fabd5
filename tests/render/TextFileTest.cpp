#include "render/text/TextFile.h"
#include "base/Codepage.h"

#include <QProcess>
#include <QStringEncoder>

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

namespace {

QByteArray encoded(const QString& text, const char* codec)
{
    QStringEncoder encoder(codec, QStringConverter::Flag::Stateless);
    EXPECT_TRUE(encoder.isValid()) << codec;
    QByteArray bytes = encoder.encode(text);
    EXPECT_FALSE(encoder.hasError()) << codec << " " << text.toStdString();
    return bytes;
}

// The charsets Qt has no encoder for are made with iconv, when the system has it.
QByteArray iconvEncoded(const QString& text, const char* codec)
{
    QProcess iconv;
    iconv.start(QStringLiteral("iconv"), {QStringLiteral("-f"), QStringLiteral("UTF-8"),
                                          QStringLiteral("-t"), QString::fromLatin1(codec)});
    if (!iconv.waitForStarted())
        return {};
    iconv.write(text.toUtf8());
    iconv.closeWriteChannel();
    iconv.waitForFinished();
    return iconv.exitCode() == 0 ? iconv.readAllStandardOutput() : QByteArray();
}

const char* const kNotices[] = {
    "停业",
    "前台",
    "暂停营业",
    "欢迎光临",
    "今日特价",
    "紧急通知",
    "请勿吸烟",
    "出口",
    "注意安全",
    "营业时间 09:00-21:00",
    "小心地滑",
    "禁止停车",
    "洗手间",
    "安全出口",
    "收银台",
    "正在装修",
    "本店转让",
    "会议室",
    "欢迎光临，本店今日特价",
    "电梯维修中，请走楼梯",
};

} // namespace

TEST(TextFile, ShortNoticesReadTheSameInUtf8AndGbk)
{
    QStringList all;
    for (const char* notice : kNotices)
        all << QString::fromUtf8(notice);
    QList<QStringList> texts;
    for (const QString& one : all)
        texts << QStringList{one};
    for (qsizetype i = 0; i + 1 < all.size(); ++i)
        texts << QStringList{all[i], all[i + 1]};
    texts << QStringList{all[0], all[1], all[2]} << all;
    for (const QStringList& text : texts) {
        for (const char* end : {"\n", "\r\n", ""}) {
            QString file = text.join(QLatin1String(end[0] ? end : "\n"));
            if (end[0])
                file += QLatin1String(end);
            const QString what =
                file.toHtmlEscaped() + QLatin1String(end[0] == '\r' ? " CRLF" : "");
            EXPECT_EQ(TextFile::lines(file.toUtf8()), text) << "UTF-8 " << what.toStdString();
            EXPECT_EQ(TextFile::lines(Codepage::fromUnicode(file)), text)
                << "GBK " << what.toStdString();
        }
    }
    // The two lines of the notice that came out blank: UTF-8, 14 bytes.
    const QByteArray blank = QStringLiteral("停业\n前台\n").toUtf8();
    ASSERT_EQ(blank.size(), 14);
    EXPECT_EQ(TextFile::detectCharset(blank), "UTF-8");
}

TEST(TextFile, ValidUtf8StaysUtf8UnlessItIsGbkReadAsNonsense)
{
    // GBK Hanzi that are valid UTF-8: read as UTF-8 they give a combining mark on nothing, a
    // Cyrillic letter after a Greek one, and the like.
    for (const char* notice : {"停业", "前台", "停业\n前台\n", "台", "停"}) {
        const QByteArray gbk = Codepage::fromUnicode(QString::fromUtf8(notice));
        ASSERT_TRUE(TextFile::looksLikeUtf8(gbk)) << notice;
        EXPECT_EQ(TextFile::detectCharset(gbk), "GB18030") << notice;
    }
    // Real UTF-8 whose bytes GBK could also read.
    for (const char* text : {"é", "Café", "Ω", "Ωμέγα", "Привет", "Běijīng huānyíng nín",
                             "Cafe\xcc\x81 e\xcc\xa3\xcc\x82", "ǎǐǒǔ", "Ωω", "Ñandú", "Zażółć", "Ӂ",
                             "停业", "前台", "שלום", "مرحبا"}) {
        const QByteArray utf8(text);
        EXPECT_EQ(TextFile::detectCharset(utf8), "UTF-8") << text;
        EXPECT_EQ(TextFile::decode(utf8), QString::fromUtf8(text)) << text;
    }
}

TEST(TextFile, TheEuroSignOfCp936)
{
    const QString text = QStringLiteral("€5 特价\n今日特价 €9.90");
    const QByteArray gbk = Codepage::fromUnicode(text);
    ASSERT_TRUE(gbk.startsWith('\x80'));
    EXPECT_EQ(TextFile::decode(gbk), text);
    // With a character only GB18030's four-byte form holds.
    const QByteArray mixed = gbk + QByteArray("\x81\x30\x81\x30", 4);
    EXPECT_EQ(TextFile::decode(mixed), text + QChar(0x80));
    EXPECT_EQ(Codepage::toUnicode(QByteArray("\x80\xCE\xC4\x81", 4)).left(2),
              QStringLiteral("€文"));
}

TEST(TextFile, EveryCharsetTheDetectorNamesIsRead)
{
    struct Case
    {
        const char* codec; // what the bytes are written in
        const char* text;
        const char* charset; // what the bytes must be read as
    };
    const Case cases[] = {
        {"windows-1252", "Café crème", "windows-1252"},
        {"windows-1252", "Fermé le lundi", nullptr},
        {"windows-1252", "Entrée libre – soldes d’été", "windows-1252"},
        {"windows-1252", "Prix: 5 €", "windows-1252"},
        {"windows-1252", "Straße gesperrt", nullptr},
        {"windows-1252", "Ouvert à 9h", nullptr},
        {"ISO-8859-2", "Zażółć gęślą jaźń", "ISO-8859-2"},
        {"ISO-8859-2", "Wyjście", "ISO-8859-2"},
        {"ISO-8859-2", "Przerwa świąteczna", "ISO-8859-2"},
        {"windows-1250", "Uwaga! Mokra podłoga", nullptr},
        {"EUC-KR", "비상구", "windows-949"},
        {"EUC-KR", "영업 중", "windows-949"},
        {"EUC-KR", "금연", "windows-949"},
        {"EUC-KR", "화장실", "windows-949"},
        {"EUC-KR", "오늘의 특가", "windows-949"},
        {"EUC-KR", "영업시간 09:00-21:00", "windows-949"},
        {"windows-949", "똠방각하 영업시간 안내 오늘은 쉽니다", "windows-949"},
        {"ISO-2022-KR", "비상구", "ISO-2022-KR"},
        {"EUC-JP", "本日は休業します", "EUC-JP"},
        {"Shift_JIS", "本日休業", "Shift_JIS"},
        {"Shift_JIS", "営業中", "Shift_JIS"},
        {"ISO-2022-JP", "本日休業", "ISO-2022-JP"},
        {"Big5", "營業時間", "Big5"},
        {"Big5", "歡迎光臨", "Big5"},
        {"EUC-TW", "營業時間，歡迎光臨本店，今日特價商品很多，請慢慢選購。", nullptr},
        {"KOI8-R", "Привет мир", "KOI8-R"},
        {"windows-1251", "Выход", "windows-1251"},
        {"windows-1251", "Закрыто на обед", "windows-1251"},
        {"ISO-8859-5", "Выход", "ISO-8859-5"},
        {"ISO-8859-7", "Έξοδος", "ISO-8859-7"},
        {"UTF-16LE", "\xEF\xBB\xBF停业 Exit", "UTF-16LE"},
        {"UTF-16BE", "\xEF\xBB\xBF停业 Exit", "UTF-16BE"},
        {"UTF-32LE", "\xEF\xBB\xBF停业 Exit", "UTF-32LE"},
        {"UTF-32BE", "\xEF\xBB\xBF停业 Exit", "UTF-32BE"},
        {"UTF-32LE", "Exit 出口", "UTF-32LE"},
        {"UTF-32BE", "Exit 出口", "UTF-32BE"},
        {"GBK", "停业", "GB18030"},
    };
    for (const Case& c : cases) {
        const QString text = QString::fromUtf8(c.text);
        const QByteArray bytes = encoded(text, c.codec);
        const QString what = QLatin1String(c.codec) + QLatin1Char(' ') + text;
        if (c.charset) {
            EXPECT_EQ(TextFile::detectCharset(bytes), c.charset) << what.toStdString();
        }
        QString expected = text;
        if (expected.startsWith(QChar(0xFEFF)))
            expected.remove(0, 1);
        EXPECT_EQ(TextFile::decode(bytes), expected) << what.toStdString();
    }
    // Nothing Western is read as GBK.
    for (const char* western : {"Café crème", "Fermé le lundi", "Déjà vu à Noël", "Größe", "Été"}) {
        const QByteArray bytes = encoded(QString::fromUtf8(western), "windows-1252");
        EXPECT_NE(TextFile::detectCharset(bytes), "GB18030") << western;
        EXPECT_EQ(TextFile::decode(bytes), QString::fromUtf8(western)) << western;
    }
    for (const char* polish : {"Zażółć gęślą jaźń", "Wyjście", "Zamknięte", "Mokra podłoga"}) {
        const QByteArray bytes = encoded(QString::fromUtf8(polish), "ISO-8859-2");
        EXPECT_NE(TextFile::detectCharset(bytes), "GB18030") << polish;
    }
}

TEST(TextFile, CodePagesQtLacksAreReadFromTables)
{
    const QString romanian = QStringLiteral("Ieșire de urgență, închis până luni");
    const QByteArray iso16 = iconvEncoded(romanian, "ISO-8859-16");
    const QString vietnamese = QStringLiteral("Lối thoát hiểm. Đóng cửa vào Chủ nhật");
    const QByteArray viscii = iconvEncoded(vietnamese, "VISCII");
    if (iso16.isEmpty() || viscii.isEmpty())
        GTEST_SKIP() << "no iconv with ISO-8859-16 and VISCII here";
    EXPECT_EQ(TextFile::decode(iso16, "ISO-8859-16"), romanian);
    EXPECT_EQ(TextFile::decode(viscii, "VISCII"), vietnamese);
    const QByteArray capitals = iconvEncoded(QStringLiteral("ẲẴẪỶỸỴ"), "VISCII");
    EXPECT_EQ(capitals, QByteArray("\x02\x05\x06\x14\x19\x1E"));
    EXPECT_EQ(TextFile::decode(capitals, "VISCII"), QStringLiteral("ẲẴẪỶỸỴ"));
}

TEST(TextFile, SevenBitCjkIsNotTakenForAscii)
{
    const QByteArray jis = encoded(QStringLiteral("本日休業\n営業時間 10:00"), "ISO-2022-JP");
    ASSERT_FALSE(jis.isEmpty());
    EXPECT_EQ(TextFile::detectCharset(jis), "ISO-2022-JP");
    EXPECT_EQ(TextFile::lines(jis),
              QStringList({QStringLiteral("本日休業"), QStringLiteral("営業時間 10:00")}));
    EXPECT_EQ(TextFile::detectCharset("ESC is not \x1B[1mbold\x1B[0m"), "US-ASCII");
}

TEST(TextFile, BinaryIsNoText)
{
    EXPECT_TRUE(TextFile::detectCharset(QByteArray("GIF89a\x01\0\x01\0\x80\0\0", 13)).isEmpty());
    QByteArray gbkWithNul = Codepage::fromUnicode(QStringLiteral("停业 前台"));
    gbkWithNul.insert(3, '\0');
    EXPECT_TRUE(TextFile::detectCharset(gbkWithNul).isEmpty());
    EXPECT_TRUE(TextFile::decode(gbkWithNul).isEmpty());
    QByteArray controls;
    for (int i = 0; i < 200; ++i)
        controls.append(char(1 + i % 8)).append("ab");
    EXPECT_TRUE(TextFile::detectCharset(controls).isEmpty());
    EXPECT_TRUE(TextFile::lines(controls).isEmpty());
    // What text holds stays text: tabs, form feeds, escapes, DOS's end mark.
    EXPECT_EQ(TextFile::detectCharset("a\tb\fc\x1B[0m\r\n\x1A"), "US-ASCII");
    // UTF-16 and UTF-32 hold zero bytes and are text.
    EXPECT_EQ(TextFile::decode(encoded(QStringLiteral("Exit 出口\n"), "UTF-16LE")),
              QStringLiteral("Exit 出口\n"));
}
