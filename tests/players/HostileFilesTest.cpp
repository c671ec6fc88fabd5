// What an unattended wall meets: items that name a device, a pipe, a huge file or nothing at all,
// played pass after pass. Each is refused at once, told once, and never holds up the loop.
#include "base/Notifications.h"
#include "model/CPropRtf.h"
#include "model/CPropText.h"
#include "render/text/OfficeConverter.h"
#include "support/PlayerFixture.h"

#include <QFile>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

class HostileFilesTest : public PlayerFixture
{
protected:
    HostileFilesTest()
    {
        setUpArea(120, 40);
        Notifications::setSink([this](const QString& text) { messages << text; });
    }
    ~HostileFilesTest() override
    {
        Notifications::setSink({});
        OfficeConverter::setProgram(QStringLiteral("soffice"));
    }

    template <class Item>
    void playPasses(const QString& path, int passes)
    {
        Item item;
        item.filePath = path;
        item.holdTime = 0;
        for (int i = 0; i < passes; ++i)
            item.Play(area);
    }

    QStringList messages;
};

} // namespace

TEST_F(HostileFilesTest, DevicesPipesAndHugeFilesAreRefusedAtOnce)
{
    const QString fifo = dir.filePath(QStringLiteral("pipe.txt"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString huge = dir.filePath(QStringLiteral("huge.rtf"));
    {
        QFile file(huge);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_TRUE(file.resize(2LL * 1024 * 1024 * 1024)); // sparse
    }
    const QString fifoRtf = dir.filePath(QStringLiteral("pipe.rtf"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifoRtf).constData(), 0600), 0);
    // Any of these used to block the play thread for good or ask for gigabytes.
    playPasses<CPropText>(QStringLiteral("/dev/zero"), 3);
    playPasses<CPropText>(fifo, 3);
    playPasses<CPropText>(huge, 3);
    playPasses<CPropRtf>(fifoRtf, 3);
    playPasses<CPropRtf>(huge, 3);
    EXPECT_TRUE(pages.empty());
    // One message for each item, not one for each pass.
    EXPECT_EQ(messages.size(), 5) << messages.join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(messages.contains(QStringLiteral("内存不足。")));
    EXPECT_TRUE(messages.contains(QStringLiteral("文件名不正确。")));
}

TEST_F(HostileFilesTest, AMissingFileIsToldOnceOverAHundredPasses)
{
    playPasses<CPropRtf>(dir.filePath(QStringLiteral("missing.rtf")), 100);
    EXPECT_EQ(messages,
              QStringList{Notifications::missingText(dir.filePath(QStringLiteral("missing.rtf")))});
    // A .doc with no converter: one message too, the same each pass.
    OfficeConverter::setProgram(QStringLiteral("/nonexistent/soffice"));
    QFile doc(dir.filePath(QStringLiteral("letter.doc")));
    ASSERT_TRUE(doc.open(QIODevice::WriteOnly));
    doc.write("not really a document");
    doc.close();
    playPasses<CPropRtf>(doc.fileName(), 100);
    EXPECT_EQ(messages.size(), 2);
    // Once the file is there and plays, a later failure is told again.
    QFile rtf(dir.filePath(QStringLiteral("missing.rtf")));
    ASSERT_TRUE(rtf.open(QIODevice::WriteOnly));
    rtf.write("{\\rtf1 here now}");
    rtf.close();
    playPasses<CPropRtf>(rtf.fileName(), 1);
    rtf.remove();
    playPasses<CPropRtf>(rtf.fileName(), 5);
    EXPECT_EQ(messages.size(), 3);
}

TEST_F(HostileFilesTest, BinaryDataNamedTxtIsRefusedAndNamed)
{
    QByteArray program("\x7F"
                       "ELF\x02\x01\x01",
                       7);
    program.append(QByteArray(64, '\0')).append("停业", 6);
    QByteArray controls;
    for (int i = 0; i < 300; ++i)
        controls.append(char(1 + i % 6)).append('x');
    const QString binary = writeFile(QStringLiteral("program.txt"), program);
    const QString noise = writeFile(QStringLiteral("noise.txt"), controls);
    playPasses<CPropText>(binary, 3);
    playPasses<CPropText>(noise, 3);
    EXPECT_TRUE(pages.empty());
    EXPECT_TRUE(shown.empty());
    // Once for each file, naming it, as a missing or unreadable one is.
    ASSERT_EQ(messages.size(), 2) << messages.join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(messages[0].contains(QStringLiteral("program.txt"))) << messages[0].toStdString();
    EXPECT_TRUE(messages[1].contains(QStringLiteral("noise.txt"))) << messages[1].toStdString();
    // UTF-16 without its mark holds zero bytes and plays.
    const QString wide = QStringLiteral("Exit 出口\nOpen 09:00-21:00\n");
    QByteArray utf16;
    for (const QChar c : wide)
        utf16.append(char(c.unicode() & 0xFF)).append(char(c.unicode() >> 8));
    playPasses<CPropText>(writeFile(QStringLiteral("wide.txt"), utf16), 1);
    EXPECT_FALSE(pages.empty());
    EXPECT_EQ(messages.size(), 2);
}

TEST_F(HostileFilesTest, FilesThatAreNotWhatTheirNamesSayAreToldOnceAndNotDrawn)
{
    QImage picture(8, 8, QImage::Format_RGB32);
    picture.fill(Qt::red);
    const QString png = dir.filePath(QStringLiteral("notice.txt"));
    ASSERT_TRUE(picture.save(png, "PNG"));
    const QString rtf = dir.filePath(QStringLiteral("notice.rtf"));
    ASSERT_TRUE(QFile::copy(png, rtf));
    const QString doc = dir.filePath(QStringLiteral("notice.doc"));
    {
        QFile file(doc);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("Dear all,\nthe lobby closes at six.\n");
    }
    OfficeConverter::setProgram(QStringLiteral("/nonexistent/soffice"));
    playPasses<CPropText>(png, 3);
    playPasses<CPropRtf>(rtf, 3);
    playPasses<CPropRtf>(doc, 3);
    // Scrolling, the same text file.
    CPropText scrolling;
    scrolling.filePath = png;
    scrolling.holdTime = 0;
    scrolling.reservedText = QStringLiteral(R"({"marquee": {"direction": "left"}})");
    scrolling.Play(area);
    EXPECT_TRUE(pages.empty());
    ASSERT_EQ(messages.size(), 3) << messages.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(messages[0], QStringLiteral("notice.txt is a PNG picture, not a text file"));
    EXPECT_EQ(messages[1], QStringLiteral("notice.rtf is a PNG picture, not an RTF document"));
    EXPECT_EQ(messages[2], QStringLiteral("notice.doc is a text file, not a Word document"));
}
