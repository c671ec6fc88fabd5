#include "CActWnd.h"

#include "FieldVisitor.h"

CActWnd::CActWnd(const CActWnd& other)
    : sectionIndex(other.sectionIndex), splitMode(other.splitMode), frameLines(other.frameLines),
      sectionLength(other.sectionLength), backColor(other.backColor), frameColor(other.frameColor),
      sectionPos(other.sectionPos)
{}

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
