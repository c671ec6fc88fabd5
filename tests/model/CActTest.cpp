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
    EXPECT_EQ(area.settings().ledWidth, 480);
    EXPECT_EQ(area.settings().ledHeight, 360);
    EXPECT_EQ(area.settings().posX, 0);
    EXPECT_EQ(area.settings().posY, 0);
    EXPECT_EQ(area.settings().firstOffset, 0);
    EXPECT_EQ(area.settings().frameColor, 0x00FF0000);
    EXPECT_EQ(area.settings().backColor, 0);
    EXPECT_EQ(area.settings().reserved1, 32);
    EXPECT_EQ(area.settings().splitMode, 0);
    EXPECT_EQ(area.settings().frameLines, 0);
    EXPECT_EQ(area.settings().manualPlay, 0);
    EXPECT_EQ(area.itemCount(), 0);
    EXPECT_TRUE(area.sections().empty());
    EXPECT_EQ(area.caption().name, QStringLiteral("文字"));
    EXPECT_EQ(area.caption().rect, (WinRect{0, 0, 100, 100}));
}

TEST_F(CActTest, TheAreaKnowsNoSettingsStore)
{
    {
        CAct area;
        area.changeSettings([&](AreaSettings& s) { s.ledWidth = 1920; });
    }
    // The program reads and writes the area's place; the area itself never does.
    EXPECT_EQ(SettingsStore::readInt("Window", "Width", -1), -1);
}

TEST_F(CActTest, AddFileChoosesKindsAndKeepsOrder)
{
    CAct area;
    EXPECT_EQ(area.AddFile("/media/photo.Jpg"), 0);
    EXPECT_EQ(area.AddFile("/media/NOTES.TXT"), 1);
    EXPECT_EQ(area.AddFile("/media/sheet.xls"), 2);
    EXPECT_EQ(area.AddFile("/media/letter.doc"), 3);
    EXPECT_EQ(area.AddFile("/media/movie.swf"), -1);
    EXPECT_EQ(area.AddFile("/media/still.gif"), 4);
    ASSERT_EQ(area.itemCount(), 5);
    EXPECT_EQ(QByteArray(area.item(0)->className()), "CPropImage");
    EXPECT_EQ(QByteArray(area.item(1)->className()), "CPropText");
    EXPECT_EQ(QByteArray(area.item(2)->className()), "CPropRtf");
    EXPECT_EQ(QByteArray(area.item(3)->className()), "CPropRtf");
    EXPECT_EQ(QByteArray(area.item(4)->className()), "CPropImage"); // no such file: not animated
    EXPECT_EQ(area.item(1)->filePath, "/media/NOTES.TXT");
    EXPECT_EQ(area.item(5), nullptr);
    EXPECT_EQ(area.item(-1), nullptr);
}

TEST_F(CActTest, AnimatedGifsMakeGifItems)
{
    CAct area;
    EXPECT_EQ(area.AddFile(QStringLiteral(TESSARIN_TEST_DATA "/gif/dispose-previous.gif")), 0);
    EXPECT_EQ(area.AddFile("/m/still.gif"), 1); // no such file: not animated
    EXPECT_EQ(QByteArray(area.item(0)->className()), "CPropGif");
    EXPECT_EQ(QByteArray(area.item(1)->className()), "CPropImage");
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
    EXPECT_EQ(rtf->reverseColors, 0);
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
        CPropBase* shownItem = nullptr;
        void showItemPage(CPropBase& item) override { shownItem = &item; }
    };
    CAct area;
    area.AddFile("a.txt");
    area.AddFile("b.rtf");
    area.AddFile("c.jpg");
    for (int i = 0; i < 3; ++i) {
        RecordingHost host;
        area.item(i)->ShowProperties(host);
        EXPECT_EQ(host.shownItem, area.item(i));
    }
}
