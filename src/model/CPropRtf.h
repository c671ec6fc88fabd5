#pragma once

#include "CPropBase.h"

// A rich-text item: .rtf files, and Word documents and spreadsheets converted to rich text.
class CPropRtf : public CPropBase
{
public:
    CPropRtf() { backColor = 0x00FFFFFF; }

    const char* className() const override { return "CPropRtf"; }
    std::unique_ptr<CPropBase> clone() const override;
    void Serialize(FieldVisitor& v) override;

    int effect = 0;
    int holdTime = 20;
    int speed = 5;
    int reserved1 = 0;
    int reserved2 = 0;
    // Off for new items; a stored project keeps what it stored.
    int reverseColors = 0;
};
