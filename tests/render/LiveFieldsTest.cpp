#include "render/text/LiveFields.h"

#include <gtest/gtest.h>

namespace {

const QLocale kEnglish(QLocale::English, QLocale::UnitedStates);
const QLocale kChinese(QLocale::Chinese, QLocale::China);
const QDateTime kNow(QDate(2026, 12, 8), QTime(9, 5, 7)); // a Tuesday

QString expand(const char* text, const QLocale& locale = kEnglish)
{
    return LiveFields::expand(QString::fromUtf8(text), kNow, locale);
}

} // namespace

TEST(LiveFields, TimeDateAndWeekdayInTheInterfacesLanguage)
{
    EXPECT_EQ(expand("{time}"), "09:05:07");
    EXPECT_EQ(expand("{date}"), "2026-12-08");
    EXPECT_EQ(expand("{time:h:mm AP}"), "9:05 AM");
    EXPECT_EQ(expand("{date:dddd d MMMM yyyy}"), "Tuesday 8 December 2026");
    EXPECT_EQ(expand("{weekday}"), "Tuesday");
    EXPECT_EQ(expand("{weekday}", kChinese), QStringLiteral("星期二"));
    EXPECT_EQ(expand("今天 {date:M月d日} {weekday}", kChinese),
              QStringLiteral("今天 12月8日 星期二"));
}

TEST(LiveFields, CountdownShowsWhatIsLeftAndNothingBelowZero)
{
    EXPECT_EQ(expand("{countdown:2026-12-09T10:06:08}"), "1 01:01:01");
    EXPECT_EQ(expand("{countdown:2026-12-09T10:06:08|hh:mm:ss}"), "25:01:01"); // days in hours
    EXPECT_EQ(expand("{countdown:2026-12-08T09:06:07|ss s}"), "60 60");        // only seconds
    EXPECT_EQ(expand("{countdown:2027-01-01T00:00|d 'days' hh'h'}"), "23 days 14h");
    EXPECT_EQ(expand("{countdown:2026-12-08T09:06:07|''m''}"), "'1'");
    EXPECT_EQ(expand("{countdown:2026-12-01T00:00|d hh:mm:ss}"), "0 00:00:00"); // past
    EXPECT_EQ(expand("{countdown:not a date}"), "{countdown:not a date}");
}

TEST(LiveFields, BracesAndWhatIsNotAField)
{
    EXPECT_EQ(expand("{{time}}"), "{time}");
    EXPECT_EQ(expand("a {{ b }} c"), "a { b } c");
    EXPECT_EQ(expand("{unknown} {time"), "{unknown} {time");
    EXPECT_EQ(expand("{weekday:x}"), "{weekday:x}");
    EXPECT_EQ(expand("}{"), "}{");
    EXPECT_EQ(expand(""), "");
    EXPECT_TRUE(LiveFields::hasFields(QStringLiteral("at {time}")));
    EXPECT_FALSE(LiveFields::hasFields(QStringLiteral("plain text")));
}
