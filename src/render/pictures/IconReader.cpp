#include "IconReader.h"

namespace {

constexpr qsizetype kDirectoryHeaderSize = 6;
constexpr qsizetype kEntrySize = 16;
constexpr qsizetype kInfoHeaderSize = 40;
// Icons are at most 256 pixels a side; a bit of room above that still bounds the allocation.
constexpr qint64 kMaxSide = 1024;

quint32 u16At(QByteArrayView d, qsizetype at)
{
    return quint32(uchar(d[at])) | (quint32(uchar(d[at + 1])) << 8);
}

quint32 u32At(QByteArrayView d, qsizetype at)
{
    return u16At(d, at) | (u16At(d, at + 2) << 16);
}

} // namespace

QImage readMaskedIcon(QByteArrayView data)
{
    if (data.size() < kDirectoryHeaderSize + kEntrySize || u16At(data, 0) != 0)
        return {};
    const quint32 type = u16At(data, 2);
    if ((type != 1 && type != 2) || u16At(data, 4) == 0)
        return {};
    const qint64 size = u32At(data, kDirectoryHeaderSize + 8);
    const qint64 offset = u32At(data, kDirectoryHeaderSize + 12);
    if (offset + size > data.size() || size < kInfoHeaderSize)
        return {};
    const QByteArrayView dib = data.sliced(offset, size);

    // PNG pictures and older header kinds are Qt's.
    const quint32 headerSize = u32At(dib, 0);
    if (headerSize < kInfoHeaderSize || headerSize > size)
        return {};
    const qint64 width = qint32(u32At(dib, 4));
    const qint64 doubleHeight = qint32(u32At(dib, 8)); // the colours' rows, then the mask's
    const quint32 bpp = u16At(dib, 14);
    const quint32 compression = u32At(dib, 16);
    const quint32 colorsUsed = u32At(dib, 32);
    if ((bpp != 24 && bpp != 32) || compression != 0 || width <= 0 || width > kMaxSide ||
        doubleHeight <= 0 || doubleHeight % 2 != 0 || doubleHeight / 2 > kMaxSide ||
        colorsUsed > 256)
        return {};
    const qint64 height = doubleHeight / 2;
    const qint64 colourRow = (width * bpp + 31) / 32 * 4;
    const qint64 maskRow = (width + 31) / 32 * 4;
    const qint64 colourStart = headerSize + qint64(colorsUsed) * 4;
    const qint64 maskStart = colourStart + colourRow * height;
    if (maskStart + maskRow * height > size)
        return {};

    const uchar* bytes = reinterpret_cast<const uchar*>(dib.data());
    bool anyAlpha = false;
    if (bpp == 32) {
        for (qint64 y = 0; y < height && !anyAlpha; ++y)
            for (qint64 x = 0; x < width && !anyAlpha; ++x)
                anyAlpha = bytes[colourStart + y * colourRow + x * 4 + 3] != 0;
    }

    QImage image(int(width), int(height), QImage::Format_ARGB32);
    if (image.isNull())
        return {};
    for (qint64 row = 0; row < height; ++row) { // bottom-up, as in any bitmap
        const uchar* colour = bytes + colourStart + row * colourRow;
        const uchar* mask = bytes + maskStart + row * maskRow;
        QRgb* out = reinterpret_cast<QRgb*>(image.scanLine(int(height - 1 - row)));
        for (qint64 x = 0; x < width; ++x) {
            const uchar* p = colour + x * (bpp / 8);
            int alpha = 255;
            if (anyAlpha)
                alpha = p[3];
            else if (mask[x / 8] & (0x80 >> (x % 8)))
                alpha = 0;
            out[x] = alpha == 0 ? qRgba(0, 0, 0, 0) : qRgba(p[2], p[1], p[0], alpha);
        }
    }
    return image;
}
