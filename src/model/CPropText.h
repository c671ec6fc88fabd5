#pragma once

#include "CPropBase.h"

#include <QStringList>

#include <array>

// A plain-text file (.txt), shown page by page in its font.
class CPropText : public CPropBase
{
public:
    const char* className() const override { return "CPropText"; }
    std::unique_ptr<CPropBase> clone() const override;
    void Serialize(FieldVisitor& v) override;

    // A text that scrolls without pause instead of paging: "marquee" of the item's own
    // settings, {"direction": "left"|"right"|"up"|"down", "pixelsPerSecond": N, "repeat": N}.
    enum class Scroll
    {
        None,
        Left,
        Right,
        Up,
        Down,
    };
    struct Marquee
    {
        Scroll direction = Scroll::None;
        int pixelsPerSecond = 60;
        int repeat = 1; // passes
    };
    Marquee marquee() const;
    // Sets the direction and speed, keeping what else the "marquee" object holds; false when
    // reservedText is not ours to write.
    bool setMarquee(Scroll direction, int pixelsPerSecond);
    // "fields": true: the file's {time}, {date}, ... placeholders show live values.
    bool liveFields() const;

    static constexpr int kMostPixelsPerSecond = 10000;

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
