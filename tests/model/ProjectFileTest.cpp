#include "model/ProjectFile.h"
#include "base/Codepage.h"
#include "base/SafeFile.h"
#include "model/ArchiveReader.h"
#include "model/ArchiveWriter.h"
#include "model/CAct.h"
#include "model/CMyText.h"
#include "model/CPropGif.h"
#include "model/CPropImage.h"
#include "model/CPropRtf.h"
#include "model/CPropText.h"
#include "model/CPropWord.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>

namespace {

QByteArray hex(const char* text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

// A fresh project as the program makes it: one section of 480 laid out with the area's colours.
std::unique_ptr<CAct> freshProject()
{
    auto area = std::make_unique<CAct>();
    auto section = std::make_unique<SectionRecord>(0, 480, 0);
    section->frameColor = area->settings().frameColor;
    area->adoptSection(std::move(section));
    return area;
}

const QByteArray kFreshProject = hex(
    // area: splitMode, reserved1, frameLines, frameColor, posX, posY, ledWidth, ledHeight,
    // backColor, manualPlay
    "00000000 20000000 00000000 0000ff00 00000000 00000000 e0010000 68010000 00000000 00000000"
    // caption: name "文字", textEffect, textSpeed, reserved1, content, blockBackColor, rect,
    // reserved2..5
    "04 cec4d7d6 00000000 05000000 14000000 00 00000000 00000000 00000000 64000000 64000000"
    "00000000 05000000 00000000 05000000"
    // no items; one section
    "0000 0100 ffff 0000 0700 43416374576e64"
    "00000000 00000000 00000000 e0010000 00000000 0000ff00 00000000");

struct LoadResult
{
    bool ok;
    QString error;
};

LoadResult load(CAct& area, const QByteArray& bytes, const QString& path = QStringLiteral("p.zpm"))
{
    QString error;
    const bool ok = projectFromBytes(area, bytes, path, &error);
    return {ok, error};
}

QString loadError(const QByteArray& bytes)
{
    CAct area;
    const LoadResult result = load(area, bytes);
    EXPECT_FALSE(result.ok);
    return result.error;
}

// A project with every kind of item, text blocks, Chinese and long strings.
std::unique_ptr<CAct> richProject()
{
    auto area = freshProject();
    area->changeSettings([&](AreaSettings& s) {
        s.splitMode = 1;
        s.frameLines = 2;
        s.manualPlay = 1;
    });
    area->caption().content = QStringLiteral("{\\rtf1 标题}");
    auto text = std::make_unique<CPropText>();
    text->filePath = QStringLiteral("D:\\节目\\通知.txt");
    text->fontName = QStringLiteral("黑体");
    text->bold = 1;
    text->textColor = 0x0000FFFF;
    area->appendItem(std::move(text));
    auto image = std::make_unique<CPropImage>();
    image->filePath = QStringLiteral("/media/photo.jpg");
    image->backImagePath = QString(300, QLatin1Char('b'));
    for (int i = 0; i < 2; ++i) {
        auto block = std::make_unique<CMyText>();
        block->content = QStringLiteral("块%1").arg(i);
        block->rect = {i, 2 * i, 100 + i, 50};
        image->texts.push_back(std::move(block));
    }
    area->appendItem(std::move(image));
    auto rtf = std::make_unique<CPropRtf>();
    rtf->filePath = QStringLiteral("letter.doc");
    rtf->reverseColors = 1; // not the default: a stored value comes back as stored
    area->appendItem(std::move(rtf));
    auto gif = std::make_unique<CPropGif>();
    gif->fitMode = 2;
    gif->texts.push_back(std::make_unique<CMyText>());
    area->appendItem(std::move(gif));
    auto word = std::make_unique<CPropWord>();
    word->pageEffect = 3;
    area->appendItem(std::move(word));
    area->appendItem(std::make_unique<CPropText>());
    area->adoptSection(std::make_unique<SectionRecord>(1, 200, 16));
    return area;
}

} // namespace

TEST(ProjectFile, FreshProjectIsExactly139Bytes)
{
    const auto area = freshProject();
    const QByteArray bytes = projectToBytes(*area);
    EXPECT_EQ(bytes.size(), 139);
    EXPECT_EQ(bytes.toHex(' '), kFreshProject.toHex(' '));
}

TEST(ProjectFile, IndicesAreSharedByClassesAndObjects)
{
    CAct area;
    area.appendItem(std::make_unique<CPropText>());
    auto image = std::make_unique<CPropImage>();
    image->texts.push_back(std::make_unique<CMyText>());
    area.appendItem(std::move(image));
    area.appendItem(std::make_unique<CPropText>());
    area.adoptSection(std::make_unique<SectionRecord>(0, 240, 0));
    area.adoptSection(std::make_unique<SectionRecord>(1, 240, 0));
    const QByteArray bytes = projectToBytes(area);

    // Class 1 CPropText, item 2, class 3 CPropImage, item 4, class 5 CMyText, block 6,
    // item 7 (tag 0x8001), class 8 SectionRecord, section 9, section 10 (tag 0x8008).
    const qsizetype textClass = bytes.indexOf(hex("ffff 0000 0900") + "CPropText");
    const qsizetype imageClass = bytes.indexOf(hex("ffff 0000 0a00") + "CPropImage");
    const qsizetype blockClass = bytes.indexOf(hex("ffff 0000 0700") + "CMyText");
    const qsizetype sectionClass = bytes.indexOf(hex("ffff 0000 0700") + "CActWnd");
    ASSERT_EQ(textClass, 40 + 54 + 2);
    ASSERT_GT(imageClass, textClass);
    ASSERT_GT(blockClass, imageClass);
    ASSERT_GT(sectionClass, blockClass);
    const qsizetype secondText = blockClass + 6 + 7 + 54;
    EXPECT_EQ(bytes.mid(secondText, 2), hex("0180"));
    const qsizetype itemBytes = 27 + 69; // a default text item: base fields, then its own
    EXPECT_EQ(bytes.mid(secondText + 2 + itemBytes, 2), hex("0200")); // sections COUNT
    EXPECT_EQ(sectionClass, secondText + 2 + itemBytes + 2);
    EXPECT_EQ(bytes.mid(sectionClass + 6 + 7 + 28, 2), hex("0880"));
    EXPECT_EQ(bytes.size(), sectionClass + 6 + 7 + 28 + 2 + 28);

    CAct loaded;
    ASSERT_TRUE(load(loaded, bytes).ok);
    ASSERT_EQ(loaded.itemCount(), 3);
    EXPECT_EQ(QByteArray(loaded.item(2)->className()), "CPropText");
    EXPECT_EQ(static_cast<CPropImage*>(loaded.item(1))->texts.size(), 1u);
    EXPECT_EQ(loaded.sections().size(), 2u);
}

TEST(ProjectFile, StringLengthPrefixes)
{
    const struct
    {
        int length;
        const char* prefix;
    } cases[] = {{0, "00"},
                 {254, "fe"},
                 {255, "ff ff00"},
                 {0xFFFD, "ff fdff"},
                 {0xFFFE, "ff ffff feff0000"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.length);
        QByteArray bytes;
        ArchiveWriter writer(bytes);
        const QString text(c.length, QLatin1Char('x'));
        writer.writeString(text);
        const QByteArray prefix = hex(c.prefix);
        EXPECT_EQ(bytes.size(), prefix.size() + c.length);
        EXPECT_EQ(bytes.left(prefix.size()).toHex(' '), prefix.toHex(' '));
        ArchiveReader reader(bytes);
        EXPECT_EQ(reader.readString(), text);
        EXPECT_FALSE(reader.failed());
    }
}

TEST(ProjectFile, GbkStringsCountBytesNotCharacters)
{
    QByteArray bytes;
    ArchiveWriter writer(bytes);
    writer.writeString(QStringLiteral("宋体"));
    EXPECT_EQ(bytes, hex("04 cbce cce5"));
}

TEST(ProjectFile, CountsOf65535AndMoreTakeTheLongForm)
{
    QByteArray bytes;
    ArchiveWriter writer(bytes);
    writer.writeCount(65534);
    writer.writeCount(65535);
    writer.writeCount(70000);
    EXPECT_EQ(bytes.toHex(' '), hex("feff ffff ffff0000 ffff 70110100").toHex(' '));

    CAct area;
    for (int i = 0; i < 65535; ++i)
        area.adoptSection(std::make_unique<SectionRecord>(i, 1, 0));
    const QByteArray project = projectToBytes(area);
    EXPECT_EQ(project.mid(40 + 54 + 2, 6), hex("ffff ffff0000"));
    CAct loaded;
    ASSERT_TRUE(load(loaded, project).ok);
    EXPECT_EQ(loaded.sections().size(), 65535u);
    EXPECT_EQ(loaded.sections().back()->sectionIndex, 65534);
}

TEST(ProjectFile, LargeIndicesUseTheBigTag)
{
    // 0x7FFF and beyond do not fit a WORD tag: the class reference becomes 7FFF + DWORD.
    CAct area;
    for (int i = 0; i < 0x7FFF; ++i)
        area.appendItem(std::make_unique<CPropRtf>());
    area.appendItem(std::make_unique<CPropWord>()); // class index 0x8001
    area.appendItem(std::make_unique<CPropWord>());
    const QByteArray bytes = projectToBytes(area);
    const qsizetype wordClass = bytes.indexOf("CPropWord");
    ASSERT_GT(wordClass, 0);
    const qsizetype secondWord = wordClass + 9 + 27 + 24; // past the first Word item's fields
    EXPECT_EQ(bytes.mid(secondWord, 6).toHex(' '), hex("ff7f 01800080").toHex(' '));
    CAct loaded;
    ASSERT_TRUE(load(loaded, bytes).ok);
    ASSERT_EQ(loaded.itemCount(), 0x7FFF + 2);
    EXPECT_EQ(QByteArray(loaded.item(0x8000)->className()), "CPropWord");
    EXPECT_EQ(projectToBytes(loaded), bytes);
}

TEST(ProjectFile, RoundTripsAreByteIdentical)
{
    const auto area = richProject();
    const QByteArray bytes = projectToBytes(*area);
    CAct loaded;
    ASSERT_TRUE(load(loaded, bytes).ok);
    EXPECT_EQ(projectToBytes(loaded), bytes);

    ASSERT_EQ(loaded.itemCount(), 6);
    const auto* text = static_cast<const CPropText*>(loaded.item(0));
    EXPECT_EQ(text->filePath, QStringLiteral("D:\\节目\\通知.txt"));
    EXPECT_EQ(text->fontName, QStringLiteral("黑体"));
    EXPECT_EQ(text->textColor, 0x0000FFFF);
    const auto* image = static_cast<const CPropImage*>(loaded.item(1));
    ASSERT_EQ(image->texts.size(), 2u);
    EXPECT_EQ(image->texts[1]->content, QStringLiteral("块1"));
    EXPECT_EQ(image->texts[1]->rect, (WinRect{1, 2, 101, 50}));
    EXPECT_EQ(image->backImagePath.size(), 300);
    EXPECT_EQ(QByteArray(loaded.item(4)->className()), "CPropWord");
    EXPECT_EQ(static_cast<const CPropWord*>(loaded.item(4))->pageEffect, 3);
    EXPECT_EQ(loaded.settings().splitMode, 1);
    EXPECT_EQ(loaded.settings().manualPlay, 1);
    EXPECT_EQ(loaded.sections()[1]->sectionPos, 16);
}

TEST(ProjectFile, WideCaptionNameLoadsAndSavesAsGbk)
{
    QByteArray bytes = kFreshProject;
    // "文字" as UTF-16LE behind the wide marker FF FE FF.
    bytes.replace(40, 5, hex("ff feff 02 8765 575b"));
    CAct area;
    ASSERT_TRUE(load(area, bytes).ok);
    EXPECT_EQ(area.caption().name, QStringLiteral("文字"));
    EXPECT_EQ(projectToBytes(area), kFreshProject);
}

TEST(ProjectFile, ReferencesAndNullSlotsLeaveNoSharedOrEmptySlots)
{
    auto source = freshProject();
    auto text = std::make_unique<CPropText>();
    text->filePath = QStringLiteral("a.txt");
    source->appendItem(std::move(text));
    QByteArray bytes = projectToBytes(*source);
    // Items COUNT 1 -> 3: the text item (object 2), a reference to object 2, a null reference.
    const qsizetype count = 40 + 54;
    ASSERT_EQ(bytes.mid(count, 2), hex("0100"));
    bytes[count] = 3;
    const qsizetype sections = bytes.indexOf(hex("0100 ffff 0000 0700") + "CActWnd");
    bytes.insert(sections, hex("0200 0000"));
    CAct area;
    ASSERT_TRUE(load(area, bytes).ok) << load(area, bytes).error.toStdString();
    ASSERT_EQ(area.itemCount(), 2);
    EXPECT_NE(area.item(0), area.item(1));
    EXPECT_EQ(area.item(1)->filePath, "a.txt");
    EXPECT_EQ(area.sections().size(), 1u);
}

TEST(ProjectFile, EachFaultHasItsMessage)
{
    const QString eof = QStringLiteral("试图访问 p.zpm 时超过它的结尾。");
    const QString badClass = QStringLiteral("p.zpm 包含意外的对象。");
    const QString badSchema = QStringLiteral("p.zpm 包含错误的架构。");
    const QString badIndex = QStringLiteral("p.zpm 格式错误。");
    const qsizetype sectionTag = 40 + 54 + 2 + 2;

    EXPECT_EQ(loadError(kFreshProject.left(100)), eof);
    EXPECT_EQ(loadError(kFreshProject.left(138)), eof);
    EXPECT_EQ(loadError(QByteArray()), eof);

    QByteArray unknownClass = kFreshProject;
    unknownClass[sectionTag + 6 + 6] = 'X';
    EXPECT_EQ(loadError(unknownClass), badClass);

    QByteArray longName = kFreshProject;
    longName.replace(sectionTag + 4, 2, hex("4000"));
    EXPECT_EQ(loadError(longName), badClass);

    QByteArray schema = kFreshProject;
    schema.replace(sectionTag + 2, 2, hex("0100"));
    EXPECT_EQ(loadError(schema), badSchema);

    QByteArray undefinedClass = kFreshProject.left(sectionTag);
    undefinedClass += hex("0580");
    EXPECT_EQ(loadError(undefinedClass), badIndex);

    QByteArray referenceToClass = kFreshProject;
    referenceToClass.replace(sectionTag - 2, 2, hex("0200")); // two sections
    referenceToClass += hex("0100");                          // object ref to index 1, a class
    EXPECT_EQ(loadError(referenceToClass), badIndex);

    QByteArray classAsObject = kFreshProject;
    classAsObject.replace(sectionTag - 2, 2, hex("0200"));
    classAsObject += hex("0280"); // class ref to index 2, an object
    EXPECT_EQ(loadError(classAsObject), badIndex);

    // A section class where the playlist belongs, and an item class where a section belongs.
    QByteArray sectionAsItem =
        kFreshProject.left(40 + 54) + hex("0100") + kFreshProject.mid(sectionTag);
    EXPECT_EQ(loadError(sectionAsItem), badClass);
    QByteArray itemAsSection = kFreshProject.left(sectionTag) + hex("ffff 0000 0800") + "CPropRtf";
    EXPECT_EQ(loadError(itemAsSection), badClass);
}

TEST(ProjectFile, HugeCountsAndLengthsAreRefusedBeforeAllocating)
{
    // A count no array could hold is out of memory; one the file merely ends before is its end.
    QByteArray items = kFreshProject.left(40 + 54) + hex("ffff ffffff7f") + kFreshProject.mid(96);
    EXPECT_EQ(loadError(items), QStringLiteral("内存不足。"));
    QByteArray fewerThanCounted =
        kFreshProject.left(40 + 54) + hex("ffff 00100000") + kFreshProject.mid(96);
    EXPECT_EQ(loadError(fewerThanCounted), QStringLiteral("试图访问 p.zpm 时超过它的结尾。"));
    // A class name cut short by the end of the file.
    EXPECT_EQ(loadError(kFreshProject.left(40 + 54) + hex("0100 ffff 0000 0800") + "CPro"),
              QStringLiteral("试图访问 p.zpm 时超过它的结尾。"));
    QByteArray name = kFreshProject;
    name.replace(40, 5, hex("ff ffff ffffff7f"));
    EXPECT_EQ(loadError(name), QStringLiteral("试图访问 p.zpm 时超过它的结尾。"));
    QByteArray wide = kFreshProject;
    wide.replace(40, 5, hex("ff feff ff ffff ffffffff"));
    EXPECT_EQ(loadError(wide), QStringLiteral("试图访问 p.zpm 时超过它的结尾。"));
}

TEST(ProjectFile, FailedLoadLeavesNoItemsAndNoSections)
{
    auto area = richProject();
    const int width = area->settings().ledWidth;
    const LoadResult result = load(*area, QByteArray("\x89PNG\r\n\x1a\n not a project at all", 29));
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(area->itemCount(), 0);
    EXPECT_TRUE(area->sections().empty());
    EXPECT_EQ(area->settings().ledWidth, width); // nothing half-read reaches the area
}

TEST(ProjectFile, FilesOnDisk)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("节目.zpm"));
    auto area = richProject();
    QString error;
    ASSERT_TRUE(area->SaveProject(path, &error)) << error.toStdString();
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), projectToBytes(*area));

    CAct loaded;
    ASSERT_TRUE(loaded.LoadProject(path, &error));
    EXPECT_EQ(loaded.itemCount(), 6);

    // A file that cannot be opened leaves the area as it was.
    EXPECT_FALSE(loaded.LoadProject(dir.filePath(QStringLiteral("missing.zpm")), &error));
    EXPECT_TRUE(error.contains(QStringLiteral("missing.zpm")));
    EXPECT_EQ(loaded.itemCount(), 6);

    // A folder that does not exist.
    EXPECT_FALSE(area->SaveProject(dir.filePath(QStringLiteral("no/such/folder/p.zpm")), &error));
    EXPECT_TRUE(error.endsWith(QStringLiteral("包含无效路径。"))) << error.toStdString();
}

