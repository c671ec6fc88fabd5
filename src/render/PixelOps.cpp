#include "PixelOps.h"

#include <algorithm>
#include <cstring>

namespace PixelOps {

void copyRect(const QImage& src, int sx, int sy, QImage& dst, int dx, int dy, int w, int h)
{
    // Clip against the source, then against the destination, moving both origins together.
    if (sx < 0) {
        w += sx;
        dx -= sx;
        sx = 0;
    }
    if (sy < 0) {
        h += sy;
        dy -= sy;
        sy = 0;
    }
    if (dx < 0) {
        w += dx;
        sx -= dx;
        dx = 0;
    }
    if (dy < 0) {
        h += dy;
        sy -= dy;
        dy = 0;
    }
    w = std::min({w, src.width() - sx, dst.width() - dx});
    h = std::min({h, src.height() - sy, dst.height() - dy});
    if (w <= 0 || h <= 0)
        return;
    const qsizetype srcStride = src.bytesPerLine();
    const qsizetype dstStride = dst.bytesPerLine();
    const uchar* from = src.constBits() + sy * srcStride + sx * 4;
    uchar* to = dst.bits() + dy * dstStride + dx * 4;
    if (w == 1) {
        for (int y = 0; y < h; ++y, from += srcStride, to += dstStride)
            *reinterpret_cast<quint32*>(to) = *reinterpret_cast<const quint32*>(from);
        return;
    }
    const size_t bytes = size_t(w) * 4;
    for (int y = 0; y < h; ++y, from += srcStride, to += dstStride)
        std::memmove(to, from, bytes);
}

void scrollUp(QImage& image)
{
    if (image.height() < 2)
        return;
    const qsizetype stride = image.bytesPerLine();
    uchar* bits = image.bits();
    std::memmove(bits, bits + stride, size_t(stride) * size_t(image.height() - 1));
}

void scrollDown(QImage& image)
{
    if (image.height() < 2)
        return;
    const qsizetype stride = image.bytesPerLine();
    uchar* bits = image.bits();
    std::memmove(bits + stride, bits, size_t(stride) * size_t(image.height() - 1));
}

void scrollLeft(QImage& image)
{
    if (image.width() < 2)
        return;
    const qsizetype stride = image.bytesPerLine();
    const size_t bytes = size_t(image.width() - 1) * 4;
    uchar* line = image.bits();
    for (int y = 0; y < image.height(); ++y, line += stride)
        std::memmove(line, line + 4, bytes);
}

void scrollRight(QImage& image)
{
    if (image.width() < 2)
        return;
    const qsizetype stride = image.bytesPerLine();
    const size_t bytes = size_t(image.width() - 1) * 4;
    uchar* line = image.bits();
    for (int y = 0; y < image.height(); ++y, line += stride)
        std::memmove(line + 4, line, bytes);
}

} // namespace PixelOps
