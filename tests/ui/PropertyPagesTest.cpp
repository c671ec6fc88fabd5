#include "ScriptedPrompts.h"
#include "base/RecentFileList.h"
#include "model/CAct.h"
#include "model/CPropGif.h"
#include "model/CPropImage.h"
#include "model/CPropText.h"
#include "model/CPropVideo.h"
#include "model/CPropWord.h"
#include "model/HeadlessSectionHost.h"
#include "model/ItemKinds.h"
#include "model/ItemSettings.h"
#include "model/Schedule.h"
#include "support/TestSettings.h"
#include "ui/CTessarinDlg.h"
#include "ui/pages/GifPage.h"
#include "ui/pages/PicturePage.h"
#include "ui/pages/TextPage.h"
#include "ui/pages/VideoPage.h"

#include <QCheckBox>
#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QListWidget>
#include <QTest>
#include <QToolButton>

#include "control/ProjectController.h"

#include <QListView>

#include <gtest/gtest.h>

namespace {

class PropertyPagesTest : public testing::Test
{
protected:
    PageContext context()
    {
        return PageContext{[this] { ++modifications; },
                           [this](CPropBase& item) {
                               area.Stop();
                               area.preview(&item);
                           },
                           &prompts};
    }

    template <class Page>
    std::unique_ptr<Page> page()
    {
        auto p = std::make_unique<Page>(context());
        p->create(nullptr);
        return p;
    }

    template <class W>
    static W* control(QWidget& page, int id)
    {
        return page.findChild<W*>(QString::number(id));
    }

    static void choose(QComboBox* combo, int index)
    {
        combo->setCurrentIndex(index);
        emit combo->activated(index);
    }

    static void type(QLineEdit* edit, const char* text)
    {
        edit->selectAll();
        QTest::keyClicks(edit, QString::fromUtf8(text));
    }

    // Pastes over an edit: one edit for the whole text, as far as the field takes it.
    static void paste(QLineEdit* edit, const char* text)
    {
        QGuiApplication::clipboard()->setText(QString::fromUtf8(text));
        edit->selectAll();
        edit->paste();
        emit edit->textEdited(edit->text());
    }

    int modifications = 0;
    CAct area;
    ScriptedPrompts prompts;
};

} // namespace

TEST_F(PropertyPagesTest, TextPageShowsTheItemAndStoresEveryChange)
{
    auto p = page<TextPage>();
    CPropText item;
    p->SetItem(item);
    EXPECT_EQ(modifications, 0); // showing changes nothing
    QComboBox* font = control<QComboBox>(*p, 1135);
    ASSERT_GE(font->currentIndex(), 0);
    EXPECT_TRUE(font->currentText().startsWith(QStringLiteral("宋体")));
    EXPECT_EQ(control<QComboBox>(*p, 641)->currentText(), "12");

    type(control<QComboBox>(*p, 641)->lineEdit(), "100");
    EXPECT_EQ(item.fontSize, 100);
    type(control<QLineEdit>(*p, 1067), "12a");
    EXPECT_EQ(item.speed, 12);
    EXPECT_EQ(control<QLineEdit>(*p, 1067)->text(), "12"); // the letter is not taken
    type(control<QLineEdit>(*p, 1114), "4");
    EXPECT_EQ(item.lineSpacing, 4);
    choose(control<QComboBox>(*p, 1104), 2);
    EXPECT_EQ(item.textStyle, 2);
    choose(control<QComboBox>(*p, 1101), 3); // "Tile"
    EXPECT_EQ(item.backFitMode, 3);
    control<QToolButton>(*p, 1137)->click();
    EXPECT_EQ(item.bold, 1);
    EXPECT_GT(modifications, 6);
}

