#pragma once

#include "canvas/BackBuffer.h"

#include <memory>

class FieldVisitor;

// A section: the stored record of one section window (project files name its class "CActWnd")
// and the render child its window shows.
// The four copies of area settings are refreshed from the area at every layout; until then the
// stored values stand.
class SectionRecord
{
public:
    SectionRecord() = default;
    SectionRecord(int index, int length, int pos)
        : sectionIndex(index), sectionLength(length), sectionPos(pos)
    {}
    // A copy of the stored fields with a render child of its own.
    SectionRecord(const SectionRecord& other);
    SectionRecord& operator=(const SectionRecord&) = delete;

    void Serialize(FieldVisitor& v);

    int sectionIndex = 0;
    int splitMode = 0;
    int frameLines = 0;
    int sectionLength = 0; // along the split axis, 1..10000
    int backColor = 0;
    int frameColor = 0;
    int sectionPos = 0; // across the split axis, 0..10000

    const std::unique_ptr<BackBuffer> renderChild = std::make_unique<BackBuffer>();
};
