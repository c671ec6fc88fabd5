#include "model/CAct.h"
#include "base/SettingsStore.h"
#include "model/CPropImage.h"
#include "model/CPropRtf.h"
#include "model/CPropText.h"
#include "model/PropertyPageHost.h"
#include "render/pictures/CPictureEx.h"
#include "support/TestSettings.h"

#include <gtest/gtest.h>

namespace {

class CActTest : public testing::Test
{
protected:
    void SetUp() override { TestSettings::clear(); }
};

QStringList filePaths(const CAct& area)
{
    QStringList paths;
    for (int i = 0; i < area.itemCount(); ++i)
        paths << area.item(i)->filePath;
    return paths;
}

} // namespace

TEST_F(CActTest, FreshAreaWithEmptyStoreHasTheDefaults)
{
    CAct area;
    EXPECT_EQ(area.ledWidth, 480);
    EXPECT_EQ(area.ledHeight, 360);
    EXPECT_EQ(area.posX, 0);
    EXPECT_EQ(area.posY, 0);
    EXPECT_EQ(area.firstOffset, 0);
    EXPECT_EQ(area.frameColor, 0x00FF0000);
    EXPECT_EQ(area.backColor, 0);
    EXPECT_EQ(area.reserved1, 32);
    EXPECT_EQ(area.splitMode, 0);
    EXPECT_EQ(area.frameLines, 0);
    EXPECT_EQ(area.manualPlay, 0);
    EXPECT_EQ(area.itemCount(), 0);
    EXPECT_TRUE(area.sections.empty());
    ASSERT_NE(area.caption, nullptr);
    EXPECT_EQ(area.caption->name, QStringLiteral("文字"));
    EXPECT_EQ(area.caption->rect, (WinRect{0, 0, 100, 100}));
}

TEST_F(CActTest, GeometryIsWrittenBackAndReadAgain)
{
    {
        CAct area;
        area.posX = 7;
        area.posY = 9;
        area.ledWidth = 1920;
        area.ledHeight = 32;
        area.firstOffset = 100;
    }
    EXPECT_EQ(SettingsStore::readInt("Window", "Hight", -1), 32); // the key is spelled "Hight"
    CAct again;
    EXPECT_EQ(again.posX, 7);
    EXPECT_EQ(again.posY, 9);
    EXPECT_EQ(again.ledWidth, 1920);
    EXPECT_EQ(again.ledHeight, 32);
    EXPECT_EQ(again.firstOffset, 100);
}

TEST_F(CActTest, AddFileChoosesKindsAndKeepsOrder)
{
    CAct area;
    EXPECT_EQ(area.AddFile("/media/photo.Jpg"), 0);
    EXPECT_EQ(area.AddFile("/media/NOTES.TXT"), 1);
    EXPECT_EQ(area.AddFile("/media/sheet.xls"), 2);
    EXPECT_EQ(area.AddFile("/media/letter.doc"), 3);
    EXPECT_EQ(area.AddFile("/media/clip.avi"), -1);
    EXPECT_EQ(area.AddFile("/media/still.gif"), 4);
    ASSERT_EQ(area.itemCount(), 5);
    EXPECT_EQ(area.item(0)->kind(), ItemKind::Image);
    EXPECT_EQ(area.item(1)->kind(), ItemKind::Text);
    EXPECT_EQ(area.item(2)->kind(), ItemKind::Rtf);
    EXPECT_EQ(area.item(3)->kind(), ItemKind::Rtf);
    EXPECT_EQ(area.item(4)->kind(), ItemKind::Image); // no such file: not animated
    EXPECT_EQ(area.item(1)->filePath, "/media/NOTES.TXT");
    EXPECT_EQ(area.item(5), nullptr);
    EXPECT_EQ(area.item(-1), nullptr);
}

TEST_F(CActTest, AnimatedGifTestMakesGifItems)
{
    CAct::setAnimatedGifTest([](const QString& path) { return path.contains("moving"); });
    CAct area;
    EXPECT_EQ(area.AddFile("/m/moving.GIF"), 0);
    EXPECT_EQ(area.AddFile("/m/still.gif"), 1);
    CAct::setAnimatedGifTest(IsAnimatedGif);
    EXPECT_EQ(area.item(0)->kind(), ItemKind::Gif);
    EXPECT_EQ(area.item(1)->kind(), ItemKind::Image);
}

TEST_F(CActTest, NewItemsCarryTheirKindsDefaults)
{
    CAct area;
    area.AddFile("a.txt");
    area.AddFile("b.rtf");
    area.AddFile("c.bmp");
    const auto* text = static_cast<const CPropText*>(area.item(0));
    EXPECT_EQ(text->fontName, QStringLiteral("宋体"));
    EXPECT_EQ(text->fontSize, 12);
    EXPECT_EQ(text->textColor, 0x00FFFFFF);
    EXPECT_EQ(text->lineSpacing, 2);
    EXPECT_EQ(text->bold + text->italic + text->underline, 0);
    EXPECT_EQ(text->alignLeft + text->alignCenter + text->alignRight + text->alignVCenter, 0);
    EXPECT_EQ(text->backColor, 0);
    EXPECT_EQ(text->clearSpeed, 3);
    EXPECT_EQ(text->baseReserved2, 5);
    const auto* rtf = static_cast<const CPropRtf*>(area.item(1));
    EXPECT_EQ(rtf->backColor, 0x00FFFFFF);
    EXPECT_EQ(rtf->reverseColors, 1);
    const auto* image = static_cast<const CPropImage*>(area.item(2));
    EXPECT_EQ(image->fitMode, 2);
    EXPECT_EQ(image->holdTime, 20);
    EXPECT_EQ(image->speed, 5);
    EXPECT_TRUE(image->texts.empty());
}

TEST_F(CActTest, ItemsMoveTakeAndClear)
{
    CAct area;
    for (const char* name : {"a.txt", "b.txt", "c.txt"})
        area.AddFile(name);
    EXPECT_TRUE(area.moveItem(2, 0));
    EXPECT_EQ(filePaths(area), QStringList({"c.txt", "a.txt", "b.txt"}));
    EXPECT_FALSE(area.moveItem(0, 3));
    std::unique_ptr<CPropBase> taken = area.takeItem(1);
    ASSERT_NE(taken, nullptr);
    EXPECT_EQ(taken->filePath, "a.txt");
    area.insertItem(99, std::move(taken));
    EXPECT_EQ(filePaths(area), QStringList({"c.txt", "b.txt", "a.txt"}));
    EXPECT_EQ(area.takeItem(3), nullptr);
    area.ClearItems();
    EXPECT_EQ(area.itemCount(), 0);
}

TEST_F(CActTest, ItemsShowTheirOwnPage)
{
    struct RecordingHost : PropertyPageHost
    {
        int shownId = -1;
        CPropBase* shownItem = nullptr;
        void showItemPage(int templateId, CPropBase& item) override
        {
            shownId = templateId;
            shownItem = &item;
        }
    };
    CAct area;
    area.AddFile("a.txt");
    area.AddFile("b.rtf");
    area.AddFile("c.jpg");
    const int expected[] = {152, 452, 444};
    for (int i = 0; i < 3; ++i) {
        RecordingHost host;
        area.item(i)->ShowProperties(host);
        EXPECT_EQ(host.shownId, expected[i]);
        EXPECT_EQ(host.shownItem, area.item(i));
    }
}