TEST_F(PropertyPagesTest, NumberFieldsTakeDigitsInTheirRangeAndMarkTheRest)
{
    auto p = page<TextPage>();
    CPropText item;
    item.speed = 5;
    item.fontSize = 24;
    item.lineSpacing = 2;
    p->SetItem(item);
    auto* speed = control<QLineEdit>(*p, 1067);
    auto* hold = control<QLineEdit>(*p, 1019);
    auto* size = control<QComboBox>(*p, 641)->lineEdit();
    auto* spacing = control<QLineEdit>(*p, 1114);
    auto* pixels = control<QLineEdit>(*p, TextPage::kPixelsPerSecondId);
    for (QLineEdit* e : {speed, hold, size, spacing, pixels})
        EXPECT_FALSE(NumberField::isMarked(e));

    // Letters and signs are not typed at all.
    type(speed, "abc");
    EXPECT_EQ(speed->text(), "5");
    EXPECT_EQ(item.speed, 5);
    type(size, "xy");
    EXPECT_EQ(item.fontSize, 24);
    paste(spacing, "-5");
    EXPECT_FALSE(spacing->text().contains('-'));
    EXPECT_NE(item.lineSpacing, -5);
    EXPECT_GE(item.lineSpacing, 0);

    // Too large: the last good value stays and the field is marked until corrected.
    paste(speed, "150");
    EXPECT_EQ(item.speed, 5);
    EXPECT_TRUE(NumberField::isMarked(speed));
    EXPECT_TRUE(speed->toolTip().contains("100"));
    type(speed, "40");
    EXPECT_EQ(item.speed, 40);
    EXPECT_FALSE(NumberField::isMarked(speed));
    EXPECT_EQ(speed->toolTip(), dialogText("Smaller is faster", "数值越小越快")); // its own again
    paste(size, "999");
    EXPECT_EQ(item.fontSize, 24);
    EXPECT_TRUE(NumberField::isMarked(size));
    paste(size, "0");
    EXPECT_EQ(item.fontSize, 24);
    paste(size, "36");
    EXPECT_EQ(item.fontSize, 36);
    EXPECT_FALSE(NumberField::isMarked(size));
    paste(spacing, "500");
    EXPECT_TRUE(NumberField::isMarked(spacing));
    EXPECT_LE(item.lineSpacing, 100);
    paste(hold, "123456");
    EXPECT_LE(item.holdTime, 99999);

    // Empty: not stored, marked; the pixels a second may be left empty (the default).
    const int before = modifications;
    paste(speed, "");
    EXPECT_EQ(item.speed, 40);
    EXPECT_TRUE(NumberField::isMarked(speed));
    EXPECT_EQ(modifications, before);
    paste(pixels, "");
    EXPECT_FALSE(NumberField::isMarked(pixels));
    paste(pixels, "0");
    EXPECT_TRUE(NumberField::isMarked(pixels));

    // Showing an item again clears every mark.
    p->SetItem(item);
    for (QLineEdit* e : {speed, hold, size, spacing, pixels})
        EXPECT_FALSE(NumberField::isMarked(e));
    EXPECT_EQ(speed->text(), "40");
}

TEST_F(PropertyPagesTest, PicturePageClearSpeedStaysInItsRange)
{
    auto p = page<PicturePage>();
    CPropImage item;
    item.clearSpeed = 3;
    p->SetItem(item);
    auto* clear = control<QLineEdit>(*p, 1233);
    type(clear, "q");
    EXPECT_EQ(item.clearSpeed, 3);
    paste(clear, "101");
    EXPECT_EQ(item.clearSpeed, 3);
    EXPECT_TRUE(NumberField::isMarked(clear));
    paste(clear, "100");
    EXPECT_EQ(item.clearSpeed, 100);
    EXPECT_FALSE(NumberField::isMarked(clear));
}

