#include "CPropImage.h"

void CPropImage::Play(CAct& area)
{
    CPropBase::Play(area);
}
