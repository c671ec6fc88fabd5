#include "ui/SectionWindow.h"
#include "ScriptedPrompts.h"
#include "model/CAct.h"
#include "model/HeadlessSectionHost.h"
#include "model/SectionRecord.h"
#include "support/TestSettings.h"
#include "ui/CDlgSeting.h"
#include "ui/widgets/CColorBtn.h"

#include <QApplication>
#include <QBackingStore>
#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>

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

namespace {

// The picture of the window as the screen gets it: its backing store.
QImage storeOf(SectionWindow& window)
{
    QPaintDevice* device = window.backingStore()->paintDevice();
    return device->devType() == QInternal::Image ? *static_cast<QImage*>(device) : QImage();
}

} // namespace

// A paced step reaches the window as a copy of the rows it changed, straight into the backing
// store at the child's place: the frame and the rows the step did not touch stay as they were.
TEST(SectionWindowTest, AStepCopiesTheRowsItChangedIntoTheBackingStore)
{
    SectionRecord section(0, 480, 0);
    section.frameColor = 0x0000FF; // red
    SectionWindow window(section, QStringLiteral("[Led0]"), nullptr);
    BackBuffer& child = *section.renderChild;
    child.setView(&window);
    child.setClientSize(QSize(480, 64));
    child.setHasWindow(true);
    window.place(QRect(0, 0, 488, 72), QRect(4, 4, 480, 64));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    {
        std::lock_guard lock(child.sectionMutex);
        child.GetBackBuffer()->fill(qRgb(0, 0, 0));
        child.Present();
    }
    QTest::qWait(50);
    QImage before = storeOf(window);
    ASSERT_FALSE(before.isNull());
    before.detach();
    ASSERT_EQ(before.pixel(100, 30), qRgb(0, 0, 0));
    ASSERT_EQ(before.pixel(1, 30), qRgb(255, 0, 0)) << "the frame";

    for (int step = 1; step <= 3; ++step) {
        const QRgb colour = qRgb(step * 40, 200, 0);
        {
            std::lock_guard lock(child.sectionMutex);
            QImage* buffer = child.GetBackBuffer();
            // The whole buffer changes, but the step tells only rows 10-19: only they go.
            buffer->fill(qRgb(0, 0, 255));
            for (int y = 10; y < 20; ++y) {
                auto* line = reinterpret_cast<QRgb*>(buffer->scanLine(y));
                std::fill(line, line + buffer->width(), colour);
            }
            child.Present(FrameStamp{step, 0, step}, QRect(0, 10, 480, 10));
        }
        QTRY_COMPARE(storeOf(window).pixel(100, 4 + 15), colour);
        const QImage after = storeOf(window);
        EXPECT_EQ(after.pixel(100, 4 + 9), qRgb(0, 0, 0)) << "a row the step did not tell";
        EXPECT_EQ(after.pixel(100, 4 + 20), qRgb(0, 0, 0));
        EXPECT_EQ(after.pixel(1, 4 + 15), qRgb(255, 0, 0)) << "the frame";
        EXPECT_EQ(after.pixel(4 + 479, 4 + 10), colour);
    }
    child.setView(nullptr);
}
