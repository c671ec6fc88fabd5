#include "model/ItemKinds.h"
#include "base/FileSniff.h"
#include "model/CAct.h"
#include "model/CPropBase.h"
#include "model/CPropWord.h"
#include "model/FieldVisitor.h"

#include <QByteArray>

#include <gtest/gtest.h>

namespace {

QByteArray classOf(const QString& path)
{
    const ItemKindInfo* kind = ItemKinds::forPath(path);
    return kind ? kind->className : QByteArray();
}

// A kind of the tests' own, beside the program's: what it was played with is recorded.
class RecordedItem final : public CPropBase
{
public:
    static constexpr char kClass[] = "CTestRecorded";
    const char* className() const override { return kClass; }
    std::unique_ptr<CPropBase> clone() const override
    {
        return std::make_unique<RecordedItem>(*this);
    }
    int speed = 0;
};

struct Played
{
    const CPropBase* item = nullptr;
    const CAct* area = nullptr;
    QString filePath;
    int speed = 0;
} played;

void recordingPlayer(const CPropBase& item, CAct& area)
{
    played = {&item, &area, item.filePath, static_cast<const RecordedItem&>(item).speed};
}

std::unique_ptr<CPropBase> makeRecorded()
{
    return std::make_unique<RecordedItem>();
}

} // namespace

TEST(ItemKinds, ExtensionIsTheTextAfterTheLastDot)
{
    EXPECT_EQ(fileExtension("/a/b/photo.Jpg"), "Jpg");
    EXPECT_EQ(fileExtension("/a/old.data/readme"), "data/readme");
    EXPECT_EQ(fileExtension("readme"), "readme");
    EXPECT_EQ(fileExtension("archive.tar.gz"), "gz");
    EXPECT_EQ(fileExtension("trailing."), "");
}

TEST(ItemKinds, FilesMakeTheKindOfTheirExtensionWithoutRegardToCase)
{
    EXPECT_EQ(classOf("photo.Jpg"), "CPropImage");
    EXPECT_EQ(classOf("NOTES.TXT"), "CPropText");
    for (const char* name :
         {"sheet.xls", "letter.doc", "page.RTF", "letter.docx", "notes.odt", "prices.xlsx",
          "sheet.ods", "a.wks", "a.xlm", "a.xla", "a.xlt", "a.xll"})
        EXPECT_EQ(classOf(name), "CPropRtf") << name;
    for (const char* name : {"p.bmp", "p.jpg", "p.wmf", "p.ico", "p.pcx", "p.png", "photo.jpeg"})
        EXPECT_EQ(classOf(name), "CPropImage") << name;
    // A GIF that does not animate (here: none there) is a picture.
    EXPECT_EQ(classOf("/nowhere/still.gif"), "CPropImage");
    EXPECT_EQ(classOf("txt"), "CPropText"); // a bare extension name is its own extension
}

TEST(ItemKinds, NamesNoKindPlaysAreRefused)
{
    for (const char* name :
         {"movie.swf", "letter.pdf", "song.mp3", "/media/readme", "/media/old.data/readme", ""})
        EXPECT_EQ(ItemKinds::forPath(name), nullptr) << name;
    EXPECT_FALSE(ItemKinds::extensionPlays("letter.pdf"));
    EXPECT_TRUE(ItemKinds::extensionPlays("upload.GIF")); // no file yet: the extension alone
    EXPECT_TRUE(ItemKinds::extensionPlays("clip.MP4"));
    EXPECT_EQ(ItemKinds::forPath("/nowhere/clip.mp4"), nullptr); // its first bytes decide
}

TEST(ItemKinds, DuplicateAndIncompleteEntriesAreRefused)
{
    const size_t before = ItemKinds::all().size();
    EXPECT_FALSE(ItemKinds::add({"CPropText", {"NEW"}, {}, &makeRecorded, nullptr, {}}));
    EXPECT_FALSE(ItemKinds::add({"", {"NEW"}, {}, &makeRecorded, nullptr, {}}));
    EXPECT_FALSE(ItemKinds::add({"CTestNoFactory", {"NEW"}, {}, nullptr, nullptr, {}}));
    EXPECT_EQ(ItemKinds::all().size(), before);
    // The first entry stands as it was.
    EXPECT_EQ(classOf("a.txt"), "CPropText");
    EXPECT_EQ(ItemKinds::forPath("a.new"), nullptr);
}

TEST(ItemKinds, TheBuiltinKindsAreRegisteredOnceWithWhatTheyCanDo)
{
    QList<QByteArray> names;
    for (const ItemKindInfo* kind : ItemKinds::all())
        names << kind->className;
    for (const char* name : {"CPropText", "CPropRtf", "CPropGif", "CPropImage", "CPropWord"})
        EXPECT_EQ(names.count(name), 1) << name;
    EXPECT_NE(ItemKinds::find("CPropText")->player, nullptr);
    EXPECT_TRUE(ItemKinds::find("CPropText")->features.live);
    EXPECT_TRUE(ItemKinds::find("CPropGif")->features.animated);
    EXPECT_TRUE(ItemKinds::find("CPropImage")->features.overlays);
    EXPECT_TRUE(ItemKinds::find("CPropRtf")->features.paged);
    // Only project files make a Word item, and it plays nothing.
    EXPECT_TRUE(ItemKinds::find("CPropWord")->extensions.isEmpty());
    EXPECT_EQ(ItemKinds::find("CPropWord")->player, nullptr);
    EXPECT_EQ(ItemKinds::find("CPropNone"), nullptr);
    EXPECT_EQ(ItemKinds::make("CPropNone"), nullptr);
}

TEST(ItemKinds, PlayHandsTheKindsPlayerACopyTakenUnderTheItemsLock)
{
    static const bool added =
        ItemKinds::add({RecordedItem::kClass, {"REC"}, {}, &makeRecorded, &recordingPlayer, {}});
    ASSERT_TRUE(added);
    CAct area;
    RecordedItem item;
    item.filePath = QStringLiteral("/media/notice.rec");
    item.speed = 7;
    played = {};
    item.Play(area);
    EXPECT_EQ(played.area, &area);
    EXPECT_EQ(item.area.load(), &area);
    // A page may edit the item while it plays: the player never sees the item itself.
    EXPECT_NE(played.item, nullptr);
    EXPECT_NE(played.item, &item);
    EXPECT_EQ(played.filePath, item.filePath);
    EXPECT_EQ(played.speed, 7);
    // A file of its extension now makes one: a kind is one table entry.
    EXPECT_EQ(classOf("x.rec"), RecordedItem::kClass);
}

TEST(ItemKinds, AKindWithoutAPlayerPlaysNothing)
{
    CAct area;
    CPropWord item;
    played = {};
    item.Play(area);
    EXPECT_EQ(played.item, nullptr);
    EXPECT_EQ(item.area.load(), &area);
}

TEST(ItemKinds, EveryExtensionThatPlaysHasAContentCheck)
{
    // Uploads are checked against what their name says: no playable name goes unchecked.
    const QStringList checked = FileSniff::knownExtensions();
    for (const ItemKindInfo* kind : ItemKinds::all()) {
        if (!kind->className.startsWith("CProp"))
            continue; // the tests' own kinds
        for (const QString& extension : kind->extensions)
            EXPECT_TRUE(checked.contains(extension.toLower()))
                << kind->className.constData() << " " << extension.toStdString();
    }
}