TEST_F(PropertyPagesTest, TextPageScrollKeepsTheOtherSettings)
{
    auto p = page<TextPage>();
    CPropText item;
    item.reservedText = QStringLiteral(R"({"fields":true,"marquee":{"repeat":3}})");
    p->SetItem(item);
    auto* scroll = control<QComboBox>(*p, TextPage::kScrollId);
    auto* speed = control<QLineEdit>(*p, TextPage::kPixelsPerSecondId);
    ASSERT_NE(scroll, nullptr);
    ASSERT_NE(speed, nullptr);
    EXPECT_EQ(scroll->currentIndex(), 0); // none
    EXPECT_EQ(speed->text(), "60");
    choose(scroll, 1);
    type(speed, "120");
    const CPropText::Marquee m = item.marquee();
    EXPECT_EQ(m.direction, CPropText::Scroll::Left);
    EXPECT_EQ(m.pixelsPerSecond, 120);
    EXPECT_EQ(m.repeat, 3);         // kept
    EXPECT_TRUE(item.liveFields()); // kept
    EXPECT_GE(modifications, 2);
    choose(scroll, 0);
    EXPECT_EQ(item.marquee().direction, CPropText::Scroll::None);
}

TEST_F(PropertyPagesTest, EveryPageKeepsTheItemsScheduleBesideItsOtherSettings)
{
    auto p = page<PicturePage>();
    CPropImage item;
    item.reservedText = QStringLiteral(R"({"other":1})");
    p->SetItem(item);
    auto* from = p->findChild<QLineEdit*>("scheduleFrom");
    auto* start = p->findChild<QLineEdit*>("scheduleStart");
    auto* end = p->findChild<QLineEdit*>("scheduleEnd");
    auto* monday = p->findChild<QCheckBox*>("scheduleDay1");
    ASSERT_TRUE(from && start && end && monday);
    type(from, "2026-12-0"); // half typed: nothing yet
    EXPECT_TRUE(Schedule::of(item).isAlways());
    type(from, "2026-12-01");
    type(start, "22:00");
    type(end, "6:00");
    monday->click();
    const Schedule s = Schedule::of(item);
    EXPECT_EQ(s.from, QDate(2026, 12, 1));
    EXPECT_EQ(s.start, QTime(22, 0));
    EXPECT_EQ(s.end, QTime(6, 0));
    EXPECT_EQ(s.days, QList<int>{1});
    EXPECT_TRUE(item.reservedText.contains(QStringLiteral("\"other\":1")));
    // The text page has the same group, showing what the item holds.
    auto text = page<TextPage>();
    CPropText textItem;
    ItemSettings::write(textItem, "schedule", s.toJson());
    text->SetItem(textItem);
    EXPECT_EQ(text->findChild<QLineEdit*>("scheduleStart")->text(), "22:00");
    EXPECT_TRUE(text->findChild<QCheckBox*>("scheduleDay1")->isChecked());
}

