// Zones of one LED: each zone's items draw into its rectangle exactly as they draw a whole LED
// of the zone's size, across the section joins, beside the other zones.
#include "model/AreaZones.h"
#include "model/CAct.h"
#include "model/CPropText.h"
#include "model/ItemSettings.h"
#include "support/PlayerFixture.h"

#include <QJsonObject>

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <set>

namespace {

constexpr QRgb kAreaBack = qRgb(0x20, 0x30, 0x40);

struct ZoneCase
{
    QRect rect;
    const char* text;
    int effect;         // 2.. (cover and the rest); a marquee when `scroll` is set
    const char* scroll; // nullptr: pages
};

class ZonesTest : public testing::Test, public PlayObserver
{
protected:
    std::unique_ptr<CPropText> makeItem(const ZoneCase& c, int zone)
    {
        auto item = std::make_unique<CPropText>();
        const QString path = dir.filePath(QStringLiteral("zone%1.txt").arg(zone));
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(c.text);
        item->filePath = path;
        item->effect = c.effect;
        item->clearEffect = 1; // stays: at any moment after its entry a zone shows its page
        item->speed = 8;
        item->fontSize = 9;
        item->backColor = 0x00000080 + zone * 0x200000; // a red of its own
        item->textColor = 0x0000FFFF;
        if (c.scroll)
            ItemSettings::write(*item, "marquee",
                                QJsonObject{{"direction", c.scroll}, {"pixelsPerSecond", 150}});
        if (zone > 0)
            ItemSettings::write(*item, AreaZones::kZoneKey, zone);
        return item;
    }

    // The item alone on an LED of the zone's size: the picture at each of its waits.
    std::vector<QImage> alone(CPropText& item, QSize size)
    {
        HeadlessSectionHost singleHost;
        VirtualClock singleClock;
        CAct single;
        setUpSections(single, singleHost, singleClock, nullptr, 0, size.width(), size.height(),
                      {size.width()});
        std::vector<QImage> frames;
        singleClock.onWait = [&] { frames.push_back(joinedSections(single)); };
        item.Play(single);
        return frames;
    }

    void pictureShown(const CPropBase& item, const QJsonObject&) override
    {
        std::lock_guard lock(m_shownMutex);
        m_shownItems.insert(item.filePath); // players may report a copy of the item
        m_shownChanged.notify_all();
    }

    bool waitShown(size_t count)
    {
        std::unique_lock lock(m_shownMutex);
        return m_shownChanged.wait_for(lock, std::chrono::seconds(20),
                                       [&] { return m_shownItems.size() >= count; });
    }

    QTemporaryDir dir;
    HeadlessSectionHost host;
    VirtualClock clock;
    CAct area;
    std::mutex m_shownMutex;
    std::condition_variable m_shownChanged;
    std::set<QString> m_shownItems;
};

} // namespace