TEST(ProjectFile, FailedSaveKeepsTheOldFile)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("show.zpm"));
    auto small = freshProject();
    ASSERT_TRUE(small->SaveProject(path));

    auto big = richProject();
    for (int i = 0; i < 200; ++i)
        big->appendItem(std::make_unique<CPropText>());

    // Files may not grow past 1 KiB for a moment: the write fails as on a full disk.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit limited = saved;
    limited.rlim_cur = 1024;
    setrlimit(RLIMIT_FSIZE, &limited);
    QString error;
    const bool saved_ok = big->SaveProject(path, &error);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, SIG_DFL);

    EXPECT_FALSE(saved_ok);
    EXPECT_FALSE(error.isEmpty());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), kFreshProject);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("show.zpm")});
}

TEST(ProjectFile, StringsGbkCannotHoldAreStoredWideAndComeBack)
{
    const QString path = QStringLiteral("/home/user/한국어/공지 😀.txt");
    QByteArray bytes;
    ArchiveWriter writer(bytes);
    writer.writeString(path);
    // The framework's wide form: 0xFF, the marker 0xFFFE, the length in characters, UTF-16.
    EXPECT_TRUE(bytes.startsWith(hex("ff feff") + char(path.size())));
    EXPECT_EQ(bytes.size(), 4 + 2 * path.size());

    CAct area;
    area.AddFile(path);
    area.AddFile(QStringLiteral("/节目/通知.txt"));
    const QByteArray project = projectToBytes(area);
    CAct loaded;
    ASSERT_TRUE(load(loaded, project).ok);
    EXPECT_EQ(loaded.item(0)->filePath, path);
    EXPECT_EQ(loaded.item(1)->filePath, QStringLiteral("/节目/通知.txt"));
    // What GBK holds is stored as before, byte for byte.
    EXPECT_TRUE(project.contains(hex("0e 2fbdda c4bf2fcd a8d6aa2e 747874")));
}

