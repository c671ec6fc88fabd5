#include "CPropBase.h"

#include "PropertyPageHost.h"

CPropBase::~CPropBase() = default;

void CPropBase::ShowProperties(PropertyPageHost& host)
{
    host.showItemPage(PropertyPageId(), *this);
}

void CPropBase::Play(CAct& area)
{
    this->area.store(&area);
}
