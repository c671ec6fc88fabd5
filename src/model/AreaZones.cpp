#include "AreaZones.h"

#include "CPropBase.h"
#include "ItemSettings.h"
#include "base/StringTable.h"

#include <QJsonObject>

#include <algorithm>
#include <cmath>

namespace {} // namespace

QString AreaZones::check(const std::vector<AreaZone>& zones, QSize ledSize)
{
    if (zones.empty())
        return dialogText("An area needs at least one zone.", "区域至少需要一个分区。");
    if (zones.size() > size_t(kMostZones))
        return dialogText("An area has at most %1 zones.", "一个区域最多有 %1 个分区。")
            .arg(kMostZones);
    // In 64 bits: a damaged file may hold any number for the LED or a rectangle.
    const qint64 ledWidth = ledSize.width();
    const qint64 ledHeight = ledSize.height();
    if (ledWidth <= 0 || ledHeight <= 0 || ledWidth > kMostSide || ledHeight > kMostSide)
        return dialogText("An LED of %1 x %2 cannot be cut into zones.",
                          "%1 x %2 的显示屏无法划分分区。")
            .arg(ledWidth)
            .arg(ledHeight);
    struct Span
    {
        qint64 x, y, w, h;
    };
    const auto spanOf = [](const QRect& r) {
        return Span{r.left(), r.top(), qint64(r.right()) - r.left() + 1,
                    qint64(r.bottom()) - r.top() + 1};
    };
    for (size_t i = 0; i < zones.size(); ++i) {
        const Span r = spanOf(zones[i].rect);
        if (r.w <= 0 || r.h <= 0 || r.x < 0 || r.y < 0 || r.x + r.w > ledWidth ||
            r.y + r.h > ledHeight)
            return dialogText("Zone %1 (%2, %3, %4 x %5) does not lie inside the LED of %6 x %7.",
                              "分区 %1（%2, %3, %4 x %5）不在 %6 x %7 的显示屏内。")
                .arg(nameOf(zones[i], int(i)))
                .arg(r.x)
                .arg(r.y)
                .arg(r.w)
                .arg(r.h)
                .arg(ledWidth)
                .arg(ledHeight);
        for (size_t j = 0; j < i; ++j) {
            const Span o = spanOf(zones[j].rect);
            if (r.x < o.x + o.w && o.x < r.x + r.w && r.y < o.y + o.h && o.y < r.y + r.h)
                return dialogText("Zones may not overlap: %1 and %2 do.",
                                  "分区不能重叠：%1 与 %2 重叠了。")
                    .arg(nameOf(zones[j], int(j)), nameOf(zones[i], int(i)));
        }
    }
    return {};
}

QString AreaZones::nameOf(const AreaZone& zone, int index)
{
    return zone.name.isEmpty() ? QString::number(index + 1) : zone.name;
}

bool AreaZones::isWhole(const std::vector<AreaZone>& zones, QSize ledSize)
{
    if (zones.size() != 1)
        return false;
    const QRect& r = zones.front().rect;
    return r.left() == 0 && r.top() == 0 && qint64(r.right()) + 1 == ledSize.width() &&
           qint64(r.bottom()) + 1 == ledSize.height();
}

std::vector<AreaZone> AreaZones::whole(QSize ledSize)
{
    return {AreaZone{QString(), QRect(QPoint(0, 0), ledSize)}};
}

QJsonArray AreaZones::toJson(const std::vector<AreaZone>& zones)
{
    QJsonArray out;
    for (const AreaZone& zone : zones) {
        const QRect& r = zone.rect;
        out.append(
            QJsonObject{{QStringLiteral("name"), zone.name},
                        {QStringLiteral("rect"), QJsonArray{r.x(), r.y(), r.width(), r.height()}}});
    }
    return out;
}

bool AreaZones::fromJson(const QJsonValue& value, std::vector<AreaZone>* zones, QString* why)
{
    const auto fail = [why](const QString& text) {
        if (why)
            *why = text;
        return false;
    };
    if (!value.isArray())
        return fail(QStringLiteral("\"zones\" is not a list"));
    std::vector<AreaZone> read;
    for (const QJsonValue& entry : value.toArray()) {
        const QJsonObject zone = entry.toObject();
        const QJsonArray rect = zone.value(QStringLiteral("rect")).toArray();
        if (!entry.isObject() || rect.size() != 4)
            return fail(QStringLiteral("a zone needs \"rect\": [x, y, width, height]"));
        int numbers[4] = {};
        for (int k = 0; k < 4; ++k) {
            const double n = rect.at(k).toDouble(std::nan(""));
            if (!std::isfinite(n) || n != std::floor(n) || std::abs(n) > 1e6)
                return fail(QStringLiteral("a zone's \"rect\" holds whole numbers of pixels"));
            numbers[k] = int(n);
        }
        read.push_back(AreaZone{zone.value(QStringLiteral("name")).toString(),
                                QRect(numbers[0], numbers[1], numbers[2], numbers[3])});
        if (read.size() > size_t(kMostZones))
            return fail(dialogText("An area has at most %1 zones.", "一个区域最多有 %1 个分区。")
                            .arg(kMostZones));
    }
    *zones = std::move(read);
    return true;
}

int AreaZones::zoneOf(const CPropBase& item, int zoneCount)
{
    // Compared as a double first: a stored 1e300 has no int.
    const double zone = ItemSettings::number(item, kZoneKey, 0);
    return zone >= 0 && zone < zoneCount ? int(zone) : 0;
}

std::vector<AreaZone> AreaZones::fromTemplate(Template layout, QSize led)
{
    const int w = led.width();
    const int h = led.height();
    switch (layout) {
    case Template::Full:
        return whole(led);
    case Template::TickerBelow: {
        const int ticker = std::clamp(h / 4, 1, std::max(1, h - 1));
        return {AreaZone{QStringLiteral("main"), QRect(0, 0, w, h - ticker)},
                AreaZone{QStringLiteral("ticker"), QRect(0, h - ticker, w, ticker)}};
    }
    case Template::ClockCorner: {
        const int clockWidth = std::clamp(w / 4, 1, std::max(1, w - 1));
        const int clockHeight = std::clamp(h / 4, 1, h);
        return {
            AreaZone{QStringLiteral("main"), QRect(0, 0, w - clockWidth, h)},
            AreaZone{QStringLiteral("clock"), QRect(w - clockWidth, 0, clockWidth, clockHeight)}};
    }
    case Template::TwoHalves:
        if (h > w)
            return {AreaZone{QStringLiteral("top"), QRect(0, 0, w, h / 2)},
                    AreaZone{QStringLiteral("bottom"), QRect(0, h / 2, w, h - h / 2)}};
        return {AreaZone{QStringLiteral("left"), QRect(0, 0, w / 2, h)},
                AreaZone{QStringLiteral("right"), QRect(w / 2, 0, w - w / 2, h)}};
    }
    return whole(led);
}
