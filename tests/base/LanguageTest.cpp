#include "base/Language.h"

#include <QLocale>

#include <gtest/gtest.h>

namespace {

// Language::apply changes the process's default locale; every test puts it back.
class LanguageTest : public testing::Test
{
protected:
    void SetUp() override
    {
        m_locale = QLocale();
        m_set = textSet();
    }
    void TearDown() override
    {
        QLocale::setDefault(m_locale);
        setTextSet(m_set);
    }

private:
    QLocale m_locale;
    TextSet m_set = TextSet::English;
};

} // namespace

TEST_F(LanguageTest, TableMapsStoredValuesToLocales)
{
    EXPECT_EQ(Language::entryForValue(1)->localeId, 2052);
    EXPECT_EQ(Language::entryForValue(3)->localeId, 1033);
    EXPECT_EQ(Language::entryForValue(5)->localeId, 1041);
    EXPECT_EQ(Language::entryForValue(9)->localeId, 1054);
    EXPECT_FALSE(Language::entryForValue(0));
    EXPECT_FALSE(Language::entryForValue(10));
    EXPECT_FALSE(Language::entryForValue(-1));
}

TEST_F(LanguageTest, ChineseValueGivesChineseTextSet)
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_EQ(Language::apply(1), TextSet::Chinese);
    EXPECT_EQ(textSet(), TextSet::Chinese);
    EXPECT_EQ(QLocale().language(), QLocale::Chinese);
}

TEST_F(LanguageTest, EnglishValueOnChineseSystemGivesEnglish)
{
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
    EXPECT_EQ(Language::apply(3), TextSet::English);
    EXPECT_EQ(QLocale().language(), QLocale::English);
}

TEST_F(LanguageTest, JapaneseValueSetsJapaneseLocaleWithEnglishText)
{
    EXPECT_EQ(Language::apply(5), TextSet::English);
    EXPECT_EQ(QLocale().language(), QLocale::Japanese);
}

TEST_F(LanguageTest, ZeroAndUnknownValuesFollowTheSystem)
{
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
    EXPECT_EQ(Language::apply(0), TextSet::Chinese);
    EXPECT_EQ(Language::apply(42), TextSet::Chinese);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom));
    EXPECT_EQ(Language::apply(0), TextSet::English);
    EXPECT_EQ(QLocale().territory(), QLocale::UnitedKingdom);
    QLocale::setDefault(QLocale(QLocale::French, QLocale::France));
    EXPECT_EQ(Language::apply(0), TextSet::English);
}

TEST_F(LanguageTest, TraditionalChineseReadsTheChineseSet)
{
    EXPECT_EQ(Language::apply(2), TextSet::Chinese);
}
