#include "CPropGif.h"

#include "FieldVisitor.h"
#include "ItemSettings.h"

#include <algorithm>
#include <cmath>

CPropGif::CPropGif(const CPropGif& other)
    : CPropBase(other), fitMode(other.fitMode), texts(copyTextBlocks(other.texts))
{}

std::unique_ptr<CPropBase> CPropGif::clone() const
{
    return std::unique_ptr<CPropBase>(new CPropGif(*this));
}

void CPropGif::Serialize(FieldVisitor& v)
{
    CPropBase::Serialize(v);
    v.integer("fitMode", fitMode);
    v.textBlocks("texts", texts);
}

int CPropGif::playTimeMs() const
{
    constexpr double kDefaultSeconds = 5;
    constexpr double kMostSeconds = 24 * 60 * 60;
    const double seconds =
        ItemSettings::number(*this, QStringLiteral("playSeconds"), kDefaultSeconds);
    return static_cast<int>(std::lround(std::clamp(seconds, 0.0, kMostSeconds) * 1000));
}
