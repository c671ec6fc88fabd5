#pragma once

#include <QImage>

// Copies the source rectangle onto the destination rectangle, scaled by nearest neighbour when
// the sizes differ, leaving the destination as it was wherever the source pixel is the
// transparent colour (a COLORREF). Both rectangles are clipped to their images.
void TransparentCopy(QImage& destination, int dx, int dy, int dw, int dh, const QImage& source,
                     int sx, int sy, int sw, int sh, int transparentColor);
