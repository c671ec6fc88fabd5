#include "model/PlayerRegistry.h"
#include "model/CAct.h"
#include "model/CPropWord.h"

#include <gtest/gtest.h>

namespace {

struct Played
{
    const CPropBase* item = nullptr;
    const CAct* area = nullptr;
    QString filePath;
    int speed = 0;
};
Played played;

void recordingPlayer(const CPropBase& item, CAct& area)
{
    played.item = &item;
    played.area = &area;
    played.filePath = item.filePath;
    played.speed = static_cast<const CPropWord&>(item).speed;
}

// Puts a kind's player back as the test found it.
class PlayerRegistryTest : public ::testing::Test
{
protected:
    ~PlayerRegistryTest() override { PlayerRegistry::add(ItemKind::Word, m_saved); }

    const ItemPlayer m_saved = PlayerRegistry::find(ItemKind::Word);
};

} // namespace

TEST_F(PlayerRegistryTest, PlayHandsTheKindsPlayerACopyTakenUnderTheItemsLock)
{
    PlayerRegistry::add(ItemKind::Word, &recordingPlayer);
    CAct area(CAct::Binding::Detached);
    CPropWord item;
    item.filePath = QStringLiteral("/media/notice.doc");
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
}

TEST_F(PlayerRegistryTest, AKindWithoutAPlayerPlaysNothing)
{
    PlayerRegistry::add(ItemKind::Word, nullptr);
    CAct area(CAct::Binding::Detached);
    CPropWord item;
    played = {};
    item.Play(area);
    EXPECT_EQ(played.item, nullptr);
    EXPECT_EQ(item.area.load(), &area);
}

TEST(PlayerRegistry, TheStandardPlayersAreRegisteredAtStart)
{
    for (ItemKind kind : {ItemKind::Text, ItemKind::Rtf, ItemKind::Image})
        EXPECT_NE(PlayerRegistry::find(kind), nullptr) << static_cast<int>(kind);
    // An out-of-range kind is no index into the table.
    EXPECT_EQ(PlayerRegistry::find(static_cast<ItemKind>(99)), nullptr);
    PlayerRegistry::add(static_cast<ItemKind>(-1), &recordingPlayer);
}
