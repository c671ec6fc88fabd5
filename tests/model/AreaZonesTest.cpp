#include "model/AreaZones.h"
#include "model/CAct.h"
#include "model/CPropImage.h"
#include "model/CPropText.h"
#include "model/CPropVideo.h"
#include "model/ItemSettings.h"
#include "model/ProjectFile.h"
#include "model/ProjectJson.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>

#include <climits>

#include <gtest/gtest.h>

namespace {

// An area of 1920 x 128 in one section with four items.
void makeArea(CAct& area)
{
    area.changeSettings([](AreaSettings& s) {
        s.ledWidth = 1920;
        s.ledHeight = 128;
    });
    area.adoptSection(std::make_unique<SectionRecord>(0, 1920, 0));
    const auto add = [&area](std::unique_ptr<CPropBase> item, const char* file) {
        item->filePath = QString::fromLatin1(file);
        area.appendItem(std::move(item));
    };
    add(std::make_unique<CPropImage>(), "a.png");
    add(std::make_unique<CPropText>(), "ticker.txt");
    add(std::make_unique<CPropVideo>(), "b.mp4");
    add(std::make_unique<CPropText>(), "clock.txt");
}

std::vector<AreaZone> tickerZones()
{
    return {AreaZone{QStringLiteral("main"), QRect(0, 0, 1920, 96)},
            AreaZone{QStringLiteral("ticker"), QRect(0, 96, 1920, 32)}};
}

QByteArray bytesWithoutZones(CAct& area)
{
    const std::vector<AreaZone> kept = area.zones();
    area.setZones(AreaZones::whole(QSize(1920, 128)));
    QByteArray bytes = projectToBytes(area);
    area.setZones(kept);
    return bytes;
}

} // namespace

TEST(AreaZones, OverlapsAndRectanglesBeyondTheLedAreRefusedWithTheirNames)
{
    const QSize led(1920, 128);
    EXPECT_TRUE(AreaZones::check(tickerZones(), led).isEmpty());
    std::vector<AreaZone> zones = tickerZones();
    zones[1].rect.moveTop(95);
    EXPECT_EQ(AreaZones::check(zones, led), "Zones may not overlap: main and ticker do.");
    zones[1].rect = QRect(0, 100, 1920, 32);
    EXPECT_TRUE(AreaZones::check(zones, led).contains("does not lie inside the LED of 1920 x 128"));
    zones[1].rect = QRect(5, 100, 0, 10);
    EXPECT_FALSE(AreaZones::check(zones, led).isEmpty()) << "an empty zone";
    EXPECT_FALSE(AreaZones::check({}, led).isEmpty());
    std::vector<AreaZone> many;
    for (int i = 0; i <= AreaZones::kMostZones; ++i)
        many.push_back(AreaZone{QString(), QRect(i * 10, 0, 10, 10)});
    EXPECT_FALSE(AreaZones::check(many, led).isEmpty());
    many.pop_back();
    EXPECT_TRUE(AreaZones::check(many, led).isEmpty()) << "touching is no overlap";
    // Numbers from a damaged file: refused, no arithmetic overflows.
    EXPECT_FALSE(AreaZones::check(tickerZones(), QSize(INT_MAX, 128)).isEmpty());
    EXPECT_FALSE(AreaZones::check(
                     {AreaZone{QString(), QRect(QPoint(INT_MAX - 5, 0), QPoint(INT_MAX, 9))}}, led)
                     .isEmpty());
    EXPECT_FALSE(AreaZones::isWhole(tickerZones(), QSize(INT_MAX, INT_MAX)));
}

TEST(AreaZones, EveryTemplateFitsWallsOfEveryShape)
{
    using T = AreaZones::Template;
    for (const QSize led :
         {QSize(1920, 1080), QSize(1920, 128), QSize(128, 1920), QSize(2, 2), QSize(641, 97)}) {
        for (const T layout : {T::Full, T::TickerBelow, T::ClockCorner, T::TwoHalves}) {
            SCOPED_TRACE(testing::Message()
                         << led.width() << "x" << led.height() << " " << int(layout));
            const std::vector<AreaZone> zones = AreaZones::fromTemplate(layout, led);
            EXPECT_TRUE(AreaZones::check(zones, led).isEmpty())
                << AreaZones::check(zones, led).toStdString();
        }
    }
    const auto ticker = AreaZones::fromTemplate(T::TickerBelow, QSize(1920, 128));
    ASSERT_EQ(ticker.size(), 2u);
    EXPECT_EQ(ticker[1].rect, QRect(0, 96, 1920, 32));
    EXPECT_EQ(AreaZones::fromTemplate(T::TwoHalves, QSize(128, 1920))[1].rect,
              QRect(0, 960, 128, 960));
    EXPECT_TRUE(AreaZones::isWhole(AreaZones::fromTemplate(T::Full, QSize(7, 5)), QSize(7, 5)));
}

