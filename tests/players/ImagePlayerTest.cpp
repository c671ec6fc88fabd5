#include "players/ImagePlayer.h"
#include "base/Notifications.h"
#include "model/CAct.h"
#include "model/CPropImage.h"
#include "support/PlayerFixture.h"

#include <QTemporaryDir>

#include <set>

#include <gtest/gtest.h>

namespace {

class ImagePlayerTest : public PlayerFixture
{
protected:
    ImagePlayerTest()
    {
        setUpArea(200, 200);
        item.effect = 51; // no such effect: at once
        item.holdTime = 1;
        item.clearEffect = 1;        // non-clear
        item.backColor = 0x0000FF00; // green
        QImage red(100, 50, QImage::Format_RGB32);
        red.fill(Qt::red);
        red.save(dir.filePath("red.png"));
        item.filePath = dir.filePath("red.png");
    }

    void pictureShown(const CPropBase&, const QJsonObject& details) override
    {
        phases << details["phase"].toString();
        quint64 presents = 0;
        for (const auto& s : area.sections())
            presents += s->renderChild->presentCount();
        presentsAt.push_back(presents);
        if (onShown)
            onShown(details);
    }

    CMyText& overlay(int effect, int speed, QRect rect, const char* text = "{\\rtf1\\cf1 MMMM}")
    {
        auto block = std::make_unique<CMyText>();
        block->textEffect = effect;
        block->textSpeed = speed;
        block->rect = {rect.left(), rect.top(), rect.right() + 1, rect.bottom() + 1};
        block->content = QString::fromLatin1(text);
        item.texts.push_back(std::move(block));
        return *item.texts.back();
    }

    std::vector<long long> waitsAfterShown() const
    {
        std::vector<long long> w = clock.waitsMs();
        return std::vector<long long>(w.begin() + 1, w.end()); // past the 200 ms after the picture
    }

    CPropImage item;
    QStringList phases;
    std::vector<quint64> presentsAt;
    std::function<void(const QJsonObject&)> onShown;
};

} // namespace

TEST_F(ImagePlayerTest, PictureAndBackgroundAreFitted)
{
    item.fitMode = 1; // zoom: 200 x 100 at (0, 50)
    item.Play(area);
    QImage shown = section(0);
    EXPECT_EQ(shown.pixel(0, 49), qRgb(0, 255, 0));
    EXPECT_EQ(shown.pixel(0, 50), qRgb(255, 0, 0));
    EXPECT_EQ(shown.pixel(199, 149), qRgb(255, 0, 0));
    EXPECT_EQ(shown.pixel(100, 150), qRgb(0, 255, 0));
    EXPECT_EQ(phases, QStringList({"shown"}));

    QImage blue(30, 30, QImage::Format_RGB32);
    blue.fill(Qt::blue);
    blue.save(dir.filePath("blue.png"));
    item.backImagePath = dir.filePath("blue.png");
    item.backFitMode = 3; // tiled under a centred picture
    item.fitMode = 0;
    item.Play(area);
    shown = section(0);
    EXPECT_EQ(shown.pixel(5, 5), qRgb(0, 0, 255));
    EXPECT_EQ(shown.pixel(100, 100), qRgb(255, 0, 0));
    EXPECT_EQ(shown.pixel(100, 60), qRgb(0, 0, 255));
}

TEST_F(ImagePlayerTest, APictureThatIsNotThereOrNotWhatItsNameSaysIsToldNotDrawn)
{
    QStringList messages;
    Notifications::setSink([&](const QString& text) { messages << text; });
    const QImage before = section(0);
    // Missing, text named .png, a PNG named .jpg, a PNG that is cut off after its signature.
    const QString gone = dir.filePath("gone.png");
    item.filePath = gone;
    item.Play(area);
    item.filePath = writeFile("words.png", "just some words\n");
    item.Play(area);
    QFile::copy(dir.filePath("red.png"), dir.filePath("red.jpg"));
    item.filePath = dir.filePath("red.jpg");
    item.Play(area);
    item.filePath = writeFile("cut.png", QByteArray("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR", 16));
    item.Play(area);
    item.Play(area); // once each, not once a pass
    EXPECT_TRUE(pages.empty());
    EXPECT_EQ(section(0), before); // no blank page, no background in their place
    ASSERT_EQ(messages.size(), 4) << messages.join('|').toStdString();
    EXPECT_EQ(messages[0], Notifications::missingText(gone));
    EXPECT_TRUE(messages[1].contains("words.png is a text file, not a PNG picture"));
    EXPECT_TRUE(messages[2].contains("red.jpg is a PNG picture, not a JPEG picture"));
    EXPECT_TRUE(messages[3].contains("cut.png")) << messages[3].toStdString();
    // Back in place: it plays, and a later loss is told again.
    ASSERT_TRUE(QFile::copy(dir.filePath("red.png"), gone));
    item.filePath = gone;
    item.Play(area);
    EXPECT_EQ(section(0).pixel(100, 100), qRgb(255, 0, 0));
    QFile::remove(gone);
    item.Play(area);
    EXPECT_EQ(messages.size(), 5);
    Notifications::setSink({});
}

