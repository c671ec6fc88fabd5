#include "TransparentCopy.h"

#include "base/ColorRef.h"

void TransparentCopy(QImage& destination, int dx, int dy, int dw, int dh, const QImage& source,
                     int sx, int sy, int sw, int sh, int transparentColor)
{
    if (dw <= 0 || dh <= 0 || sw <= 0 || sh <= 0 || destination.isNull() || source.isNull())
        return;
    const QImage src =
        source.format() == QImage::Format_RGB32 || source.format() == QImage::Format_ARGB32
            ? source
            : source.convertToFormat(QImage::Format_RGB32);
    const QRgb key = colorRefToRgb(transparentColor) & RGB_MASK;
    const int x0 = std::max(0, -dx);
    const int y0 = std::max(0, -dy);
    const int x1 = std::min(dw, destination.width() - dx);
    const int y1 = std::min(dh, destination.height() - dy);
    for (int y = y0; y < y1; ++y) {
        const int srcY = sy + int(qint64(y) * sh / dh);
        if (srcY < 0 || srcY >= src.height())
            continue;
        const auto* from = reinterpret_cast<const QRgb*>(src.constScanLine(srcY));
        auto* to = reinterpret_cast<QRgb*>(destination.scanLine(dy + y));
        for (int x = x0; x < x1; ++x) {
            const int srcX = sx + int(qint64(x) * sw / dw);
            if (srcX < 0 || srcX >= src.width())
                continue;
            const QRgb pixel = from[srcX];
            if ((pixel & RGB_MASK) != key)
                to[dx + x] = 0xFF000000 | pixel;
        }
    }
}