TEST(AreaZones, AProjectOfOneZoneKeepsItsBytes)
{
    CAct area;
    makeArea(area);
    const QByteArray before = projectToBytes(area);
    ASSERT_TRUE(area.setZones(AreaZones::fromTemplate(AreaZones::Template::Full, {1920, 128})));
    EXPECT_TRUE(area.zones().empty());
    EXPECT_EQ(projectToBytes(area), before);
    const QJsonObject json = projectToJson(area);
    EXPECT_FALSE(json.contains("zones"));
    EXPECT_FALSE(json["items"].toArray()[0].toObject().contains("zone"));
}

TEST(AreaZones, ZonesGoWithTheFirstItemAndAnOlderReaderSeesOnePlaylist)
{
    QTemporaryDir dir;
    CAct area;
    makeArea(area);
    ItemSettings::write(*area.item(0), "playSeconds", 7); // a setting of its own, kept
    ASSERT_TRUE(area.setZones(tickerZones()));
    ItemSettings::write(*area.item(1), AreaZones::kZoneKey, 1);
    ItemSettings::write(*area.item(3), AreaZones::kZoneKey, 1);
    const QString path = dir.filePath("zones.zpm");
    QString error;
    ASSERT_TRUE(area.SaveProject(path, &error)) << error.toStdString();
    EXPECT_FALSE(ItemSettings::read(*area.item(0)).contains("zones")) << "saving changes no item";

    // Read back: the same zones, each item in its zone, and the first item without the zones.
    CAct loaded;
    ASSERT_TRUE(loaded.LoadProject(path, &error)) << error.toStdString();
    EXPECT_EQ(loaded.zones(), tickerZones());
    ASSERT_EQ(loaded.itemCount(), 4);
    const int zonesOf[] = {0, 1, 0, 1};
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(AreaZones::zoneOf(*loaded.item(i), 2), zonesOf[i]) << i;
    EXPECT_EQ(ItemSettings::read(*loaded.item(0)), (QJsonObject{{"playSeconds", 7}}));
    EXPECT_EQ(projectToBytes(loaded), projectToBytes(area));

    // A reader that knows no zones: every item, in order, the first one's settings an object
    // whose other keys are there.
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    CAct older;
    ASSERT_TRUE(projectFromBytes(older, file.readAll(), path, &error, false));
    EXPECT_TRUE(older.zones().empty());
    ASSERT_EQ(older.itemCount(), 4);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(older.item(i)->filePath, area.item(i)->filePath);
    const QJsonObject firstSettings = ItemSettings::read(*older.item(0));
    EXPECT_EQ(firstSettings["playSeconds"].toInt(), 7);
    EXPECT_EQ(firstSettings["zones"].toArray(), AreaZones::toJson(tickerZones()));

    // The first item moved down: the zones are written with the new first one.
    ASSERT_TRUE(loaded.moveItem(0, 3));
    ASSERT_TRUE(loaded.SaveProject(path, &error));
    CAct again;
    ASSERT_TRUE(again.LoadProject(path, &error));
    EXPECT_EQ(again.zones(), tickerZones());
    EXPECT_EQ(again.item(3)->filePath, "a.png");
    EXPECT_EQ(ItemSettings::read(*again.item(3)), (QJsonObject{{"playSeconds", 7}}));
    EXPECT_NE(bytesWithoutZones(again), projectToBytes(again));
}

TEST(AreaZones, ZonesThatCannotBeKeptRefuseTheSaveAndWriteNothing)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("p.zpm");
    CAct empty;
    empty.changeSettings([](AreaSettings& s) {
        s.ledWidth = 1920;
        s.ledHeight = 128;
    });
    ASSERT_TRUE(empty.setZones(tickerZones()));
    QString error;
    EXPECT_FALSE(empty.SaveProject(path, &error));
    EXPECT_TRUE(error.contains("add an item")) << error.toStdString();
    EXPECT_FALSE(QFile::exists(path));

    CAct area;
    makeArea(area);
    ASSERT_TRUE(area.setZones(tickerZones()));
    area.item(0)->reservedText = QStringLiteral("someone else's words");
    EXPECT_FALSE(area.SaveProject(path, &error));
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_EQ(area.item(0)->reservedText, "someone else's words");
}

