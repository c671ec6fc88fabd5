#include "base/FileSniff.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>

#include <gtest/gtest.h>

using FileSniff::Content;

namespace {

const QString kData = QStringLiteral(TESSARIN_TEST_DATA);

QByteArray head(const QString& path)
{
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    return file.read(FileSniff::kHeadBytes);
}

bool matches(const QString& name, const QByteArray& bytes, QString* why = nullptr)
{
    QString ignored;
    return FileSniff::matchesName(name, bytes, why ? why : &ignored);
}

} // namespace

TEST(FileSniffTest, RealFilesMatchTheirNames)
{
    // Everything others made that the program plays, by its own name; the one plain text that is
    // named .rtf is no RTF.
    int seen = 0;
    for (const char* folder : {"text", "rtf", "office", "images", "gif"}) {
        QDirIterator it(kData + QLatin1Char('/') + QLatin1String(folder), QDir::Files);
        while (it.hasNext()) {
            const QString path = it.next();
            if (!FileSniff::knownExtensions().contains(QFileInfo(path).suffix().toLower()))
                continue;
            ++seen;
            QString why;
            const bool plainTextNamedRtf = path.endsWith("gbk-plain-text-named.rtf");
            EXPECT_EQ(matches(path, head(path), &why), !plainTextNamedRtf)
                << path.toStdString() << ": " << why.toStdString();
        }
    }
    EXPECT_GT(seen, 60);
}

TEST(FileSniffTest, TextInEveryCharsetIsText)
{
    for (const char* name :
         {"zh-tang-utf16le-bom-crlf.txt", "zh-tang-utf16be-bom.txt", "zh-tang-gbk-lf.txt",
          "gbk-short-tingye.txt", "zh-tang-utf8-nobom.txt", "zh-tang-utf8-bom.txt",
          "zh-tang-big5.txt", "zh-tang-utf8-cr-only.txt"})
        EXPECT_EQ(FileSniff::sniff(head(kData + "/text/" + QLatin1String(name))), Content::Text)
            << name;
    EXPECT_TRUE(matches("通知.txt", QStringLiteral("欢迎光临\n停业").toUtf8()));
    EXPECT_TRUE(matches("notice.txt", QByteArray("\xFF\xFE"
                                                 "A\0B\0\r\0\n\0",
                                                 10)));
    EXPECT_TRUE(matches("wide.txt", QByteArray("\xFF\xFE\0\0A\0\0\0", 8)));
    // UTF-16 without its mark, Chinese with 一 (U+4E00, a zero low byte) among Latin letters.
    const QString unmarked = QStringLiteral("Exit 出口 一楼\nOpen 09:00-21:00\n");
    QByteArray little, big;
    for (const QChar c : unmarked) {
        little.append(char(c.unicode() & 0xFF)).append(char(c.unicode() >> 8));
        big.append(char(c.unicode() >> 8)).append(char(c.unicode() & 0xFF));
    }
    EXPECT_TRUE(matches("unmarked.txt", little));
    EXPECT_TRUE(matches("unmarked.txt", big));
}

TEST(FileSniffTest, OtherContentsUnderATextNameAreRefused)
{
    QString why;
    const QByteArray png = head(kData + "/images/pal2.png");
    EXPECT_EQ(FileSniff::sniff(png), Content::Png);
    EXPECT_FALSE(matches("/media/notice.txt", png, &why));
    EXPECT_EQ(why, "notice.txt is a PNG picture, not a text file");

    // A project this program wrote, renamed.
    const QByteArray project = head(kData + "/../fuzz/corpus/project_reader/fresh.zpm");
    EXPECT_EQ(FileSniff::sniff(project), Content::Project);
    EXPECT_FALSE(matches("notice.txt", project, &why));
    EXPECT_EQ(why, "notice.txt is a Tessarin project, not a text file");

    EXPECT_FALSE(matches("zeros.txt", QByteArray(100, '\0')));
    EXPECT_FALSE(matches("elf.txt", QByteArray("\x7F"
                                               "ELF\x02\x01\x01\0\0\0\0\0",
                                               12)));
    EXPECT_FALSE(matches("a.txt", head(kData + "/office/lo-zh-mixed.doc")));
    EXPECT_FALSE(matches("a.txt", QByteArray("%PDF-1.7\n%\xE2\xE3\xCF\xD3\n")));
    QByteArray controls(200, '\x01');
    controls.prepend("text then ");
    EXPECT_FALSE(matches("a.txt", controls));
    EXPECT_FALSE(matches("empty.txt", QByteArray(), &why));
    EXPECT_EQ(why, "empty.txt is empty, not a text file");
}

