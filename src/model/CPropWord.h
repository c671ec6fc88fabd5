#pragma once

#include "CPropBase.h"

// A Word item. No file name makes one; it comes only from project files, has no page among the
// four and plays nothing.
class CPropWord : public CPropBase
{
public:
    const char* className() const override { return "CPropWord"; }
    std::unique_ptr<CPropBase> clone() const override;
    void Serialize(FieldVisitor& v) override;

    int speed = 5;
    int effect = 0;
    int holdTime = 20;
    int pageEffect = 0;
    int showParagraphMarks = 0;
    int showGridLines = 0;
};