TEST_F(ImagePlayerTest, MovingOverlaysFollowTheirArithmetic)
{
    const QRect o(0, 200 - 100, 50, 100); // area 200 high: t = 100
    ImagePlayer::Motion m = ImagePlayer::motion(3, QRect(0, 200, 50, 100), QSize(400, 400), 5);
    EXPECT_EQ(m.distance, 200);
    EXPECT_EQ(m.step, 1);
    EXPECT_EQ(m.waitMs, 1);
    m = ImagePlayer::motion(3, QRect(0, 200, 50, 100), QSize(400, 400), 2);
    EXPECT_EQ(m.step, 2);
    EXPECT_EQ(m.waitMs, 1);
    m = ImagePlayer::motion(3, QRect(0, 200, 50, 100), QSize(400, 400), 10);
    EXPECT_EQ(m.step, 1);
    EXPECT_EQ(m.waitMs, 10);
    EXPECT_EQ(ImagePlayer::motion(4, o, QSize(200, 200), 5).distance, 200);
    EXPECT_EQ(ImagePlayer::motion(5, QRect(20, 0, 30, 10), QSize(200, 200), 5).distance, 50);
    EXPECT_EQ(ImagePlayer::motion(6, QRect(20, 0, 30, 10), QSize(200, 200), 5).distance, 180);

    area.changeSettings([&](AreaSettings& s) {
        s.ledHeight = 400;
        s.ledWidth = 400;
    });
    area.ClearSections();
    area.AddSection(0, 400, 0);
    area.LayoutSections();
    overlay(3, 2, QRect(0, 200, 50, 100));
    item.Play(area);
    std::vector<long long> waits = waitsAfterShown();
    ASSERT_EQ(waits.size(), 101u); // 100 frames, then the hold
    EXPECT_EQ(waits.front(), 1);
    EXPECT_EQ(waits.back(), 100);
    EXPECT_EQ(phases, QStringList({"shown", "overlay"}));
}

TEST_F(ImagePlayerTest, TypingWithoutWaitsAndTwoOverlaysInOnePlace)
{
    overlay(2, 0, QRect(10, 10, 120, 40),
            "{\\rtf1{\\colortbl;\\red255\\green255\\blue255;}\\cf1 abc}");
    overlay(1, 5, QRect(10, 10, 120, 40),
            "{\\rtf1{\\colortbl;\\red255\\green255\\blue255;}\\cf1     xyz}");
    item.Play(area);
    EXPECT_EQ(waitsAfterShown(), std::vector<long long>{100}); // no typing waits, then the hold
    const QImage shown = section(0);
    int leftWhite = 0, rightWhite = 0;
    for (int y = 10; y < 50; ++y)
        for (int x = 10; x < 130; ++x)
            (x < 40 ? leftWhite : rightWhite) += shown.pixel(x, y) == qRgb(255, 255, 255);
    EXPECT_GT(leftWhite, 5);  // "abc" from the first stays where the second is transparent
    EXPECT_GT(rightWhite, 5); // "xyz" of the second
}

