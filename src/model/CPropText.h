#pragma once

#include "CPropBase.h"

#include <QStringList>

// A plain-text file (.txt), shown page by page in its font.
class CPropText : public CPropBase
{
public:
    static constexpr int kPageId = 152;

    ItemKind kind() const override { return ItemKind::Text; }
    const char* className() const override { return "CPropText"; }
    int PropertyPageId() const override { return kPageId; }
    std::unique_ptr<CPropBase> clone() const override;
    void Serialize(FieldVisitor& v) override;

    int speed = 5;
    int effect = 0;    // list 104, 0 = random
    int holdTime = 20; // tenths of a second
    int textStyle = 0; // list 105
    int reserved1 = 0;
    QString fontName = QStringLiteral("宋体");
    int fontSize = 12; // points
    int underline = 0;
    int bold = 0;
    int italic = 0;
    int textColor = 0x00FFFFFF;
    int lineSpacing = 2;
    int reserved2 = 0;
    int alignLeft = 0;
    int alignCenter = 0;
    int alignRight = 0;
    int alignVCenter = 0;

    // The text of the file, read when played.
    QStringList lines;
};
