#include "BmpReader.h"

#include <QBuffer>
#include <QImageReader>

#include <algorithm>
#include <array>
#include <bit>
#include <optional>

namespace {

constexpr qsizetype kFileHeaderSize = 14;
constexpr quint32 kOs2V1HeaderSize = 12;
constexpr quint32 kMaxHeaderSize = 124;
// Larger pictures have no business on an LED wall and would only let a broken file ask for
// gigabytes.
constexpr qint64 kMaxPixels = 64 * 1024 * 1024;
constexpr qint64 kMaxSide = 32768;
// An RLE byte pair gives at most 255 pixels; a stream promising far more than that per byte
// describes an empty picture, which is a broken or hostile file rather than a real one.
constexpr qint64 kMaxRlePixelsPerByte = 1024;

enum Compression : quint32
{
    Rgb = 0,
    Rle8 = 1,
    Rle4 = 2,
    BitFields = 3,
    Jpeg = 4,
    Png = 5,
    AlphaBitFields = 6,
};

quint32 u16At(QByteArrayView d, qsizetype at)
{
    return quint32(uchar(d[at])) | (quint32(uchar(d[at + 1])) << 8);
}

quint32 u32At(QByteArrayView d, qsizetype at)
{
    return u16At(d, at) | (u16At(d, at + 2) << 16);
}

// One colour channel of a bit field pixel, scaled to 0..255 whatever the mask's width.
class Channel
{
public:
    Channel() = default;
    explicit Channel(quint32 mask)
    {
        if (mask == 0)
            return;
        m_shift = std::countr_zero(mask);
        m_max = mask >> m_shift; // a mask with gaps counts as its full span
        m_mask = mask;
    }
    bool present() const { return m_mask != 0; }
    int value(quint32 pixel) const
    {
        if (m_max == 0)
            return 0;
        const quint64 v = (pixel & m_mask) >> m_shift;
        return int((v * 255 + m_max / 2) / m_max);
    }

private:
    quint32 m_mask = 0;
    int m_shift = 0;
    quint64 m_max = 0;
};

struct Header
{
    quint32 size = 0;
    qint64 width = 0;
    qint64 height = 0; // positive; topDown tells the row order
    bool topDown = false;
    bool os2 = false;
    quint32 bpp = 0;
    quint32 compression = Rgb;
    quint32 imageSize = 0;
    quint32 colorsUsed = 0;
    quint32 offBits = 0;
    std::array<quint32, 4> masks{}; // red, green, blue, alpha
    bool hasMasks = false;
    qsizetype afterHeader = 0; // where the masks that follow a 40-byte header end
};

std::optional<Header> readHeader(QByteArrayView d)
{
    if (d.size() < kFileHeaderSize + 4 || d[0] != 'B' || d[1] != 'M')
        return std::nullopt;
    Header h;
    h.offBits = u32At(d, 10);
    h.size = u32At(d, kFileHeaderSize);
    if (h.size < kOs2V1HeaderSize || h.size > kMaxHeaderSize ||
        d.size() < kFileHeaderSize + qsizetype(h.size))
        return std::nullopt;
    const qsizetype at = kFileHeaderSize;
    if (h.size == kOs2V1HeaderSize) {
        h.os2 = true;
        h.width = u16At(d, at + 4);
        h.height = u16At(d, at + 6);
        h.bpp = u16At(d, at + 10);
        h.afterHeader = at + h.size;
        return h;
    }
    if (h.size < 16)
        return std::nullopt;
    // The second OS/2 header runs from 16 to 64 bytes; the Windows ones are 40, 52, 56, 108
    // and 124 bytes long. Both start with the same fields.
    h.os2 = h.size != 40 && h.size != 52 && h.size != 56 && h.size != 108 && h.size != 124;
    h.width = qint32(u32At(d, at + 4));
    const qint64 height = qint32(u32At(d, at + 8));
    h.topDown = height < 0;
    h.height = height < 0 ? -height : height;
    h.bpp = u16At(d, at + 14);
    const auto field = [&](qsizetype offset) {
        return offset + 4 <= h.size ? u32At(d, at + offset) : 0;
    };
    h.compression = field(16);
    h.imageSize = field(20);
    h.colorsUsed = field(32);
    h.afterHeader = at + h.size;
    if (h.os2) {
        // Their compression 3 is Huffman 1D and 4 is RLE24, neither of which is read here.
        if (h.compression != Rgb && h.compression != Rle8 && h.compression != Rle4)
            return std::nullopt;
        return h;
    }
    if (h.compression == BitFields || h.compression == AlphaBitFields) {
        if (h.size >= 52) {
            for (int i = 0; i < 3; ++i)
                h.masks[i] = field(40 + 4 * i);
            h.masks[3] = field(52);
        } else {
            // A 40-byte header is followed by the masks, with alpha only for AlphaBitFields.
            const int count = h.compression == AlphaBitFields ? 4 : 3;
            if (d.size() < h.afterHeader + 4 * count)
                return std::nullopt;
            for (int i = 0; i < count; ++i)
                h.masks[i] = u32At(d, h.afterHeader + 4 * i);
            h.afterHeader += 4 * count;
        }
        h.hasMasks = true;
    }
    return h;
}

bool supportedDepth(const Header& h)
{
    switch (h.compression) {
    case Rgb:
        return h.bpp == 1 || h.bpp == 2 || h.bpp == 4 || h.bpp == 8 || h.bpp == 16 || h.bpp == 24 ||
               h.bpp == 32;
    case Rle8:
        return h.bpp == 8 && !h.topDown;
    case Rle4:
        return h.bpp == 4 && !h.topDown;
    case BitFields:
    case AlphaBitFields:
        return h.bpp == 16 || h.bpp == 32;
    default:
        return false;
    }
}

// The palette, cut to the entries the file really holds before its pixels.
QList<QRgb> readPalette(QByteArrayView d, const Header& h)
{
    if (h.bpp > 8)
        return {};
    const qsizetype entrySize = h.size == kOs2V1HeaderSize ? 3 : 4;
    const qint64 full = qint64(1) << h.bpp;
    qint64 count = h.colorsUsed == 0 ? full : std::min<qint64>(h.colorsUsed, full);
    const qint64 room = (qint64(h.offBits) - h.afterHeader) / entrySize;
    count = std::clamp<qint64>(room, 0, count);
    QList<QRgb> palette;
    palette.reserve(full);
    for (qint64 i = 0; i < count; ++i) {
        const qsizetype at = h.afterHeader + i * entrySize;
        palette.append(qRgb(uchar(d[at + 2]), uchar(d[at + 1]), uchar(d[at])));
    }
    // Indices past the palette's end show black.
    while (palette.size() < full)
        palette.append(qRgb(0, 0, 0));
    return palette;
}

QImage readEmbedded(QByteArrayView d, const Header& h)
{
    const qsizetype start = h.offBits;
    qsizetype length = d.size() - start;
    if (h.imageSize != 0)
        length = std::min<qsizetype>(length, h.imageSize);
    QByteArray bytes = d.sliced(start, length).toByteArray();
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, h.compression == Jpeg ? "jpeg" : "png");
    reader.setDecideFormatFromContent(false);
    const QSize size = reader.size();
    if (!size.isValid() || qint64(size.width()) * size.height() > kMaxPixels)
        return {};
    QImage image = reader.read();
    if (image.isNull())
        return {};
    return image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32
                                                         : QImage::Format_RGB32);
}

