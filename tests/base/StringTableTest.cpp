#include "base/StringTable.h"

#include <gtest/gtest.h>

TEST(StringList, SplitsOnLineBreaksAndDropsOnlyAnEmptyLastPiece)
{
    EXPECT_EQ(splitStringList(QStringLiteral("a\nb\nc")), QStringList({"a", "b", "c"}));
    EXPECT_EQ(splitStringList(QStringLiteral("a\nb\n")), QStringList({"a", "b"}));
    EXPECT_EQ(splitStringList(QStringLiteral("a\n\nb")), QStringList({"a", "", "b"}));
    EXPECT_EQ(splitStringList(QStringLiteral("a\r\nb")), QStringList({"a", "b"}));
    EXPECT_EQ(splitStringList(QStringLiteral("\n")), QStringList({""}));
    EXPECT_TRUE(splitStringList(QString()).isEmpty());
}

TEST(StringTable, ListsHaveTheSameLengthInBothTextSets)
{
    const struct
    {
        StringId id;
        qsizetype count;
    } lists[] = {{StringId::FitModes, 4},    {StringId::Effects, 51},
                 {StringId::TextStyles, 4},  {StringId::ClearEffects, 52},
                 {StringId::GifFitModes, 3}, {StringId::FrameStyles, 4}};
    for (const auto& list : lists) {
        SCOPED_TRACE(static_cast<int>(list.id));
        EXPECT_EQ(splitStringList(loadString(list.id, TextSet::English)).size(), list.count);
        EXPECT_EQ(splitStringList(loadString(list.id, TextSet::Chinese)).size(), list.count);
    }
}

TEST(StringTable, TextSetChoosesTheLanguage)
{
    const TextSet saved = textSet();
    setTextSet(TextSet::Chinese);
    EXPECT_EQ(loadString(StringId::AskSaveCurrent), QStringLiteral("保存当前文件吗？"));
    EXPECT_EQ(loadStringList(StringId::Effects).at(6), QStringLiteral("水平百叶"));
    setTextSet(TextSet::English);
    EXPECT_EQ(loadString(StringId::AskSaveCurrent), QStringLiteral("Save Current File?"));
    EXPECT_EQ(loadStringList(StringId::Effects).at(9),
              QStringLiteral("open from herizontal middle"));
    EXPECT_EQ(loadStringList(StringId::ClearEffects).at(47), QStringLiteral("radiation2(diamon)"));
    // "Magic" names every effect at its number: 31 is the cross-fade, 50 the last radiation.
    EXPECT_EQ(loadStringList(StringId::Effects).at(16), QStringLiteral("left top corner cover1"));
    EXPECT_EQ(loadStringList(StringId::Effects).at(31), QStringLiteral("gradual change"));
    EXPECT_EQ(loadStringList(StringId::Effects).at(50), QStringLiteral("radiation2(circle)"));
    setTextSet(TextSet::Chinese);
    EXPECT_EQ(loadStringList(StringId::Effects).at(31), QStringLiteral("渐变"));
    EXPECT_EQ(loadStringList(StringId::Effects).size(), 51);
    setTextSet(saved);
}

TEST(StringTable, EveryToolbarTooltipExistsInBothSets)
{
    for (int id = 122; id <= 150; ++id) {
        SCOPED_TRACE(id);
        EXPECT_FALSE(loadString(static_cast<StringId>(id), TextSet::English).isEmpty());
        EXPECT_FALSE(loadString(static_cast<StringId>(id), TextSet::Chinese).isEmpty());
    }
    EXPECT_TRUE(loadString(static_cast<StringId>(9999)).isEmpty());
}

TEST(StringTable, FrameworkAndRangeMessagesAreChineseInBothSets)
{
    for (StringId id :
         {StringId::RangeNum, StringId::ArchiveEndOfFile, StringId::InvalidFileName}) {
        EXPECT_EQ(loadString(id, TextSet::English), loadString(id, TextSet::Chinese));
    }
    EXPECT_EQ(loadString(StringId::RangeNum), QStringLiteral("输入1－－10之间的数值！"));
    EXPECT_EQ(loadString(StringId::ArchiveBadSchema).arg(QStringLiteral("a.zpm")),
              QStringLiteral("a.zpm 包含错误的架构。"));
}

TEST(StringTable, AddFileFilterNamesTheSamePatternsInBothSets)
{
    const QStringList en = loadString(StringId::AddFileFilter, TextSet::English).split('|');
    const QStringList zh = loadString(StringId::AddFileFilter, TextSet::Chinese).split('|');
    ASSERT_EQ(en.size(), zh.size());
    for (qsizetype i = 1; i < en.size(); i += 2)
        EXPECT_EQ(en[i], zh[i]);
    EXPECT_EQ(en[0], QStringLiteral("All Files"));
    EXPECT_EQ(zh[0], QStringLiteral("所有能播放文件"));
}
