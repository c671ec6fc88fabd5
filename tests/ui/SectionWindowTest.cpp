#include "ui/SectionWindow.h"
#include "ScriptedPrompts.h"
#include "model/CAct.h"
#include "model/HeadlessSectionHost.h"
#include "model/SectionRecord.h"
#include "support/TestSettings.h"
#include "ui/CDlgSeting.h"
#include "ui/widgets/CColorBtn.h"

#include <QApplication>
#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

// Typing "64" in LED Height places the windows at 6 then 64 pixels: the windows must end at the
// last geometry asked for, whatever the pace of the typing, never at an earlier one.
TEST(SectionWindowTest, TheLastPlacementWinsAtAnyPace)
{
    SectionRecord section(0, 480, 0);
    SectionWindow window(section, QStringLiteral("[Led0]"), nullptr);
    for (const int pauseMs : {0, 100, 300}) {
        window.place(QRect(0, 0, 480, 6), QRect(0, 0, 480, 6));
        QTest::qWait(pauseMs);
        window.place(QRect(0, 0, 480, 64), QRect(0, 0, 480, 64));
        QTest::qWait(400); // past every placement check
        EXPECT_EQ(window.geometry(), QRect(0, 0, 480, 64)) << "typed with pauses of " << pauseMs;
        window.place(QRect(0, 0, 480, 360), QRect(0, 0, 480, 360));
        QTest::qWait(400);
    }
}

// Enter in a number field of the settings dialog applies the number; it opens no palette.
TEST(SectionWindowTest, EnterInASettingsFieldOpensNoPalette)
{
    TestSettings::clear();
    HeadlessSectionHost host;
    CAct area;
    area.setSectionHost(&host);
    area.AddSection(0, 480, 0);
    area.LayoutSections();
    ScriptedPrompts prompts;
    CDlgSeting dialog(area, prompts);
    dialog.show();
    for (CColorBtn* button : dialog.findChildren<CColorBtn*>()) {
        EXPECT_FALSE(button->isDefault());
        EXPECT_FALSE(button->autoDefault());
    }
    auto* height = dialog.findChild<QLineEdit*>(QStringLiteral("1086"));
    ASSERT_NE(height, nullptr);
    height->setFocus();
    QTest::keyClick(height, Qt::Key_Return);
    QApplication::processEvents();
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
    dialog.hide();
}
