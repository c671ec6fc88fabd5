#pragma once

#include <QRect>

#include <vector>

class CAct;
class BackBuffer;
class QImage;
struct FrameStamp;

// The part of the area's picture one section shows: its band, in picture coordinates.
struct AreaBand
{
    BackBuffer* child;
    QRect rect;
};

namespace AreaBands {

// The bands of the area's sections in section order. Call with the area's sections lock held
// (shared); nothing is allocated once `bands` has room for them.
void collect(const CAct& area, std::vector<AreaBand>& bands);

// Copies `region` of the picture (the area's whole picture) into every section whose band it
// touches, each as one drawing unit presented on its own; with a stamp, as a paced player's step
// (the frame log counts it) that changed only that part of each section. Takes the sections lock.
void present(CAct& area, const QImage& picture, const QRect& region,
             const FrameStamp* stamp = nullptr);
// The same in two halves, for a player whose copy should be done before its refresh: stage
// copies without telling the windows, presentStaged then presents that part as the stamp's step.
void stage(CAct& area, const QImage& picture, const QRect& region);
void presentStaged(CAct& area, const QRect& region, const FrameStamp& stamp);

} // namespace AreaBands