TEST(ProjectFile, BytesOfAnOldFileThatAreNoGbkSurviveOpenAndSave)
{
    CAct area;
    area.AddFile(QStringLiteral("/abcdefgh.txt"));
    QByteArray project = projectToBytes(area);
    const qsizetype at = project.indexOf("/abcdefgh.txt");
    ASSERT_GT(at, 0);
    // "/\x81\x30\x81\x30" and a lone lead byte where the name was, the length unchanged.
    project.replace(at, 13, QByteArray("/\x81\x30\x81\x30xyz.tx\xB0\xB0\xB0", 13));
    CAct loaded;
    ASSERT_TRUE(load(loaded, project).ok);
    EXPECT_EQ(projectToBytes(loaded), project);
}

namespace {

// A project whose item array holds one GIF item and then `items - 1` references to it, the GIF
// holding one text block and then `blocks - 1` references to that block: a few bytes a slot.
QByteArray referenceBomb(int items, int blocks)
{
    CAct fresh;
    QByteArray bytes;
    ArchiveWriter writer(bytes);
    fresh.SerializeSettings(writer);
    fresh.caption().Serialize(writer);
    writer.writeCount(static_cast<quint32>(items));
    CPropGif gif;
    gif.texts.push_back(std::make_unique<CMyText>());
    writer.writeItem(gif);
    // The block is the item's last field: its tag, class name and fields end the stream.
    QByteArray fields;
    ArchiveWriter fieldWriter(fields);
    CMyText().Serialize(fieldWriter);
    const qsizetype block = 6 + 7 + fields.size(); // new-class tag, schema, name length, "CMyText"
    const qsizetype count = bytes.size() - block - 2;
    EXPECT_EQ(bytes.mid(count, 2), hex("0100"));
    bytes.replace(count, 2, QByteArray(1, char(blocks & 0xFF)) + char(blocks >> 8));
    // Indices: CPropGif 1, the item 2, CMyText 3, the block 4.
    for (int i = 1; i < blocks; ++i)
        writer.writeWord(4);
    for (int i = 1; i < items; ++i)
        writer.writeWord(2);
    writer.writeCount(0);
    return bytes;
}

} // namespace

