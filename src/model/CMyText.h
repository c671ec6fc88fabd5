#pragma once

#include "WinRect.h"

#include <QString>

#include <memory>
#include <vector>

class FieldVisitor;

// A text block: the area's caption and the overlay texts of image and GIF items.
struct CMyText
{
    QString name = QStringLiteral("文字");
    int textEffect = 0; // entry effect; 0 = random among 1..6
    int textSpeed = 5;  // per-character wait in units of 20 ms, or the moving entries' divisor
    int reserved1 = 20;
    QString content;        // rich text
    int blockBackColor = 0; // COLORREF, also the transparent key when drawn
    WinRect rect{0, 0, 100, 100};
    int reserved2 = 0;
    int reserved3 = 5;
    int reserved4 = 0;
    int reserved5 = 5;

    // The stored fields in their order; defined with the visitor.
    void Serialize(FieldVisitor& v);
};

// A deep copy of an owned array of text blocks.
std::vector<std::unique_ptr<CMyText>>
copyTextBlocks(const std::vector<std::unique_ptr<CMyText>>& blocks);
