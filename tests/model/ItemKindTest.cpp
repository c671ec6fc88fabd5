#include "model/ItemKind.h"
#include "model/CPropBase.h"

#include <gtest/gtest.h>

namespace {

std::optional<ItemKind> kindOf(const QString& path)
{
    return itemKindForPath(path, {});
}

} // namespace

TEST(ItemKind, ExtensionIsTheTextAfterTheLastDot)
{
    EXPECT_EQ(fileExtension("/a/b/photo.Jpg"), "Jpg");
    EXPECT_EQ(fileExtension("/a/old.data/readme"), "data/readme");
    EXPECT_EQ(fileExtension("readme"), "readme");
    EXPECT_EQ(fileExtension("archive.tar.gz"), "gz");
    EXPECT_EQ(fileExtension("trailing."), "");
}

TEST(ItemKind, KindsFollowTheExtensionWithoutRegardToCase)
{
    EXPECT_EQ(kindOf("photo.Jpg"), ItemKind::Image);
    EXPECT_EQ(kindOf("NOTES.TXT"), ItemKind::Text);
    EXPECT_EQ(kindOf("sheet.xls"), ItemKind::Rtf);
    EXPECT_EQ(kindOf("letter.doc"), ItemKind::Rtf);
    EXPECT_EQ(kindOf("page.RTF"), ItemKind::Rtf);
    for (const char* ext : {"wks", "XLM", "xla", "xlt", "xll"})
        EXPECT_EQ(kindOf(QStringLiteral("s.") + ext), ItemKind::Rtf) << ext;
    for (const char* ext : {"bmp", "jpg", "gif", "wmf", "ico", "PCX"})
        EXPECT_EQ(kindOf(QStringLiteral("p.") + ext), ItemKind::Image) << ext;
}

TEST(ItemKind, UnplayableNamesAreRefused)
{
    EXPECT_FALSE(kindOf("clip.avi"));
    EXPECT_FALSE(kindOf("letter.pdf")); // only the listed extensions
    EXPECT_FALSE(kindOf("song.mp3"));
    EXPECT_FALSE(kindOf("/media/readme"));          // no dot: the whole path is compared
    EXPECT_FALSE(kindOf("/media/old.data/readme")); // the folder's dot counts
    EXPECT_FALSE(kindOf(""));
    EXPECT_EQ(kindOf("txt"), ItemKind::Text); // a bare extension name is its own extension
}

TEST(ItemKind, TodaysOfficeFilesAndPicturesPlay)
{
    for (const char* name : {"letter.docx", "notes.odt", "prices.xlsx", "sheet.ods"})
        EXPECT_EQ(kindOf(name), ItemKind::Rtf) << name;
    for (const char* name : {"photo.jpeg", "logo.PNG"})
        EXPECT_EQ(kindOf(name), ItemKind::Image) << name;
}

TEST(ItemKind, AnimatedTestIsAskedOnlyForGifNames)
{
    int asked = 0;
    const AnimatedGifTest always = [&asked](const QString&) {
        ++asked;
        return true;
    };
    EXPECT_EQ(itemKindForPath("a.gif", always), ItemKind::Gif);
    EXPECT_EQ(itemKindForPath("a.bmp", always), ItemKind::Image);
    EXPECT_EQ(itemKindForPath("a.txt", always), ItemKind::Text);
    EXPECT_EQ(asked, 1);
}

TEST(ItemKind, MakeItemGivesEachKindItsClassAndPage)
{
    const struct
    {
        ItemKind kind;
        const char* className;
        int pageId;
    } cases[] = {{ItemKind::Text, "CPropText", 152},
                 {ItemKind::Rtf, "CPropRtf", 452},
                 {ItemKind::Image, "CPropImage", 444},
                 {ItemKind::Gif, "CPropGif", 466},
                 {ItemKind::Word, "CPropWord", 445}};
    for (const auto& c : cases) {
        const std::unique_ptr<CPropBase> item = makeItem(c.kind);
        ASSERT_NE(item, nullptr);
        EXPECT_EQ(item->kind(), c.kind);
        EXPECT_STREQ(item->className(), c.className);
        EXPECT_EQ(item->PropertyPageId(), c.pageId);
    }
}