// Two and three zones, side by side and stacked sections of uneven lengths: step for step each
// zone shows what its item shows alone on an LED of the zone's size, whatever the others draw.
TEST_F(ZonesTest, EachZoneDrawsAsItsItemDrawsAloneAcrossTheJoins)
{
    struct Layout
    {
        int splitMode;
        QSize led;
        std::vector<int> lengths;
        std::vector<ZoneCase> zones;
    };
    const std::vector<Layout> layouts = {
        {0,
         {240, 60},
         {70, 100, 70},
         {{QRect(0, 0, 240, 44), "主区 MAIN", 2, nullptr},
          {QRect(0, 44, 240, 16), "滚动 ticker below", 1, "left"}}},
        {0,
         {240, 60},
         {70, 100, 70},
         {{QRect(0, 0, 160, 60), "MAIN", 4, nullptr},
          {QRect(160, 0, 80, 30), "12:00", 8, nullptr},
          {QRect(160, 30, 80, 30), "up up", 1, "up"}}},
        {1,
         {90, 160},
         {50, 60, 50},
         {{QRect(0, 0, 90, 100), "上 TOP", 3, nullptr},
          {QRect(0, 100, 90, 60), "below", 1, "left"}}},
    };
    for (const Layout& layout : layouts) {
        SCOPED_TRACE(testing::Message()
                     << "split " << layout.splitMode << ", " << layout.zones.size() << " zones");
        setUpSections(area, host, clock, nullptr, layout.splitMode, layout.led.width(),
                      layout.led.height(), layout.lengths);
        area.ClearItems();
        std::vector<AreaZone> zones;
        for (const ZoneCase& c : layout.zones)
            zones.push_back(AreaZone{QString(), c.rect});
        QString why;
        ASSERT_TRUE(area.setZones(zones, &why)) << why.toStdString();
        ASSERT_EQ(area.zoneAreas().size(), layout.zones.size() - 1);
        for (size_t k = 0; k < layout.zones.size(); ++k)
            area.appendItem(makeItem(layout.zones[k], int(k)));

        // Each zone played on the test thread, one after the other, each on a clock of its own;
        // the zones drawn before stay in their rectangles.
        for (size_t k = 0; k < layout.zones.size(); ++k) {
            SCOPED_TRACE(testing::Message() << "zone " << k);
            CAct& zoneArea = k == 0 ? area : *area.zoneAreas()[k - 1];
            const QRect rect = layout.zones[k].rect;
            ASSERT_EQ(zoneArea.pictureRect(), QRect(QPoint(0, 0), rect.size()));
            auto& item = static_cast<CPropText&>(*area.item(int(k)));
            const std::vector<QImage> expected = alone(item, rect.size());
            ASSERT_FALSE(expected.empty());

            VirtualClock zoneClock;
            zoneArea.setClock(zoneClock);
            std::vector<QImage> frames;
            std::vector<QImage> wholes;
            zoneClock.onWait = [&] {
                const QImage whole = joinedSections(area);
                frames.push_back(whole.copy(rect));
                wholes.push_back(whole);
            };
            const QImage before = joinedSections(area);
            item.Play(zoneArea);
            ASSERT_EQ(frames.size(), expected.size());
            for (size_t f = 0; f < frames.size(); ++f) {
                ASSERT_EQ(frames[f], expected[f]) << "step " << f;
                // Nothing outside the zone changed.
                QImage outside = wholes[f];
                QImage was = before;
                for (QImage* image : {&outside, &was})
                    for (int y = rect.top(); y <= rect.bottom(); ++y)
                        for (int x = rect.left(); x <= rect.right(); ++x)
                            image->setPixel(x, y, 0);
                ASSERT_EQ(outside, was) << "step " << f;
            }
            zoneArea.setClock(clock);
        }
        area.ClearItems();
        ASSERT_TRUE(area.setZones(AreaZones::whole(layout.led)));
        EXPECT_TRUE(area.zoneAreas().empty());
    }
}

// Play starts every zone, each on its own thread; the LED no zone covers shows the area's
// background; Stop ends them all.
TEST_F(ZonesTest, PlayStartsEveryZoneAndStopEndsThemAll)
{
    setUpSections(area, host, clock, this, 0, 240, 60, {70, 100, 70});
    area.changeSettings([](AreaSettings& s) { s.backColor = 0x00403020; }); // kAreaBack
    const std::vector<ZoneCase> cases = {{QRect(0, 0, 150, 60), "MAIN", 1, nullptr},
                                         {QRect(160, 0, 80, 40), "12:00", 1, nullptr}};
    ASSERT_TRUE(
        area.setZones({AreaZone{"main", cases[0].rect}, AreaZone{"corner", cases[1].rect}}));
    std::vector<QImage> expected;
    for (size_t k = 0; k < cases.size(); ++k) {
        area.appendItem(makeItem(cases[k], int(k)));
        expected.push_back(
            alone(static_cast<CPropText&>(*area.item(int(k))), cases[k].rect.size()).back());
    }
    area.setPlayObserver(this);
    area.Play();
    ASSERT_TRUE(waitShown(2)) << "both zones showed their item";
    EXPECT_TRUE(area.hasPlayThread());
    ASSERT_TRUE(area.StopWithin(std::chrono::seconds(5)));
    EXPECT_FALSE(area.hasPlayThread());
    const QImage wall = joinedSections(area);
    for (size_t k = 0; k < cases.size(); ++k)
        EXPECT_EQ(wall.copy(cases[k].rect), expected[k]) << "zone " << k;
    for (const QPoint p : {QPoint(150, 0), QPoint(159, 59), QPoint(160, 40), QPoint(239, 59)})
        EXPECT_EQ(wall.pixel(p), kAreaBack) << p.x() << "," << p.y();
    area.setPlayObserver(nullptr);
}
