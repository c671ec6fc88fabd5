// One test over every kind the table holds: what any kind must do, so that a new kind that
// misses one of them fails here rather than on a wall.
#include "model/CPropBase.h"
#include "model/ItemKinds.h"
#include "model/ProjectFile.h"
#include "support/PlayerFixture.h"
#include "support/TestVideos.h"

#include <QByteArray>

#include <thread>

#include <gtest/gtest.h>

namespace {

struct KindCase
{
    const char* className;
    // A file of tests/data it plays; null: a text written for it; "@video": a video made now.
    const char* sample;
};

const KindCase kCases[] = {
    {"CPropText", nullptr},
    {"CPropRtf", "rtf/abiword-zh-mixed.rtf"},
    {"CPropGif", "gif/dispose-previous.gif"},
    {"CPropImage", "images/exif-orientation-1.jpg"},
    {"CPropWord", nullptr},
    {"CPropVideo", "@video"},
};

class EveryKind : public PlayerFixture, public testing::WithParamInterface<KindCase>
{
protected:
    void SetUp() override { setUpArea(96, 32); }
    void TearDown() override { area.setPlayObserver(nullptr); }

    const ItemKindInfo& kind() const { return *ItemKinds::find(GetParam().className); }
};

} // namespace

TEST(EveryKindList, EveryRegisteredKindIsTestedHere)
{
    QList<QByteArray> tested;
    for (const KindCase& c : kCases)
        tested << c.className;
    for (const ItemKindInfo* kind : ItemKinds::all())
        EXPECT_TRUE(tested.contains(kind->className)) << kind->className.constData();
}

TEST_P(EveryKind, DefaultsSurviveTheWriterAndTheReader)
{
    std::unique_ptr<CPropBase> item = kind().factory();
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(QByteArray(item->className()), kind().className);
    area.appendItem(std::move(item));
    const QByteArray written = projectToBytes(area);
    CAct again;
    QString error;
    ASSERT_TRUE(projectFromBytes(again, written, QStringLiteral("kind.zpm"), &error))
        << error.toStdString();
    ASSERT_EQ(again.itemCount(), 1);
    EXPECT_EQ(QByteArray(again.item(0)->className()), kind().className);
    EXPECT_EQ(projectToBytes(again), written);
}

TEST_P(EveryKind, ItsPlayerPlaysAPageHeadless)
{
    if (!kind().player) {
        // A kind without a player plays nothing, and says nothing.
        std::unique_ptr<CPropBase> item = kind().factory();
        item->Play(area);
        EXPECT_TRUE(pages.empty());
        return;
    }
    const bool video = GetParam().sample && QByteArray(GetParam().sample) == "@video";
    if (video && !TestVideos::haveFfmpeg())
        GTEST_SKIP() << "no ffmpeg command to make a test video with";
    const QString path =
        video               ? TestVideos::make(dir.path(), QStringLiteral("clip.mp4"), {96, 32},
                                               QStringLiteral("25"), 0.4, TestVideos::stripePattern())
        : GetParam().sample ? QStringLiteral(TESSARIN_TEST_DATA "/") + GetParam().sample
                            : writeFile("notice.txt", "Notice\n");
    // The file makes this kind: its extensions and tests lead to it.
    ASSERT_NE(ItemKinds::forPath(path), nullptr);
    EXPECT_EQ(ItemKinds::forPath(path)->className, kind().className);
    std::unique_ptr<CPropBase> item = CAct::makeItemForFile(path);
    ASSERT_NE(item, nullptr);
    if (video) {
        // On a thread of its own, as the play thread plays it: its decoder thread meets it there.
        std::thread player([&] { item->Play(area); });
        player.join();
    } else {
        item->Play(area);
    }
    ASSERT_FALSE(pages.empty());
    // Something was drawn: the picture is not the area's background alone.
    const QImage& picture = shown.front();
    EXPECT_LT(countColour(picture, picture.pixel(0, 0)), picture.width() * picture.height());
}

INSTANTIATE_TEST_SUITE_P(Kinds, EveryKind, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<KindCase>& info) {
                             return std::string(info.param.className);
                         });