QRgb* rowOf(QImage& image, const Header& h, qint64 fileRow)
{
    const qint64 y = h.topDown ? fileRow : h.height - 1 - fileRow;
    return reinterpret_cast<QRgb*>(image.scanLine(int(y)));
}

bool readPlain(QByteArrayView d, const Header& h, const QList<QRgb>& palette, QImage& image)
{
    const qint64 rowBytes = (h.width * h.bpp + 31) / 32 * 4;
    if (rowBytes * h.height > d.size() - qint64(h.offBits))
        return false;

    std::array<quint32, 4> masks = h.masks;
    if (!h.hasMasks && h.bpp == 16)
        masks = {0x7C00, 0x03E0, 0x001F, 0};
    else if (!h.hasMasks && h.bpp == 32)
        masks = {0x00FF0000, 0x0000FF00, 0x000000FF, 0};
    const Channel red(masks[0]), green(masks[1]), blue(masks[2]), alpha(masks[3]);
    bool anyAlpha = false;

    for (qint64 fileRow = 0; fileRow < h.height; ++fileRow) {
        const qsizetype start = h.offBits + fileRow * rowBytes;
        const uchar* src = reinterpret_cast<const uchar*>(d.data()) + start;
        QRgb* out = rowOf(image, h, fileRow);
        for (qint64 x = 0; x < h.width; ++x) {
            switch (h.bpp) {
            case 1:
            case 2:
            case 4:
            case 8: {
                const qint64 bit = x * h.bpp;
                const int shift = 8 - int(bit % 8) - int(h.bpp);
                const int index = (src[bit / 8] >> shift) & ((1 << h.bpp) - 1);
                out[x] = palette[index];
                break;
            }
            case 24:
                out[x] = qRgb(src[x * 3 + 2], src[x * 3 + 1], src[x * 3]);
                break;
            default: {
                const quint32 p = h.bpp == 16 ? u16At(d, start + x * 2) : u32At(d, start + x * 4);
                const int a = alpha.present() ? alpha.value(p) : 255;
                anyAlpha = anyAlpha || a != 0;
                out[x] = qRgba(red.value(p), green.value(p), blue.value(p), a);
                break;
            }
            }
        }
    }
    // A mask whose alpha is zero everywhere marks an opaque picture written by a program that
    // left the channel empty; showing it as nothing would help no one.
    if (alpha.present() && !anyAlpha) {
        for (int y = 0; y < image.height(); ++y) {
            QRgb* line = reinterpret_cast<QRgb*>(image.scanLine(y));
            for (int x = 0; x < image.width(); ++x)
                line[x] |= 0xFF000000;
        }
    }
    return true;
}