TEST_F(ImagePlayerTest, AnOverlayAcrossAJoinEntersInEverySectionItCovers)
{
    for (int splitMode : {0, 1}) {
        SCOPED_TRACE(splitMode);
        area.ClearSections();
        area.changeSettings([&](AreaSettings& s) { s.splitMode = splitMode; });
        area.AddSection(0, 100, 0);
        area.AddSection(1, 100, 0);
        area.LayoutSections();
        item.texts.clear();
        // White text on black across the join at 100 (columns side by side, rows stacked).
        const QRect across = splitMode == 0 ? QRect(60, 10, 80, 40) : QRect(10, 80, 120, 40);
        overlay(5, 5, across,
                "{\\rtf1{\\colortbl;\\red255\\green255\\blue255;}\\cf1 WWWWWWWWWWWWWWWWWWWW}");
        item.clearEffect = 3; // engine effect 2, the left cover, in the background colour
        item.clearSpeed = 6;
        std::vector<QImage> afterOverlay;
        phases.clear();
        onShown = [&](const QJsonObject& details) {
            if (details["phase"].toString() == "overlay")
                afterOverlay = {section(0), section(1)};
        };
        item.Play(area);
        onShown = nullptr;
        ASSERT_EQ(phases, QStringList({"shown", "overlay", "cleared"}));
        ASSERT_EQ(afterOverlay.size(), 2u);
        // Both halves of the text arrived, each in its own section.
        EXPECT_GT(countColour(afterOverlay[0], qRgb(255, 255, 255)), 20);
        EXPECT_GT(countColour(afterOverlay[1], qRgb(255, 255, 255)), 20);
        // The clear still redraws every section.
        EXPECT_EQ(section(1).pixel(50, 50), qRgb(0, 255, 0));
    }
}

TEST(ImagePlayerClearing, ListEntriesBecomeTheEffectsTheyName)
{
    EXPECT_EQ(ImagePlayer::clearingEffect(1), std::nullopt); // non-clear
    EXPECT_EQ(ImagePlayer::clearingEffect(-3), std::nullopt);
    EXPECT_EQ(ImagePlayer::clearingEffect(2), 1); // fast clear
    const std::vector<std::pair<int, int>> table{
        {3, 2},   {6, 5},   // covers
        {7, 16},  {10, 19}, // corner cover1
        {11, 20}, {14, 23}, // corner cover2
        {15, 6},  {16, 7},  // waves
        {17, 8},  {20, 11}, // open and close
        {21, 12}, {24, 15}, // moves
        {25, 24}, {28, 27}, // corner moves
        {29, 28}, {32, 31}, // mosaics, gradual change
        {33, 32}, {38, 37}, // turns
        {39, 38}, {43, 42}, // growing big
        {44, 43}, {51, 50}, // radiation
        {52, 51},           // past the list: at once
    };
    for (const auto& [clear, engine] : table)
        EXPECT_EQ(ImagePlayer::clearingEffect(clear), engine) << clear;
    // Every entry 2..51 is a distinct effect.
    std::set<int> engines;
    for (int clear = 2; clear <= 51; ++clear)
        engines.insert(*ImagePlayer::clearingEffect(clear));
    EXPECT_EQ(engines.size(), 50u);
}

TEST_F(ImagePlayerTest, ClearEffectsAndHoldTimes)
{
    item.clearEffect = 2; // engine effect 1: 100 ms, then the background at once
    item.holdTime = 0;
    item.Play(area);
    EXPECT_EQ(phases, QStringList({"shown", "cleared"}));
    EXPECT_EQ(clock.waitsMs(), (std::vector<long long>{200, 100}));
    EXPECT_EQ(section(0).pixel(100, 100), qRgb(0, 255, 0));

    phases.clear();
    item.clearEffect = 1;
    item.Play(area);
    EXPECT_EQ(phases, QStringList({"shown"}));
    EXPECT_EQ(section(0).pixel(100, 100), qRgb(255, 0, 0)); // the picture stays
}

TEST_F(ImagePlayerTest, AStopLeavesEveryOverlayAtItsFirstFrame)
{
    overlay(3, 5, QRect(0, 100, 50, 50));
    overlay(2, 5, QRect(0, 0, 100, 50));
    item.clearEffect = 3;
    clock.onWait = [this] { area.stopSignal().setLocked(); };
    item.Play(area);
    clock.onWait = nullptr;
    area.stopSignal().reset();
    EXPECT_EQ(phases, QStringList({"shown", "overlay", "overlay"})); // no clear
    EXPECT_EQ(area.sections()[0]->renderChild->presentCount(), 1u + 1u + 1u);
}
