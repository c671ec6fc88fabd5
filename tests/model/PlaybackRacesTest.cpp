// The GUI thread changing what the play thread reads, as the operator does while the wall plays:
// the settings dialog dividing the sections again, a page editing the item a preview plays,
// deleting the item that was current, opening another project. Run under ThreadSanitizer.
#include "model/CAct.h"
#include "model/CPropText.h"
#include "model/HeadlessSectionHost.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <shared_mutex>

using namespace std::chrono_literals;

namespace {

class PlaybackRacesTest : public testing::Test
{
protected:
    PlaybackRacesTest()
    {
        area.setSectionHost(&host);
        area.changeSettings([&](AreaSettings& s) {
            s.ledWidth = 64;
            s.ledHeight = 16;
        });
        area.AddSection(0, 32, 0);
        area.AddSection(1, 32, 0);
        area.LayoutSections();
        QFile file(dir.filePath(QStringLiteral("notice.txt")));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("Welcome\nto the wall\n");
        file.close();
        for (int i = 0; i < 3; ++i) {
            auto item = std::make_unique<CPropText>();
            item->filePath = file.fileName();
            item->holdTime = 0;
            item->speed = 0;
            item->effect = 2 + i;
            area.appendItem(std::move(item));
        }
    }

    ~PlaybackRacesTest() override { area.Stop(); }

    void play()
    {
        area.Stop();
        area.playFrom(0);
    }

    template <class Change>
    static void forAWhile(Change&& change)
    {
        const auto end = std::chrono::steady_clock::now() + 600ms;
        for (int i = 0; std::chrono::steady_clock::now() < end; ++i)
            change(i);
    }

    QTemporaryDir dir;
    HeadlessSectionHost host;
    CAct area;
};

} // namespace

TEST_F(PlaybackRacesTest, TheSettingsDialogDividesTheSectionsWhileTransitionsRun)
{
    play();
    forAWhile([&](int i) {
        // What the dialog does: the stored settings (the area takes them under the sections'
        // lock), then the layout.
        area.changeSettings([&](AreaSettings& s) {
            s.splitMode = i % 2;
            s.ledWidth = 48 + i % 32;
            s.frameLines = i % 3;
        });
        area.LayoutSections();
        if (i % 5 == 0) {
            area.ClearSections();
            for (int k = 0; k <= i % 3; ++k)
                area.AddSection(k, 16 + k, 0);
            area.LayoutSections();
        }
    });
    area.Stop();
    EXPECT_EQ(host.windowCount(), static_cast<int>(area.sections().size()));
}

TEST_F(PlaybackRacesTest, APageEditsTheItemAPreviewPlays)
{
    CPropBase* item = area.item(1);
    area.preview(item);
    forAWhile([&](int i) {
        // What a page does: the strings and numbers under the item's lock.
        std::lock_guard lock(item->fieldsMutex());
        auto& text = static_cast<CPropText&>(*item);
        text.fontName = i % 2 ? QStringLiteral("宋体") : QStringLiteral("DejaVu Sans");
        text.backImagePath = QStringLiteral("/nowhere/%1.bmp").arg(i);
        text.fontSize = 8 + i % 8;
        text.effect = i % 16;
    });
}

TEST_F(PlaybackRacesTest, PlayAfterTheCurrentItemWasDeleted)
{
    for (int round = 0; round < 20; ++round) {
        play();
        std::this_thread::sleep_for(2ms);
        area.Stop();
        const std::unique_ptr<CPropBase> gone = area.takeItem(0);
        EXPECT_NE(area.currentItem(), gone.get());
        area.Play(); // the current slot no longer reaches the deleted item
        std::this_thread::sleep_for(1ms);
        area.Stop();
        area.insertItem(0, gone->clone());
    }
}

TEST_F(PlaybackRacesTest, OpeningAProjectLeavesNoWindowOnAFreedSection)
{
    const QString path = dir.filePath(QStringLiteral("p.zpm"));
    ASSERT_TRUE(area.SaveProject(path));
    for (int round = 0; round < 5; ++round) {
        play();
        std::this_thread::sleep_for(5ms);
        ASSERT_TRUE(area.LoadProject(path));
        area.CreateSectionWindows();
        area.LayoutSections();
        // One window for each section there is, none left over from the sections that went.
        EXPECT_EQ(host.windowCount(), static_cast<int>(area.sections().size()));
        for (const auto& section : area.sections())
            EXPECT_NE(host.window(*section), nullptr);
    }
    // A failed open leaves no window either.
    QFile broken(dir.filePath(QStringLiteral("broken.zpm")));
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write("\x01\x02");
    broken.close();
    EXPECT_FALSE(area.LoadProject(broken.fileName()));
    EXPECT_EQ(host.windowCount(), 0);
}
