#pragma once

#include "CPropBase.h"

// A Word item. No file name makes one; it comes only from project files, has no page among the
// four and plays nothing.
class CPropWord : public CPropBase
{
public:
    static constexpr int kPageId = 445;

    ItemKind kind() const override { return ItemKind::Word; }
    const char* className() const override { return "CPropWord"; }
    int PropertyPageId() const override { return kPageId; }
    std::unique_ptr<CPropBase> clone() const override;
    void Serialize(FieldVisitor& v) override;

    int speed = 5;
    int effect = 0;
    int holdTime = 20;
    int pageEffect = 0;
    int showParagraphMarks = 0;
    int showGridLines = 0;
};
