#include "CPropBase.h"

#include "FieldVisitor.h"
#include "ItemKinds.h"
#include "PropertyPageHost.h"

CPropBase::CPropBase(const CPropBase& other)
    : filePath(other.filePath), backImagePath(other.backImagePath),
      reservedText(other.reservedText), backColor(other.backColor), backFitMode(other.backFitMode),
      clearEffect(other.clearEffect), clearSpeed(other.clearSpeed),
      baseReserved1(other.baseReserved1), baseReserved2(other.baseReserved2)
{}

CPropBase::~CPropBase() = default;

void CPropBase::Serialize(FieldVisitor& v)
{
    v.integer("backColor", backColor);
    v.integer("backFitMode", backFitMode);
    v.string("backImagePath", backImagePath);
    v.string("filePath", filePath);
    v.string("reservedText", reservedText);
    v.integer("clearEffect", clearEffect);
    v.integer("clearSpeed", clearSpeed);
    v.integer("baseReserved1", baseReserved1);
    v.integer("baseReserved2", baseReserved2);
}

void CPropBase::ShowProperties(PropertyPageHost& host)
{
    host.showItemPage(*this);
}

std::unique_ptr<CPropBase> CPropBase::lockedClone() const
{
    std::lock_guard lock(m_fieldsMutex);
    return clone();
}

void CPropBase::Play(CAct& area)
{
    this->area.store(&area);
    const ItemKindInfo* kind = ItemKinds::find(className());
    const ItemPlayer player = kind ? kind->player : nullptr;
    if (!player)
        return;
    // Played from a copy: a page may be editing the item meanwhile.
    const std::unique_ptr<CPropBase> copy = lockedClone();
    if (copy)
        player(*copy, area);
}