void readRle(QByteArrayView d, const Header& h, const QList<QRgb>& palette, QImage& image)
{
    // Pixels the stream skips by a move, an early end of line or an early end of the picture take
    // palette entry 0, as ImageMagick and Pillow give them.
    image.fill(palette[0]);
    const uchar* data = reinterpret_cast<const uchar*>(d.data());
    qsizetype pos = h.offBits;
    const qsizetype end = d.size();
    const bool four = h.compression == Rle4;
    qint64 x = 0;
    qint64 row = 0;
    const auto put = [&](int index) {
        if (x < h.width && row < h.height)
            rowOf(image, h, row)[x] = palette[index];
        ++x;
    };
    // A file cut short keeps what it has.
    while (pos + 2 <= end && row < h.height) {
        const int count = data[pos];
        const int value = data[pos + 1];
        pos += 2;
        if (count > 0) {
            for (int i = 0; i < count && x < h.width; ++i)
                put(four ? (i % 2 == 0 ? value >> 4 : value & 0x0F) : value);
            continue;
        }
        if (value == 0) { // end of line
            x = 0;
            ++row;
        } else if (value == 1) { // end of picture
            break;
        } else if (value == 2) { // move right and up
            if (pos + 2 > end)
                break;
            x += data[pos];
            row += data[pos + 1];
            pos += 2;
        } else { // literal pixels, padded to a 16-bit boundary
            const qsizetype bytes = four ? (value + 1) / 2 : value;
            if (pos + bytes > end)
                break;
            for (int i = 0; i < value; ++i) {
                const int b = data[pos + (four ? i / 2 : i)];
                put(four ? (i % 2 == 0 ? b >> 4 : b & 0x0F) : b);
            }
            pos += bytes + (bytes % 2);
        }
    }
}

bool opaque(const QImage& image)
{
    for (int y = 0; y < image.height(); ++y) {
        const QRgb* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(line[x]) != 255)
                return false;
    }
    return true;
}

} // namespace

QImage readBmp(QByteArrayView data)
{
    const std::optional<Header> header = readHeader(data);
    if (!header)
        return {};
    const Header& h = *header;
    if (h.offBits < h.afterHeader || h.offBits >= data.size())
        return {};
    if (!h.os2 && (h.compression == Jpeg || h.compression == Png))
        return readEmbedded(data, h);
    if (!supportedDepth(h) || h.width <= 0 || h.height <= 0 || h.width > kMaxSide ||
        h.height > kMaxSide || h.width * h.height > kMaxPixels)
        return {};
    const bool rle = h.compression == Rle8 || h.compression == Rle4;
    if (rle && h.width * h.height > (data.size() - qint64(h.offBits)) * kMaxRlePixelsPerByte)
        return {};

    QImage image(int(h.width), int(h.height), QImage::Format_ARGB32);
    if (image.isNull())
        return {};
    const QList<QRgb> palette = readPalette(data, h);
    if (rle)
        readRle(data, h, palette, image);
    else if (!readPlain(data, h, palette, image))
        return {};
    if (opaque(image))
        image.reinterpretAsFormat(QImage::Format_RGB32);
    return image;
}

bool bmpWantsOwnReader(QByteArrayView data)
{
    const std::optional<Header> h = readHeader(data);
    if (!h)
        return false;
    if (h->size != 40 && h->size != 108 && h->size != 124)
        return true;
    return h->bpp == 16 || h->compression == BitFields || h->compression == AlphaBitFields ||
           h->compression == Rle8 || h->compression == Rle4;
}
