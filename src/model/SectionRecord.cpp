#include "SectionRecord.h"

#include "FieldVisitor.h"

SectionRecord::SectionRecord(const SectionRecord& other)
    : sectionIndex(other.sectionIndex), splitMode(other.splitMode), frameLines(other.frameLines),
      sectionLength(other.sectionLength), backColor(other.backColor), frameColor(other.frameColor),
      sectionPos(other.sectionPos)
{}

void SectionRecord::Serialize(FieldVisitor& v)
{
    v.integer("sectionIndex", sectionIndex);
    v.integer("splitMode", splitMode);
    v.integer("frameLines", frameLines);
    v.integer("sectionLength", sectionLength);
    v.integer("backColor", backColor);
    v.integer("frameColor", frameColor);
    v.integer("sectionPos", sectionPos);
}