TEST_F(PropertyPagesTest, ScheduleDatesAndTimesThatAreNoneAreMarkedAndNotKept)
{
    auto p = page<TextPage>();
    CPropText item;
    p->SetItem(item);
    auto* from = p->findChild<QLineEdit*>("scheduleFrom");
    auto* until = p->findChild<QLineEdit*>("scheduleUntil");
    auto* start = p->findChild<QLineEdit*>("scheduleStart");
    auto* end = p->findChild<QLineEdit*>("scheduleEnd");
    auto* fromMark = p->findChild<QLabel*>("scheduleFromMark");
    auto* untilMark = p->findChild<QLabel*>("scheduleUntilMark");
    auto* startMark = p->findChild<QLabel*>("scheduleStartMark");
    auto* endMark = p->findChild<QLabel*>("scheduleEndMark");
    ASSERT_TRUE(from && until && start && end && fromMark && untilMark && startMark && endMark);
    for (QLabel* mark : {fromMark, untilMark, startMark, endMark})
        EXPECT_TRUE(mark->isHidden());
    EXPECT_EQ(fromMark->text(), dialogText("not a date", "不是日期"));
    EXPECT_EQ(startMark->text(), dialogText("not a time", "不是时间"));

    type(from, "2026-13"); // half typed: not marked yet
    EXPECT_TRUE(fromMark->isHidden());
    type(from, "2026-13-45");
    EXPECT_FALSE(fromMark->isHidden());
    EXPECT_TRUE(Schedule::of(item).isAlways());
    type(start, "25:99");
    EXPECT_FALSE(startMark->isHidden());
    EXPECT_TRUE(Schedule::of(item).isAlways());

    // Corrected: the mark goes and the schedule is kept.
    type(from, "2026-12-24");
    EXPECT_TRUE(fromMark->isHidden());
    EXPECT_TRUE(Schedule::of(item).isAlways()); // the start is still none
    type(start, "9:30");
    EXPECT_TRUE(startMark->isHidden());
    Schedule s = Schedule::of(item);
    EXPECT_EQ(s.from, QDate(2026, 12, 24));
    EXPECT_EQ(s.start, QTime(9, 30));

    // Left half typed: marked when the field is left; the last good schedule stays.
    type(until, "2026-2");
    EXPECT_TRUE(untilMark->isHidden());
    emit until->editingFinished();
    EXPECT_FALSE(untilMark->isHidden());
    type(end, "24:00");
    EXPECT_FALSE(endMark->isHidden());
    s = Schedule::of(item);
    EXPECT_FALSE(s.until.isValid());
    EXPECT_FALSE(s.end.isValid());
    EXPECT_EQ(s.start, QTime(9, 30));

    // Emptied, or the item shown again: unmarked.
    until->selectAll();
    QTest::keyClick(until, Qt::Key_Backspace);
    EXPECT_TRUE(untilMark->isHidden());
    p->SetItem(item);
    EXPECT_TRUE(endMark->isHidden());
    EXPECT_TRUE(end->text().isEmpty());
}

TEST_F(PropertyPagesTest, HorizontalAlignmentsExcludeEachOtherAndVerticalCombines)
{
    auto p = page<TextPage>();
    CPropText item;
    p->SetItem(item);
    control<QToolButton>(*p, 1138)->click(); // left
    control<QToolButton>(*p, 591)->click();  // centre while left is down
    EXPECT_EQ(item.alignCenter, 1);
    EXPECT_EQ(item.alignLeft, 0);
    EXPECT_EQ(item.alignRight, 0);
    EXPECT_FALSE(control<QToolButton>(*p, 1138)->isChecked());
    control<QToolButton>(*p, 591)->click(); // centre again: none
    EXPECT_EQ(item.alignCenter + item.alignLeft + item.alignRight, 0);
    control<QToolButton>(*p, 592)->click();
    control<QToolButton>(*p, 594)->click(); // vertical with right
    EXPECT_EQ(item.alignRight, 1);
    EXPECT_EQ(item.alignVCenter, 1);
}

TEST_F(PropertyPagesTest, ImagePageListsAndClearing)
{
    auto p = page<PicturePage>();
    CPropImage item;
    item.clearEffect = 51;
    p->SetItem(item);
    EXPECT_EQ(control<QComboBox>(*p, 1184)->currentText(), QStringLiteral("radiation2(circle)"));
    choose(control<QComboBox>(*p, 1104), 3);
    EXPECT_EQ(item.fitMode, 3);
    type(control<QLineEdit>(*p, 1233), "7");
    EXPECT_EQ(item.clearSpeed, 7);
    choose(control<QComboBox>(*p, 1184), 2);
    EXPECT_EQ(item.clearEffect, 2);
    prompts.openPaths << QStringLiteral("/pictures/back.jpg");
    control<QToolButton>(*p, 1103)->click();
    EXPECT_EQ(item.backImagePath, "/pictures/back.jpg");
    EXPECT_EQ(control<QLineEdit>(*p, 1074)->text(), "/pictures/back.jpg");
    type(control<QLineEdit>(*p, 1074), "/x.bmp");
    EXPECT_EQ(item.backImagePath, "/x.bmp");
}

