#pragma once

#include <QJsonArray>
#include <QRect>
#include <QSize>
#include <QString>

#include <vector>

class CPropBase;

// A zone of the area: a rectangle of the LED picture (LED pixels) that plays a playlist of its
// own, beside the other zones.
struct AreaZone
{
    QString name;
    QRect rect;

    bool operator==(const AreaZone&) const = default;
};

// The zones as a project keeps them. A project of one zone over the whole LED keeps none (its
// bytes are those of a project without zones); with more, the first item's settings hold the
// rectangles under "zones" and every item its zone under "zone", so that a reader that knows no
// zones plays all the items one after the other.
namespace AreaZones {

constexpr int kMostZones = 8;
constexpr int kMostSide = 1 << 20; // LED pixels: beyond it a size is damage
inline const QString kZonesKey = QStringLiteral("zones");
inline const QString kZoneKey = QStringLiteral("zone");

// Why these zones cannot be an LED's of `ledSize`: none, too many, a rectangle empty or beyond
// the LED, two that overlap. Empty when they can.
QString check(const std::vector<AreaZone>& zones, QSize ledSize);
// What the operator reads for zone `index`: its name, or its number counted from 1.
QString nameOf(const AreaZone& zone, int index);
// One zone over the whole LED: what a project without zones plays.
bool isWhole(const std::vector<AreaZone>& zones, QSize ledSize);
std::vector<AreaZone> whole(QSize ledSize);

// [{"name": ..., "rect": [x, y, w, h]}, ...]
QJsonArray toJson(const std::vector<AreaZone>& zones);
// False (and why) for anything else; `zones` is left as it was then.
bool fromJson(const QJsonValue& value, std::vector<AreaZone>* zones, QString* why);

// The zone the item plays in: its "zone" setting, 0 when it has none or one out of range.
int zoneOf(const CPropBase& item, int zoneCount);

// The layouts an operator starts from.
enum class Template
{
    Full,        // one zone over everything
    TickerBelow, // a main zone above a ticker a quarter of the height
    ClockCorner, // a main zone and a clock in the top right corner
    TwoHalves,   // side by side, or one above the other on an LED taller than wide
};
std::vector<AreaZone> fromTemplate(Template layout, QSize ledSize);

} // namespace AreaZones
