#include "CPropText.h"

#include "FieldVisitor.h"

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
