#include "CPropImage.h"

#include "FieldVisitor.h"

CPropImage::CPropImage(const CPropImage& other)
    : CPropBase(other), speed(other.speed), effect(other.effect), holdTime(other.holdTime),
      fitMode(other.fitMode), texts(copyTextBlocks(other.texts))
{}

std::unique_ptr<CPropBase> CPropImage::clone() const
{
    return std::unique_ptr<CPropBase>(new CPropImage(*this));
}

void CPropImage::Serialize(FieldVisitor& v)
{
    CPropBase::Serialize(v);
    v.integer("speed", speed);
    v.integer("effect", effect);
    v.integer("holdTime", holdTime);
    v.integer("fitMode", fitMode);
    v.textBlocks("texts", texts);
}
