#include "CPropText.h"

#include "FieldVisitor.h"
#include "ItemSettings.h"

#include <QJsonObject>

#include <algorithm>
#include <cmath>

namespace {

const QString kMarquee = QStringLiteral("marquee");
constexpr std::array<const char*, 5> kScrollNames{"none", "left", "right", "up", "down"};

int boundedInt(const QJsonValue& value, int fallback, int least, int most)
{
    if (!value.isDouble() || !std::isfinite(value.toDouble()))
        return fallback;
    return static_cast<int>(std::clamp(std::round(value.toDouble()), double(least), double(most)));
}

} // namespace

CPropText::Marquee CPropText::marquee() const
{
    Marquee m;
    const QJsonObject settings = ItemSettings::read(*this).value(kMarquee).toObject();
    const QString direction = settings.value(QStringLiteral("direction")).toString();
    for (size_t i = 1; i < kScrollNames.size(); ++i)
        if (direction == QLatin1String(kScrollNames[i]))
            m.direction = static_cast<Scroll>(i);
    m.pixelsPerSecond = boundedInt(settings.value(QStringLiteral("pixelsPerSecond")),
                                   m.pixelsPerSecond, 1, kMostPixelsPerSecond);
    m.repeat = boundedInt(settings.value(QStringLiteral("repeat")), m.repeat, 1, 1000000);
    return m;
}

bool CPropText::setMarquee(Scroll direction, int pixelsPerSecond)
{
    QJsonObject settings = ItemSettings::read(*this).value(kMarquee).toObject();
    settings.insert(QStringLiteral("direction"),
                    QLatin1String(kScrollNames[static_cast<size_t>(direction)]));
    settings.insert(QStringLiteral("pixelsPerSecond"),
                    std::clamp(pixelsPerSecond, 1, kMostPixelsPerSecond));
    return ItemSettings::write(*this, kMarquee, settings);
}

bool CPropText::liveFields() const
{
    return ItemSettings::read(*this).value(QStringLiteral("fields")).toBool();
}

std::unique_ptr<CPropBase> CPropText::clone() const
{
    return std::unique_ptr<CPropBase>(new CPropText(*this));
}

void CPropText::Serialize(FieldVisitor& v)
{
    CPropBase::Serialize(v);
    v.integer("speed", speed);
    v.integer("effect", effect);
    v.integer("holdTime", holdTime);
    v.integer("textStyle", textStyle);
    v.integer("reserved1", reserved1);
    v.string("fontName", fontName);
    v.integer("fontSize", fontSize);
    v.integer("underline", underline);
    v.integer("bold", bold);
    v.integer("italic", italic);
    v.integer("textColor", textColor);
    v.integer("lineSpacing", lineSpacing);
    v.integer("reserved2", reserved2);
    v.integer("alignLeft", alignLeft);
    v.integer("alignCenter", alignCenter);
    v.integer("alignRight", alignRight);
    v.integer("alignVCenter", alignVCenter);
}
