#pragma once

#include "CMyText.h"
#include "CPropBase.h"

#include <memory>
#include <vector>

// A still picture with optional overlay text blocks and a clearing effect.
class CPropImage : public CPropBase
{
public:
    CPropImage() = default;
    CPropImage& operator=(const CPropImage&) = delete;

    const char* className() const override { return "CPropImage"; }
    std::unique_ptr<CPropBase> clone() const override;
    void Serialize(FieldVisitor& v) override;

    int speed = 5;
    int effect = 0;
    int holdTime = 20;
    int fitMode = 2; // list 103: stretch
    std::vector<std::unique_ptr<CMyText>> texts;

protected:
    CPropImage(const CPropImage& other);
};
