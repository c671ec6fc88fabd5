#include "RtfPicture.h"

#include "RtfMetafile.h"

#include <QtEndian>

#include <algorithm>
#include <cmath>

namespace {

constexpr qsizetype kMaxPixels = 64 * 1024 * 1024;

quint32 u32(QByteArrayView data, qsizetype pos)
{
    return qFromLittleEndian<quint32>(data.data() + pos);
}

quint16 u16(QByteArrayView data, qsizetype pos)
{
    return qFromLittleEndian<quint16>(data.data() + pos);
}

// Bytes of the colour table and masks that follow a DIB header.
qsizetype dibColourBytes(QByteArrayView dib)
{
    const quint32 headerSize = u32(dib, 0);
    if (headerSize == 12) { // OS/2: three-byte colours
        const int bits = u16(dib, 10);
        return bits <= 8 ? 3 * (qsizetype(1) << bits) : 0;
    }
    const int bits = u16(dib, 14);
    const quint32 compression = u32(dib, 16);
    quint32 used = u32(dib, 32);
    if (used == 0 && bits <= 8)
        used = 1u << bits;
    if (used > 256 && bits <= 8)
        used = 256;
    qsizetype bytes = qsizetype(bits <= 8 ? used : std::min<quint32>(used, 256)) * 4;
    if (headerSize == 40 && (compression == 3 || compression == 6))
        bytes += compression == 3 ? 12 : 16; // masks after a short header
    return bytes;
}

QImage fromDib(QByteArrayView dib)
{
    const QByteArray bmp = bmpFromPackedDib(dib);
    return bmp.isEmpty() ? QImage() : QImage::fromData(bmp, "BMP");
}

QImage fromDeviceBitmap(const RtfPicture& picture)
{
    const int w = picture.width;
    const int h = picture.height;
    const int bits = picture.bitsPerPixel;
    if (w <= 0 || h <= 0 || qsizetype(w) * h > kMaxPixels)
        return {};
    const qsizetype stride = picture.widthBytes > 0
                                 ? picture.widthBytes
                                 : ((qsizetype(w) * bits + 15) / 16) * 2; // word-aligned rows
    if (stride <= 0 || stride * h > picture.bytes.size() || stride * 8 < qsizetype(w) * bits)
        return {};
    const auto* data = reinterpret_cast<const uchar*>(picture.bytes.constData());
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        const uchar* row = data + y * stride;
        auto* out = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < w; ++x) {
            switch (bits) {
            case 1:
                out[x] = (row[x / 8] & (0x80 >> (x % 8))) ? qRgb(255, 255, 255) : qRgb(0, 0, 0);
                break;
            case 4: {
                const int v = (x % 2 ? row[x / 2] & 0x0F : row[x / 2] >> 4) * 17;
                out[x] = qRgb(v, v, v);
                break;
            }
            case 8:
                out[x] = qRgb(row[x], row[x], row[x]);
                break;
            case 24:
                out[x] = qRgb(row[3 * x + 2], row[3 * x + 1], row[3 * x]);
                break;
            case 32:
                out[x] = qRgb(row[4 * x + 2], row[4 * x + 1], row[4 * x]);
                break;
            default:
                return {};
            }
        }
    }
    return image;
}

// The largest bitmap that a Windows metafile draws (StretchDIB, DIBStretchBlt, DIBBitBlt,
// SetDIBitsToDevice records).
QImage largestWmfBitmap(QByteArrayView data)
{
    qsizetype pos = 0;
    if (data.size() >= 22 && u32(data, 0) == 0x9AC6CDD7u)
        pos = 22; // placeable header
    if (pos + 18 > data.size())
        return {};
    pos += qsizetype(u16(data, pos + 2)) * 2; // header size in words
    QImage best;
    while (pos + 6 <= data.size()) {
        const qsizetype size = qsizetype(u32(data, pos)) * 2;
        const quint16 function = u16(data, pos + 4);
        if (size < 6 || pos + size > data.size() || function == 0)
            break;
        qsizetype params = -1;
        if (function == 0x0F43)
            params = 22; // StretchDIB
        else if (function == 0x0B41)
            params = 20; // DIBStretchBlt
        else if (function == 0x0940)
            params = 16; // DIBBitBlt
        else if (function == 0x0D33)
            params = 18; // SetDIBitsToDevice
        if (params > 0 && size > 6 + params + 40) {
            const QImage image = fromDib(data.sliced(pos + 6 + params, size - 6 - params));
            if (qsizetype(image.width()) * image.height() > qsizetype(best.width()) * best.height())
                best = image;
        }
        pos += size;
    }
    return best;
}

