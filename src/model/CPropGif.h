#pragma once

#include "CMyText.h"
#include "CPropBase.h"

#include <memory>
#include <vector>

// An animated GIF. Its player returns at once: the loop passes over it without drawing.
class CPropGif : public CPropBase
{
public:
    static constexpr int kPageId = 466;

    CPropGif() = default;
    CPropGif& operator=(const CPropGif&) = delete;

    ItemKind kind() const override { return ItemKind::Gif; }
    const char* className() const override { return "CPropGif"; }
    int PropertyPageId() const override { return kPageId; }
    std::unique_ptr<CPropBase> clone() const override;
    void Serialize(FieldVisitor& v) override;

    int fitMode = 0; // list 107: center
    std::vector<std::unique_ptr<CMyText>> texts;

protected:
    CPropGif(const CPropGif& other);
};
