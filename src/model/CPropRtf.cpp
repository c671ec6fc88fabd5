#include "CPropRtf.h"

#include "FieldVisitor.h"

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
