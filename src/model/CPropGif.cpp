#include "CPropGif.h"

#include "FieldVisitor.h"

CPropGif::CPropGif(const CPropGif& other)
    : CPropBase(other), fitMode(other.fitMode), texts(copyTextBlocks(other.texts))
{}

std::unique_ptr<CPropBase> CPropGif::clone() const
{
    return std::unique_ptr<CPropBase>(new CPropGif(*this));
}

void CPropGif::Serialize(FieldVisitor& v)
{
    CPropBase::Serialize(v);
    v.integer("fitMode", fitMode);
    v.textBlocks("texts", texts);
}
