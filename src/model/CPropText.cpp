#include "CPropText.h"

void CPropText::Play(CAct& area)
{
    CPropBase::Play(area);
}
