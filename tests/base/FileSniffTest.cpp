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

TEST(FileSniffTest, VideoContainersAreKnownByTheirFirstBytes)
{
    const auto box = [](const char* type, const char* brand) {
        QByteArray b("\x00\x00\x00\x20", 4);
        b += type;
        b += brand;
        b += QByteArray(20, '\0');
        return b;
    };
    QByteArray transport;
    for (int i = 0; i < 4; ++i)
        transport += '\x47' + QByteArray(187, '\x11');
    QByteArray timedTransport;
    for (int i = 0; i < 4; ++i)
        timedTransport += QByteArray(4, '\x01') + '\x47' + QByteArray(187, '\x11');
    const std::vector<std::pair<const char*, QByteArray>> videos{
        {"clip.mp4", box("ftyp", "isom")},
        {"clip.mov", box("ftyp", "qt  ")},
        {"old.mov", box("moov", "")},
        {"clip.mkv", QByteArray("\x1A\x45\xDF\xA3\x9F\x42\x86\x81", 8)},
        {"clip.webm", QByteArray("\x1A\x45\xDF\xA3\x9F\x42\x86\x81", 8)},
        {"clip.avi", QByteArray("RIFF\x10\x00\x00\x00"
                                "AVI LIST",
                                16)},
        {"clip.wmv",
         QByteArray("\x30\x26\xB2\x75\x8E\x66\xCF\x11\xA6\xD9\x00\xAA\x00\x62\xCE\x6C", 16)},
        {"clip.flv", QByteArray("FLV\x01\x05\x00\x00\x00\x09", 9)},
        {"clip.mpg", QByteArray("\x00\x00\x01\xBA\x44\x00\x04", 7)},
        {"clip.ts", transport},
        {"clip.ts", timedTransport},
        // Any container under any video name: the decoder reads what the bytes are.
        {"matroska-named.mp4", QByteArray("\x1A\x45\xDF\xA3\x9F\x42\x86\x81", 8)},
    };
    for (const auto& [name, bytes] : videos) {
        EXPECT_EQ(FileSniff::sniff(bytes), Content::Video) << name;
        EXPECT_TRUE(matches(QLatin1String(name), bytes)) << name;
    }
    QString why;
    const QByteArray png("\x89PNG\r\n\x1a\n\x00\x00\x00\x0DIHDR", 16);
    EXPECT_FALSE(matches("picture.mp4", png, &why));
    EXPECT_EQ(why, "picture.mp4 is a PNG picture, not a video");
    EXPECT_FALSE(matches("still.mp4", box("ftyp", "heic"), &why)); // a HEIF still, no video
    EXPECT_FALSE(matches("code.ts", "export const x: number = 1;\n", &why));
    EXPECT_EQ(why, "code.ts is a text file, not a video");
    EXPECT_FALSE(matches("clip.avi", QByteArray("RIFF\x10\x00\x00\x00WAVEfmt ", 16), &why));
    // Two transport packets' sync bytes, then something else: no stream.
    QByteArray broken = transport;
    broken[188 * 2] = 'x';
    EXPECT_NE(FileSniff::sniff(broken), Content::Video);
}