TEST_F(PropertyPagesTest, GifPageActsLikeTheImagePage)
{
    auto p = page<GifPage>();
    CPropGif item;
    p->SetItem(item);
    choose(control<QComboBox>(*p, 1080), 2);
    EXPECT_EQ(item.fitMode, 2);
    EXPECT_EQ(modifications, 1);
    EXPECT_EQ(control<QToolButton>(*p, 1092)->toolTip(), QStringLiteral("预览当前GIF"));
}

TEST_F(PropertyPagesTest, GifPagePlayTimeIsKeptBesideOtherSettings)
{
    auto p = page<GifPage>();
    CPropGif item;
    item.reservedText = QStringLiteral(R"({"schedule":{"days":[1,2]}})");
    p->SetItem(item);
    auto* playTime = control<QLineEdit>(*p, GifPage::kPlayTimeId);
    ASSERT_NE(playTime, nullptr);
    EXPECT_EQ(playTime->text(), "5"); // the default
    type(playTime, "12.5");
    EXPECT_EQ(item.playTimeMs(), 12500);
    EXPECT_TRUE(item.reservedText.contains(QStringLiteral("schedule"))); // kept
    EXPECT_EQ(modifications, 4);
    playTime->selectAll();
    QTest::keyClick(playTime, Qt::Key_Backspace); // emptied: the default again
    EXPECT_EQ(item.reservedText, QStringLiteral(R"({"schedule":{"days":[1,2]}})"));

    // Text that is not ours stays as it is, and the field says it cannot be set.
    CPropGif foreign;
    foreign.reservedText = QStringLiteral("kept by another program");
    p->SetItem(foreign);
    type(playTime, "3");
    EXPECT_EQ(foreign.reservedText, QStringLiteral("kept by another program"));
    EXPECT_FALSE(playTime->isEnabled());
}

TEST_F(PropertyPagesTest, VideoPageKeepsItsSettingsBesideOtherKeys)
{
    auto p = page<VideoPage>();
    CPropVideo item;
    item.reservedText = QStringLiteral(R"({"schedule":{"days":[1,2]}})");
    p->SetItem(item);
    auto* fit = control<QComboBox>(*p, VideoPage::kFitId);
    ASSERT_NE(fit, nullptr);
    EXPECT_EQ(fit->count(), 4);
    EXPECT_EQ(fit->currentIndex(), 1); // zoom, bars in the background
    choose(fit, 3);
    EXPECT_EQ(item.fitMode, 3);
    // The defaults: the video once to its end at full volume, from its start.
    auto* playTime = control<QLineEdit>(*p, VideoPage::kPlayTimeId);
    auto* loops = control<QLineEdit>(*p, VideoPage::kLoopsId);
    auto* volume = control<QLineEdit>(*p, VideoPage::kVolumeId);
    auto* start = control<QLineEdit>(*p, VideoPage::kStartId);
    ASSERT_TRUE(playTime && loops && volume && start);
    EXPECT_EQ(playTime->text(), "0");
    EXPECT_EQ(loops->text(), "1");
    EXPECT_EQ(volume->text(), "100");
    EXPECT_EQ(start->text(), "0");
    type(playTime, "12.5");
    type(loops, "3");
    type(volume, "40");
    type(start, "1.25");
    EXPECT_EQ(item.playTimeMs(), 12500);
    EXPECT_EQ(item.loops(), 3);
    EXPECT_EQ(item.volume(), 40);
    EXPECT_EQ(item.startUs(), 1250000);
    EXPECT_TRUE(item.reservedText.contains(QStringLiteral("schedule"))); // kept
    choose(control<QComboBox>(*p, 1015), 7);
    EXPECT_EQ(item.effect, 7);
    type(control<QLineEdit>(*p, 1067), "9");
    EXPECT_EQ(item.speed, 9);
    choose(control<QComboBox>(*p, 1184), 1);
    EXPECT_EQ(item.clearEffect, 1);
    // Emptied: the default again, the key gone.
    playTime->selectAll();
    QTest::keyClick(playTime, Qt::Key_Backspace);
    EXPECT_EQ(item.playTimeMs(), 0);
    EXPECT_FALSE(item.reservedText.contains(QStringLiteral("playSeconds")));

    // Text that is not ours stays as it is, and the fields say they cannot be set.
    CPropVideo foreign;
    foreign.reservedText = QStringLiteral("kept by another program");
    p->SetItem(foreign);
    type(volume, "3");
    EXPECT_EQ(foreign.reservedText, QStringLiteral("kept by another program"));
    EXPECT_FALSE(volume->isEnabled());
}

