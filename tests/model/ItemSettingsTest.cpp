#include "model/ItemSettings.h"
#include "model/CAct.h"
#include "model/CPropGif.h"
#include "model/CPropText.h"
#include "model/ProjectFile.h"

#include <QJsonArray>

#include <gtest/gtest.h>

TEST(ItemSettings, OneKeyIsWrittenAndEveryOtherKept)
{
    CPropText item;
    EXPECT_TRUE(ItemSettings::read(item).isEmpty());
    EXPECT_EQ(ItemSettings::number(item, "playSeconds", 5), 5);

    item.reservedText = QStringLiteral(R"({"future":{"a":[1,2,3]},"note":"欢迎"})");
    ASSERT_TRUE(ItemSettings::write(item, "playSeconds", 7.5));
    const QJsonObject settings = ItemSettings::read(item);
    EXPECT_EQ(settings.value("playSeconds").toDouble(), 7.5);
    EXPECT_EQ(settings.value("future").toObject().value("a").toArray().size(), 3);
    EXPECT_EQ(settings.value("note").toString(), QStringLiteral("欢迎"));
    EXPECT_EQ(ItemSettings::number(item, "note", 1), 1); // not a number

    // Removing the last key leaves no text at all: an item without settings.
    CPropText plain;
    ASSERT_TRUE(ItemSettings::write(plain, "playSeconds", 3));
    ASSERT_TRUE(ItemSettings::write(plain, "playSeconds", QJsonValue()));
    EXPECT_TRUE(plain.reservedText.isEmpty());
}

TEST(ItemSettings, TextThatIsNotAnObjectIsNeverOverwritten)
{
    for (const char* text : {"written by someone else", "[1, 2]", "{\"broken\": ", "42"}) {
        CPropText item;
        item.reservedText = QString::fromUtf8(text);
        EXPECT_TRUE(ItemSettings::read(item).isEmpty()) << text;
        EXPECT_FALSE(ItemSettings::write(item, "playSeconds", 1)) << text;
        EXPECT_EQ(item.reservedText, QString::fromUtf8(text));
    }
}

TEST(ItemSettings, SettingsLiveThroughTheProjectFile)
{
    CAct area;
    auto gif = std::make_unique<CPropGif>();
    gif->filePath = QStringLiteral("/media/动画.gif");
    gif->reservedText = QStringLiteral(R"({"unknown":true})");
    ASSERT_TRUE(ItemSettings::write(*gif, "playSeconds", 9));
    area.appendItem(std::move(gif));

    CAct loaded;
    QString error;
    ASSERT_TRUE(projectFromBytes(loaded, projectToBytes(area), QStringLiteral("p.zpm"), &error));
    ASSERT_EQ(loaded.itemCount(), 1);
    const auto& item = static_cast<const CPropGif&>(*loaded.item(0));
    EXPECT_EQ(item.playTimeMs(), 9000);
    EXPECT_TRUE(ItemSettings::read(item).value("unknown").toBool());
}

TEST(ItemSettings, PlayTimeIsBoundedAndDefaultsToFiveSeconds)
{
    CPropGif item;
    EXPECT_EQ(item.playTimeMs(), 5000);
    for (const auto& [seconds, ms] :
         {std::pair(-3.0, 0), std::pair(0.25, 250), std::pair(1e12, 24 * 60 * 60 * 1000)}) {
        ItemSettings::write(item, "playSeconds", seconds);
        EXPECT_EQ(item.playTimeMs(), ms) << seconds;
    }
}
