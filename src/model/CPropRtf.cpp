#include "CPropRtf.h"

#include "FieldVisitor.h"
#include "text/RtfPlayer.h"

void CPropRtf::Play(CAct& area)
{
    CPropBase::Play(area);
    // Played from a copy: a page may be editing the item meanwhile.
    const std::unique_ptr<CPropBase> copy = lockedClone();
    RtfPlayer(static_cast<const CPropRtf&>(*copy), area).play();
}

std::unique_ptr<CPropBase> CPropRtf::clone() const
{
    return std::unique_ptr<CPropBase>(new CPropRtf(*this));
}

void CPropRtf::Serialize(FieldVisitor& v)
{
    CPropBase::Serialize(v);
    v.integer("effect", effect);
    v.integer("holdTime", holdTime);
    v.integer("speed", speed);
    v.integer("reserved1", reserved1);
    v.integer("reserved2", reserved2);
    v.integer("reverseColors", reverseColors);
}