TEST(AreaZones, StoredZonesThatDoNotFitTheLedAreNotUsedAndStayWhereTheyAre)
{
    CAct area;
    makeArea(area);
    ItemSettings::write(*area.item(0), AreaZones::kZonesKey,
                        QJsonArray{QJsonObject{{"rect", QJsonArray{0, 0, 1920, 100}}},
                                   QJsonObject{{"rect", QJsonArray{0, 90, 1920, 38}}}});
    const QByteArray bytes = projectToBytes(area);
    CAct loaded;
    QString error;
    ASSERT_TRUE(projectFromBytes(loaded, bytes, "p.zpm", &error));
    EXPECT_TRUE(loaded.zones().empty());
    EXPECT_EQ(projectToBytes(loaded), bytes) << "nothing lost";
}

TEST(AreaZones, TheToolsJsonNamesZonesAndEachItemsZone)
{
    const char* json = R"({"area": {"ledWidth": 1920, "ledHeight": 128},
        "zones": [{"name": "main", "rect": [0, 0, 1920, 96]},
                  {"name": "ticker", "rect": [0, 96, 1920, 32]}],
        "items": [{"class": "CPropImage", "filePath": "a.png"},
                  {"class": "CPropText", "filePath": "t.txt", "zone": 1},
                  {"class": "CPropText", "filePath": "u.txt", "zone": 0}],
        "sections": [{"sectionLength": 1920}]})";
    CAct area;
    QString error;
    ASSERT_TRUE(projectFromJson(QJsonDocument::fromJson(json).object(), area, &error))
        << error.toStdString();
    EXPECT_EQ(area.zones(), tickerZones());
    EXPECT_EQ(AreaZones::zoneOf(*area.item(1), 2), 1);
    EXPECT_TRUE(area.item(2)->reservedText.isEmpty()) << "zone 0 is said by saying nothing";

    const QJsonObject dumped = projectToJson(area);
    EXPECT_EQ(dumped["zones"].toArray(), AreaZones::toJson(tickerZones()));
    EXPECT_EQ(dumped["items"].toArray()[1].toObject()["zone"].toInt(), 1);
    EXPECT_EQ(dumped["items"].toArray()[2].toObject()["zone"].toInt(), 0);
    CAct made;
    ASSERT_TRUE(projectFromJson(dumped, made, &error)) << error.toStdString();
    EXPECT_EQ(projectToBytes(made), projectToBytes(area));

    for (const char* bad : {
             R"({"zones": [{"rect": [0, 0, 10, 10]}, {"rect": [5, 5, 10, 10]}]})",
             R"({"zones": [{"rect": [0, 0, 10]}]})",
             R"({"zones": [{"rect": [0, 0, 10, 10.5]}]})",
             R"({"zones": {"rect": [0, 0, 10, 10]}})",
             R"({"zones": [{"rect": [0, 0, 10, 10]}, {"rect": [10, 0, 10, 10]}],
                 "items": [{"class": "CPropText", "zone": 2}]})",
             R"({"items": [{"class": "CPropText", "zone": -1}]})",
         }) {
        CAct refused;
        EXPECT_FALSE(projectFromJson(QJsonDocument::fromJson(bad).object(), refused, &error))
            << bad;
        EXPECT_FALSE(error.isEmpty());
    }
}

TEST(AreaZones, AnItemsZoneThatNamesNoZoneIsTheFirst)
{
    CPropText item;
    const auto zoneOf = [&item](const char* reserved) {
        item.reservedText = QString::fromLatin1(reserved);
        return AreaZones::zoneOf(item, 3);
    };
    EXPECT_EQ(zoneOf(R"({"zone": 2})"), 2);
    EXPECT_EQ(zoneOf(R"({"zone": 1.5})"), 1);
    EXPECT_EQ(zoneOf(R"({"zone": 3})"), 0);
    EXPECT_EQ(zoneOf(R"({"zone": -1})"), 0);
    EXPECT_EQ(zoneOf(R"({"zone": 1e300})"), 0); // beyond any int
    EXPECT_EQ(zoneOf(R"({"zone": -1e300})"), 0);
    EXPECT_EQ(zoneOf(R"({"zone": "2"})"), 0);
    EXPECT_EQ(zoneOf(R"({"zone": 2)"), 0); // broken JSON
}
