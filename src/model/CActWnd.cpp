#include "CActWnd.h"

#include "FieldVisitor.h"

void CActWnd::Serialize(FieldVisitor& v)
{
    v.integer("sectionIndex", sectionIndex);
    v.integer("splitMode", splitMode);
    v.integer("frameLines", frameLines);
    v.integer("sectionLength", sectionLength);
    v.integer("backColor", backColor);
    v.integer("frameColor", frameColor);
    v.integer("sectionPos", sectionPos);
}