TEST_F(PropertyPagesTest, PreviewStopsAndPlaysTheItemOnceWithoutMarkingModified)
{
    HeadlessSectionHost host;
    area.setSectionHost(&host);
    area.AddSection(0, 480, 0);
    area.LayoutSections();
    area.appendItem(std::make_unique<CPropGif>());
    area.appendItem(std::make_unique<CPropImage>());
    area.playFrom(0);
    ASSERT_TRUE(area.isPlaying());
    auto p = page<PicturePage>();
    auto* image = static_cast<CPropImage*>(area.item(1));
    image->holdTime = 600;
    p->SetItem(*image);
    control<QToolButton>(*p, 1092)->click();
    EXPECT_EQ(area.currentItem(), image);
    EXPECT_TRUE(area.keepsCurrentOnce() || area.isPlaying());
    EXPECT_EQ(modifications, 0);
    area.Stop();
    area.ClearSections(); // before the host goes
}

TEST_F(PropertyPagesTest, TheControlWindowShowsEachKindsPageAndNoneForWord)
{
    TestSettings::clear();
    RecentFileList recent;
    CTessarinDlg w(recent, &prompts);
    w.controller()->appendItem(std::make_unique<CPropText>());
    w.controller()->appendItem(std::make_unique<CPropWord>());
    w.controller()->appendItem(std::make_unique<CPropImage>());
    EXPECT_EQ(w.fileList()->model()->rowCount(), 3);
    w.setCurrentRow(0);
    EXPECT_EQ(w.pageHost().shownIndex(), 1); // text page, second in the host
    w.setCurrentRow(1);
    EXPECT_EQ(w.pageHost().shownIndex(), -1); // Word: no page
    w.setCurrentRow(2);
    EXPECT_EQ(w.pageHost().shownIndex(), 2);
    w.SetModified(false);
    auto* page = w.pageHost().FindSubForm("CPropImage")->widget();
    type(page->findChild<QLineEdit*>("1067"), "9");
    EXPECT_TRUE(w.isModified());
    EXPECT_EQ(static_cast<CPropImage*>(w.area()->item(2))->speed, 9);
}

TEST_F(PropertyPagesTest, EveryKindThatPlaysHasAPageThatOpensOnItsItem)
{
    TestSettings::clear();
    RecentFileList recent;
    CTessarinDlg w(recent, &prompts);
    for (const ItemKindInfo* kind : ItemKinds::all()) {
        SCOPED_TRACE(kind->className.constData());
        const int row = w.controller()->appendItem(kind->factory());
        w.setCurrentRow(row);
        PropertyPage* page = w.pageHost().FindSubForm(kind->className);
        if (!kind->player) {
            EXPECT_EQ(page, nullptr); // nothing to edit in what plays nothing
            EXPECT_EQ(w.pageHost().shownIndex(), -1);
            continue;
        }
        ASSERT_NE(page, nullptr);
        ASSERT_NE(page->widget(), nullptr);
        EXPECT_TRUE(page->widget()->isVisibleTo(&w));
    }
}