TEST(FileSniffTest, PicturesAndDocumentsNeedTheirSignature)
{
    QString why;
    EXPECT_FALSE(matches("logo.png", "just some text\n", &why));
    EXPECT_EQ(why, "logo.png is a text file, not a PNG picture");
    EXPECT_TRUE(matches("a.JPG", QByteArray("\xFF\xD8\xFF\xE1\0\0Exif", 10)));
    EXPECT_TRUE(matches("a.jpeg", QByteArray("\xFF\xD8\xFF\xDB", 4)));
    EXPECT_FALSE(matches("a.gif", head(kData + "/images/pal2.png")));
    EXPECT_TRUE(matches("a.bmp", QByteArray("BM\x10\0\0\0\0\0\0\0\x1A\0\0\0\x0C\0\0\0", 18)));
    EXPECT_FALSE(matches("cursor.ico", QByteArray("\0\0\x02\0\x01\0\x20\x20", 8)));
    EXPECT_TRUE(matches("a.pcx", QByteArray("\x0A\x05\x01\x08\0\0\0\0", 8)));
    EXPECT_FALSE(matches("a.pcx", "\nline two\n"));
    const QByteArray zip("PK\x03\x04\x14\0\0\0\x08\0", 10);
    for (const char* name : {"a.docx", "a.xlsx", "a.odt", "a.ods"})
        EXPECT_TRUE(matches(name, zip)) << name;
    EXPECT_FALSE(matches("a.xls", zip));
    EXPECT_TRUE(matches("a.xls", head(kData + "/office/lo-three-sheets.xls")));
    EXPECT_TRUE(matches("saved-by-word.doc", head(kData + "/rtf/lo-zh-mixed.rtf")));
    EXPECT_FALSE(matches("a.docx", head(kData + "/office/lo-zh-mixed.doc")));
    EXPECT_FALSE(matches("a.rtf", "plain words\n"));
    QByteArray program("MZ\x90\0\x03\0\0\0", 8);
    program.append(QByteArray(56, '\0'));
    EXPECT_EQ(FileSniff::sniff(program), Content::Executable);
    EXPECT_FALSE(matches("a.doc", program));
    EXPECT_TRUE(
        matches("odd-header.bmp", QByteArray("BM\x10\0\0\0\0\0\0\0\x1A\0\0\0\x0D\0\0\0", 18)));
    EXPECT_FALSE(matches("a.bmp", "BMW and Audi\n"));
    EXPECT_FALSE(matches("song.mp3", QByteArray("ID3\x04", 4), &why));
    EXPECT_EQ(why, "song.mp3: no item plays .mp3 files");
}

TEST(FileSniffTest, AProjectHeaderNeedsAnLedPictureOfSomeSize)
{
    QString why;
    EXPECT_FALSE(FileSniff::isProjectHeader(QByteArray(100, '\0'), &why));
    EXPECT_EQ(why, "an LED picture of 0 x 0 pixels");
    EXPECT_TRUE(
        FileSniff::isProjectHeader(head(kData + "/../fuzz/corpus/project_reader/rich.zpm")));
    EXPECT_FALSE(FileSniff::isProjectHeader(QByteArray(20, '\0')));
}