TEST(ProjectFile, ReferencesAreCopiesEachSlotOwns)
{
    const QByteArray small = referenceBomb(5, 7);
    CAct area;
    ASSERT_TRUE(load(area, small).ok);
    ASSERT_EQ(area.itemCount(), 5);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(static_cast<CPropGif*>(area.item(i))->texts.size(), 7u);
    EXPECT_NE(area.item(0), area.item(1));
}

TEST(ProjectFile, AReferenceBombIsRefusedBeforeItGrows)
{
    // 12 KB that would make nine million text blocks.
    const QByteArray bomb = referenceBomb(3000, 3000);
    EXPECT_LT(bomb.size(), 13 * 1024);
    EXPECT_EQ(loadError(bomb), QStringLiteral("内存不足。"));
    // Ten times the file: still refused, in time and memory of the file's size.
    EXPECT_EQ(loadError(referenceBomb(30000, 30000)), QStringLiteral("内存不足。"));
}

TEST(ProjectFile, OnlyAProjectIsTakenForOne)
{
    QTemporaryDir dir;
    QString why;
    const QString project = dir.filePath(QStringLiteral("show.zpm"));
    ASSERT_TRUE(freshProject()->SaveProject(project));
    EXPECT_TRUE(CAct::checkProjectFile(project, &why)) << why.toStdString();

    // Zeros parse (an area of no size, no sections): the header says no first.
    const QString zeros = dir.filePath(QStringLiteral("zeros.zpm"));
    ASSERT_TRUE(SafeFile::write(zeros, QByteArray(100, '\0')) == SafeFile::Error::None);
    EXPECT_FALSE(CAct::checkProjectFile(zeros, &why));
    EXPECT_TRUE(why.contains(QStringLiteral("0 x 0"))) << why.toStdString();
    // Larger than any project, told before a byte is read (sparse: it takes no disk).
    const QString huge = dir.filePath(QStringLiteral("huge.zpm"));
    QFile file(huge);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.resize(250LL * 1024 * 1024));
    file.close();
    EXPECT_FALSE(CAct::checkProjectFile(huge, &why));
    EXPECT_TRUE(why.contains(QStringLiteral("64 MB"))) << why.toStdString();
    EXPECT_FALSE(CAct::checkProjectFile(dir.path(), &why)); // a folder
    EXPECT_FALSE(CAct::checkProjectFile(dir.filePath(QStringLiteral("none.zpm")), &why));

    // A header that passes but an area without sections: refused once read.
    CAct noSections;
    ASSERT_TRUE(noSections.SaveProject(project));
    EXPECT_TRUE(CAct::checkProjectFile(project, &why));
    CAct loaded;
    ASSERT_TRUE(loaded.LoadProject(project));
    EXPECT_FALSE(loaded.checkProjectShape(project, &why));
    EXPECT_TRUE(freshProject()->checkProjectShape(project, &why));
}

TEST(ProjectFile, TheFilesAProjectNamesAreItsItemsFilesAndBackgrounds)
{
    auto area = richProject();
    const QStringList files = area->namedFiles();
    EXPECT_TRUE(files.contains(QStringLiteral("D:\\节目\\通知.txt")));
    EXPECT_TRUE(files.contains(QStringLiteral("/media/photo.jpg")));
    EXPECT_TRUE(files.contains(QString(300, QLatin1Char('b'))));
    EXPECT_TRUE(files.contains(QStringLiteral("letter.doc")));
    EXPECT_FALSE(files.contains(QString()));
}
