#pragma once

#include <QImage>

// Direct pixel work on 32-bit images (RGB32 or ARGB32): copies clipped on both sides and
// one-pixel scrolls. None of them allocates, so they may run once per transition step.
namespace PixelOps {

// Copies the w x h rectangle at (sx, sy) of src to (dx, dy) of dst; whatever falls outside
// either image is left out.
void copyRect(const QImage& src, int sx, int sy, QImage& dst, int dx, int dy, int w, int h);

// Scrolls the whole image by one pixel; the line it uncovers keeps its old pixels.
void scrollUp(QImage& image);
void scrollDown(QImage& image);
void scrollLeft(QImage& image);
void scrollRight(QImage& image);

} // namespace PixelOps
