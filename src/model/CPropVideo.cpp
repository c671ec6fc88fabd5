#include "CPropVideo.h"

#include "FieldVisitor.h"
#include "ItemSettings.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kMostSeconds = 24 * 60 * 60;

double seconds(const CPropVideo& item, const char* key)
{
    const double value = ItemSettings::number(item, QLatin1String(key), 0);
    return std::isfinite(value) ? std::clamp(value, 0.0, kMostSeconds) : 0.0;
}

} // namespace

std::unique_ptr<CPropBase> CPropVideo::clone() const
{
    return std::unique_ptr<CPropBase>(new CPropVideo(*this));
}

void CPropVideo::Serialize(FieldVisitor& v)
{
    CPropBase::Serialize(v);
    v.integer("speed", speed);
    v.integer("effect", effect);
    v.integer("fitMode", fitMode);
}

int CPropVideo::playTimeMs() const
{
    return static_cast<int>(std::lround(seconds(*this, "playSeconds") * 1000));
}

int CPropVideo::loops() const
{
    const double value = ItemSettings::number(*this, QStringLiteral("loops"), 1);
    return std::isfinite(value) ? static_cast<int>(std::clamp(std::round(value), 1.0, 10000.0)) : 1;
}

int CPropVideo::volume() const
{
    const double value = ItemSettings::number(*this, QStringLiteral("volume"), 100);
    return std::isfinite(value) ? static_cast<int>(std::clamp(std::round(value), 0.0, 100.0)) : 100;
}

qint64 CPropVideo::startUs() const
{
    return std::llround(seconds(*this, "startSeconds") * 1e6);
}
