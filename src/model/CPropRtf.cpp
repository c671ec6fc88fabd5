#include "CPropRtf.h"

void CPropRtf::Play(CAct& area)
{
    CPropBase::Play(area);
}
