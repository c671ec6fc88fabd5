#include "PcxReader.h"

#include <array>
#include <vector>

namespace {

constexpr qsizetype kHeaderSize = 128;
constexpr qsizetype kVgaPaletteSize = 769; // marker 0x0C and 256 RGB triples
// Larger pictures have no business on an LED wall and would only let a broken file ask for
// gigabytes.
constexpr qint64 kMaxPixels = 64 * 1024 * 1024;
// One RLE pair (2 bytes) gives at most 63 bytes.
constexpr qint64 kMaxRunExpansion = 32;

int word(QByteArrayView d, int at)
{
    return static_cast<uchar>(d[at]) | (static_cast<uchar>(d[at + 1]) << 8);
}

QRgb rgbAt(QByteArrayView d, qsizetype at)
{
    return qRgb(static_cast<uchar>(d[at]), static_cast<uchar>(d[at + 1]),
                static_cast<uchar>(d[at + 2]));
}

// Decodes the run-length coded (or plain) stream one scan line at a time.
class LineDecoder
{
public:
    LineDecoder(QByteArrayView data, qsizetype start, qsizetype end, bool rle)
        : m_data(data), m_pos(start), m_end(end), m_rle(rle)
    {}

    bool next(std::vector<uchar>& line)
    {
        size_t filled = 0;
        while (filled < line.size()) {
            if (m_runLeft > 0) {
                const size_t n = std::min<size_t>(m_runLeft, line.size() - filled);
                std::fill_n(line.begin() + static_cast<std::ptrdiff_t>(filled), n, m_runValue);
                filled += n;
                m_runLeft -= static_cast<int>(n);
                continue;
            }
            if (m_pos >= m_end)
                return false;
            const auto byte = static_cast<uchar>(m_data[m_pos++]);
            if (m_rle && (byte & 0xC0) == 0xC0) {
                if (m_pos >= m_end)
                    return false;
                m_runLeft = byte & 0x3F;
                m_runValue = static_cast<uchar>(m_data[m_pos++]);
            } else {
                line[filled++] = byte;
            }
        }
        return true;
    }

private:
    QByteArrayView m_data;
    qsizetype m_pos;
    qsizetype m_end;
    bool m_rle;
    int m_runLeft = 0;
    uchar m_runValue = 0;
};

} // namespace

QImage readPcx(QByteArrayView data)
{
    if (data.size() < kHeaderSize || static_cast<uchar>(data[0]) != 0x0A)
        return {};
    const int encoding = static_cast<uchar>(data[2]);
    const int bits = static_cast<uchar>(data[3]);
    const int xmin = word(data, 4);
    const int ymin = word(data, 6);
    const int xmax = word(data, 8);
    const int ymax = word(data, 10);
    const int planes = static_cast<uchar>(data[65]);
    const int bytesPerLine = word(data, 66);
    if (encoding > 1 || xmax < xmin || ymax < ymin)
        return {};
    const int width = xmax - xmin + 1;
    const int height = ymax - ymin + 1;

    const bool indexed = planes == 1 && (bits == 1 || bits == 2 || bits == 4 || bits == 8);
    const bool planar = bits == 1 && planes >= 2 && planes <= 4;
    const bool truecolor = bits == 8 && (planes == 3 || planes == 4);
    if (!indexed && !planar && !truecolor)
        return {};
    if (qint64(bytesPerLine) * 8 < qint64(width) * bits || bytesPerLine == 0)
        return {};
    if (qint64(width) * height > kMaxPixels)
        return {};

    const qint64 lineBytes = qint64(bytesPerLine) * planes;
    qsizetype end = data.size();
    std::array<QRgb, 256> palette{};
    if (indexed && bits == 8) {
        if (data.size() >= kHeaderSize + kVgaPaletteSize &&
            data[data.size() - kVgaPaletteSize] == 0x0C) {
            end = data.size() - kVgaPaletteSize;
            for (int i = 0; i < 256; ++i)
                palette[size_t(i)] = rgbAt(data, end + 1 + 3 * i);
        } else {
            for (int i = 0; i < 256; ++i)
                palette[size_t(i)] = qRgb(i, i, i);
        }
    } else if (indexed && bits == 1) {
        palette[0] = qRgb(0, 0, 0);
        palette[1] = qRgb(255, 255, 255);
    } else {
        for (int i = 0; i < 16; ++i)
            palette[size_t(i)] = rgbAt(data, 16 + 3 * i);
    }

    // A file far too short for its size is refused before the picture is allocated.
    const qint64 packed = end - kHeaderSize;
    if (packed * (encoding == 1 ? kMaxRunExpansion : 1) < lineBytes * height)
        return {};

    QImage image(width, height, QImage::Format_RGB32);
    if (image.isNull())
        return {};
    std::vector<uchar> line(static_cast<size_t>(lineBytes));
    LineDecoder decoder(data, kHeaderSize, end, encoding == 1);
    for (int y = 0; y < height; ++y) {
        if (!decoder.next(line))
            return {};
        auto* out = reinterpret_cast<QRgb*>(image.scanLine(y));
        const uchar* p = line.data();
        for (int x = 0; x < width; ++x) {
            if (truecolor) {
                out[x] = qRgb(p[x], p[bytesPerLine + x], p[2 * bytesPerLine + x]);
            } else if (planar) {
                int index = 0;
                for (int plane = 0; plane < planes; ++plane)
                    index |= ((p[plane * bytesPerLine + x / 8] >> (7 - x % 8)) & 1) << plane;
                out[x] = palette[size_t(index)];
            } else {
                const int perByte = 8 / bits;
                const int shift = 8 - bits - (x % perByte) * bits;
                const int index = (p[x / perByte] >> shift) & ((1 << bits) - 1);
                out[x] = palette[size_t(index)];
            }
        }
    }
    return image;
}
