#include "CPictureEx.h"

#include "base/SafeFile.h"
#include "model/ItemKinds.h"

#include <QFile>

namespace {

int byteAt(QByteArrayView data, qsizetype pos)
{
    return static_cast<uchar>(data[pos]);
}

} // namespace

bool CPictureEx::Load(const QString& path)
{
    QByteArray bytes;
    if (SafeFile::readAll(path, &bytes) != SafeFile::ReadError::None)
        return false;
    try {
        return Parse(bytes);
    } catch (const std::bad_alloc&) {
        return false;
    }
}

qsizetype CPictureEx::subBlocks(QByteArrayView data, qsizetype pos)
{
    const qsizetype start = pos;
    for (;;) {
        if (pos >= data.size())
            return -1;
        const int length = byteAt(data, pos);
        pos += 1 + length;
        if (length == 0)
            return pos - start;
    }
}

qsizetype CPictureEx::blockLength(QByteArrayView data, qsizetype pos)
{
    if (pos >= data.size())
        return -1;
    qsizetype length = -1;
    const int kind = byteAt(data, pos);
    if (kind == 0x3B)
        return 1;
    if (kind == 0x2C) {
        if (pos + 10 > data.size())
            return -1;
        const int packed = byteAt(data, pos + 9);
        const qsizetype table = (packed & 0x80) ? 3 * (qsizetype(2) << (packed & 7)) : 0;
        const qsizetype head = 10 + table + 1; // LZW minimum code size byte
        if (pos + head > data.size())
            return -1;
        const qsizetype rest = subBlocks(data, pos + head);
        length = rest < 0 ? -1 : head + rest;
    } else if (kind == 0x21 && pos + 1 < data.size()) {
        switch (byteAt(data, pos + 1)) {
        case 0xF9:
            length = 8;
            break;
        case 0xFF: {
            const qsizetype rest = subBlocks(data, pos + 14);
            length = rest < 0 ? -1 : 14 + rest;
            break;
        }
        case 0xFE: {
            const qsizetype rest = subBlocks(data, pos + 2);
            length = rest < 0 ? -1 : 2 + rest;
            break;
        }
        case 0x01: {
            const qsizetype rest = subBlocks(data, pos + 15);
            length = rest < 0 ? -1 : 15 + rest;
            break;
        }
        default:
            break;
        }
    }
    if (length < 0 || pos + length > data.size())
        return -1;
    return length;
}

qsizetype CPictureEx::globalTableBytes(QByteArrayView data)
{
    const int packed = byteAt(data, 10);
    return (packed & 0x80) ? 3 * (qsizetype(2) << (packed & 7)) : 0;
}

bool CPictureEx::nextFrame(QByteArrayView data, qsizetype& pos, Span& frame)
{
    bool control = false;
    qsizetype start = pos;
    for (;;) {
        const qsizetype length = blockLength(data, pos);
        if (length < 0)
            return false;
        const int kind = byteAt(data, pos);
        const int label = kind == 0x21 ? byteAt(data, pos + 1) : 0;
        if (kind == 0x3B)
            return false;
        if (kind == 0x21 && (label == 0xFF || label == 0xFE)) {
            pos += length;
            if (!control)
                start = pos;
            continue;
        }
        if (kind == 0x21 && label == 0xF9) {
            if (!control)
                start = pos;
            control = true;
            pos += length;
            continue;
        }
        // An image or a plain-text extension ends the frame.
        pos += length;
        frame = Span{control ? start : pos - length, pos};
        return true;
    }
}

bool CPictureEx::Parse(QByteArrayView data)
{
    if (m_loaded)
        Unload();
    m_loaded = true;
    m_isGif = data.size() >= 3 && data.first(3) == QByteArrayView("GIF");
    if (!m_isGif || data.size() < 13) {
        m_isGif = false;
        m_still = QImage::fromData(data);
        m_size = m_still.size();
        return !m_still.isNull();
    }
    m_size =
        QSize(byteAt(data, 6) | (byteAt(data, 7) << 8), byteAt(data, 8) | (byteAt(data, 9) << 8));
    m_globalTable = globalTableBytes(data);
    if (m_globalTable > 0) {
        const qsizetype entry = 13 + 3 * qsizetype(byteAt(data, 11));
        if (entry + 3 <= data.size() && 3 * byteAt(data, 11) < m_globalTable)
            m_background = byteAt(data, entry) | (byteAt(data, entry + 1) << 8) |
                           (byteAt(data, entry + 2) << 16);
    }
    const qsizetype first = 13 + m_globalTable;
    if (first > data.size())
        return false;
    const std::vector<Span> spans = frameSpans(data, first);
    m_frameCount = static_cast<int>(spans.size());
    if (spans.size() <= 1) {
        m_still = QImage::fromData(data, "GIF");
        return !m_still.isNull();
    }
    // Decoded frames take width x height x 4 bytes each: a small file of many frames on a large
    // screen must not ask for gigabytes. Frames past the budget are left out.
    const qint64 frameBytes =
        qint64(std::max(1, m_size.width())) * std::max(1, m_size.height()) * 4;
    qint64 decodedBytes = 0;
    for (const Span& span : spans) {
        if (decodedBytes + frameBytes > kMaxDecodedBytes)
            break;
        QImage frame = decodeFrame(data, first, span);
        if (!frame.isNull()) {
            decodedBytes += frameBytes;
            m_frames.push_back(std::move(frame));
        }
    }
    return !m_frames.empty();
}

std::vector<CPictureEx::Span> CPictureEx::frameSpans(QByteArrayView data, qsizetype first)
{
    std::vector<Span> spans;
    qsizetype pos = first;
    Span span{};
    while (nextFrame(data, pos, span))
        spans.push_back(span);
    return spans;
}

// One frame on its own: the header and global table, the frame's blocks, the trailer.
QImage CPictureEx::decodeFrame(QByteArrayView data, qsizetype first, const Span& span)
{
    QByteArray single;
    single.reserve(first + (span.end - span.start) + 1);
    single.append(data.first(first));
    single.append(data.sliced(span.start, span.end - span.start));
    single.append(char(0x3B));
    return QImage::fromData(single, "GIF");
}

bool IsAnimatedGif(const QString& path)
{
    if (fileExtension(path).compare(QLatin1String("GIF"), Qt::CaseInsensitive) != 0)
        return false;
    QByteArray data;
    if (SafeFile::readAll(path, &data) != SafeFile::ReadError::None)
        return false;
    // The frames are counted by walking the blocks; only the first few are decoded, to see that
    // at least two of them are pictures.
    return CPictureEx::decodableFrames(data, 2) >= 2;
}

int CPictureEx::decodableFrames(QByteArrayView data, int enough)
{
    if (data.size() < 13 || data.first(3) != QByteArrayView("GIF"))
        return 0;
    const qsizetype first = 13 + globalTableBytes(data);
    if (first > data.size())
        return 0;
    const std::vector<Span> spans = frameSpans(data, first);
    if (spans.size() < 2)
        return static_cast<int>(spans.size());
    constexpr size_t kTried = 8;
    int decoded = 0;
    for (size_t i = 0; i < spans.size() && i < kTried && decoded < enough; ++i)
        decoded += !decodeFrame(data, first, spans[i]).isNull();
    return decoded;
}
