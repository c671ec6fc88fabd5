#include "CMyText.h"

#include "FieldVisitor.h"

void CMyText::Serialize(FieldVisitor& v)
{
    v.string("name", name);
    v.integer("textEffect", textEffect);
    v.integer("textSpeed", textSpeed);
    v.integer("reserved1", reserved1);
    v.string("content", content);
    v.integer("blockBackColor", blockBackColor);
    v.rect("rect", rect);
    v.integer("reserved2", reserved2);
    v.integer("reserved3", reserved3);
    v.integer("reserved4", reserved4);
    v.integer("reserved5", reserved5);
}

std::vector<std::unique_ptr<CMyText>>
copyTextBlocks(const std::vector<std::unique_ptr<CMyText>>& blocks)
{
    std::vector<std::unique_ptr<CMyText>> copies;
    copies.reserve(blocks.size());
    for (const auto& block : blocks)
        copies.push_back(std::make_unique<CMyText>(*block));
    return copies;
}
