#include "CPropWord.h"

#include "FieldVisitor.h"

std::unique_ptr<CPropBase> CPropWord::clone() const
{
    return std::unique_ptr<CPropBase>(new CPropWord(*this));
}

void CPropWord::Serialize(FieldVisitor& v)
{
    CPropBase::Serialize(v);
    v.integer("speed", speed);
    v.integer("effect", effect);
    v.integer("holdTime", holdTime);
    v.integer("pageEffect", pageEffect);
    v.integer("showParagraphMarks", showParagraphMarks);
    v.integer("showGridLines", showGridLines);
}