// The largest bitmap of an enhanced metafile (StretchDIBits, BitBlt, StretchBlt,
// SetDIBitsToDevice records), put together from its header and bits.
QImage largestEmfBitmap(QByteArrayView data)
{
    QImage best;
    qsizetype pos = 0;
    while (pos + 8 <= data.size()) {
        const quint32 type = u32(data, pos);
        const qsizetype size = u32(data, pos + 4);
        if (size < 8 || size % 4 || pos + size > data.size())
            break;
        qsizetype fields = -1; // where offBmiSrc stands in the record
        if (type == 81 || type == 80)
            fields = 8 + 16 + 24; // StretchDIBits, SetDIBitsToDevice
        else if (type == 76 || type == 77)
            fields = 8 + 16 + 16 + 4 + 8 + 24 + 4 + 4; // BitBlt, StretchBlt
        if (fields > 0 && fields + 16 <= size) {
            const QByteArrayView record = data.sliced(pos, size);
            const quint32 offBmi = u32(record, fields), cbBmi = u32(record, fields + 4);
            const quint32 offBits = u32(record, fields + 8), cbBits = u32(record, fields + 12);
            if (cbBmi >= 40 && cbBits > 0 && offBmi <= quint32(size) &&
                cbBmi <= quint32(size) - offBmi && offBits <= quint32(size) &&
                cbBits <= quint32(size) - offBits) {
                QByteArray dib = record.sliced(offBmi, cbBmi).toByteArray();
                dib += record.sliced(offBits, cbBits);
                const QImage image = fromDib(dib);
                if (qsizetype(image.width()) * image.height() >
                    qsizetype(best.width()) * best.height())
                    best = image;
            }
        }
        if (type == 14) // end of file
            break;
        pos += size;
    }
    return best;
}

} // namespace

QByteArray bmpFromPackedDib(QByteArrayView dib)
{
    if (dib.size() < 12)
        return {};
    const quint32 headerSize = u32(dib, 0);
    if (headerSize != 12 && (headerSize < 40 || headerSize > 124 || dib.size() < 40))
        return {};
    if (qsizetype(headerSize) > dib.size())
        return {};
    const qsizetype offset = 14 + qsizetype(headerSize) + dibColourBytes(dib);
    if (offset - 14 > dib.size())
        return {};
    QByteArray file(14, '\0');
    file[0] = 'B';
    file[1] = 'M';
    qToLittleEndian<quint32>(quint32(14 + dib.size()), file.data() + 2);
    qToLittleEndian<quint32>(quint32(offset), file.data() + 10);
    file += dib;
    return file;
}

QImage RtfPicture::decode() const
{
    switch (kind) {
    case Kind::Png:
        return QImage::fromData(bytes, "PNG");
    case Kind::Jpeg:
        return QImage::fromData(bytes, "JPEG");
    case Kind::Dib:
        return fromDib(bytes);
    case Kind::DeviceBitmap:
        return fromDeviceBitmap(*this);
    case Kind::WindowsMetafile:
    case Kind::EnhancedMetafile: {
        // Drawn at the size it is shown at; where its records give no area, its largest bitmap.
        const bool wmf = kind == Kind::WindowsMetafile;
        const QImage drawn = wmf ? RtfMetafile::renderWmf(bytes, metafilePixels())
                                 : RtfMetafile::renderEmf(bytes, metafilePixels());
        if (!drawn.isNull())
            return drawn;
        return wmf ? largestWmfBitmap(bytes) : largestEmfBitmap(bytes);
    }
    case Kind::Unknown:
        break;
    }
    return QImage::fromData(bytes); // whatever the reader recognises
}

QSize RtfPicture::metafilePixels() const
{
    constexpr double kMaxSide = 2048, kMaxPixels = 4.0 * 1024 * 1024;
    QSizeF size = displaySize(QSize());
    double scale = std::min({1.0, kMaxSide / size.width(), kMaxSide / size.height()});
    scale = std::min(scale, std::sqrt(kMaxPixels / (size.width() * size.height())));
    size *= scale;
    return QSize(std::max(1, int(std::lround(size.width()))),
                 std::max(1, int(std::lround(size.height()))));
}

QSizeF RtfPicture::displaySize(QSize imageSize) const
{
    constexpr double kTwipsPerPixel = 15.0;
    const bool metafile = kind == Kind::WindowsMetafile || kind == Kind::EnhancedMetafile;
    double w = imageSize.width();
    double h = imageSize.height();
    if (goalWidthTwips > 0)
        w = goalWidthTwips / kTwipsPerPixel;
    else if (metafile && width > 0)
        w = width * 96.0 / 2540.0;
    if (goalHeightTwips > 0)
        h = goalHeightTwips / kTwipsPerPixel;
    else if (metafile && height > 0)
        h = height * 96.0 / 2540.0;
    w *= std::clamp(scaleXPercent, 1, 1000) / 100.0;
    h *= std::clamp(scaleYPercent, 1, 1000) / 100.0;
    // Never more than a large LED: a hostile size must not ask for a huge layout.
    return QSizeF(std::clamp(w, 1.0, 16384.0), std::clamp(h, 1.0, 16384.0));
}
