#pragma once

#include <QByteArrayView>
#include <QImage>
#include <QSize>
#include <QString>

#include <vector>

// The GIF reader: walks the block structure of a GIF, counts its frames and splits an animated
// file into one single-frame GIF per frame, each decoded; anything else is decoded as one still
// picture. Every walk stays inside the data.
class CPictureEx
{
public:
    bool Load(const QString& path);
    bool Parse(QByteArrayView data);
    void Unload() { *this = CPictureEx(); }

    bool isGif() const { return m_isGif; }
    QSize size() const { return m_size; }
    int backgroundColor() const { return m_background; } // COLORREF
    // Frames counted by the block walk, and the frames that decoded.
    int frameCount() const { return m_frameCount; }
    const std::vector<QImage>& frames() const { return m_frames; }
    const QImage& still() const { return m_still; }
    bool isAnimated() const { return m_frames.size() > 1; }

    // Decoded frames of one file take at most this much memory.
    static constexpr qint64 kMaxDecodedBytes = 256 * 1024 * 1024;
    // How many of the first frames decode, counting up to `enough`; the rest are only walked.
    static int decodableFrames(QByteArrayView data, int enough);

private:
    // One frame's blocks: [start, end) in the data.
    struct Span
    {
        qsizetype start;
        qsizetype end;
    };
    // The next frame from the read position; false when there is none.
    static bool nextFrame(QByteArrayView data, qsizetype& pos, Span& frame);
    // Length of the block at pos, or -1 when no block starts there or it runs past the end.
    static qsizetype blockLength(QByteArrayView data, qsizetype pos);
    static qsizetype subBlocks(QByteArrayView data, qsizetype pos);
    static std::vector<Span> frameSpans(QByteArrayView data, qsizetype first);
    // Bytes of the global colour table after a header of at least 13 bytes.
    static qsizetype globalTableBytes(QByteArrayView data);
    static QImage decodeFrame(QByteArrayView data, qsizetype first, const Span& span);

    bool m_loaded = false;
    bool m_isGif = false;
    QSize m_size;
    qsizetype m_globalTable = 0;
    int m_background = 0x00FFFFFF;
    int m_frameCount = 0;
    QImage m_still;
    std::vector<QImage> m_frames;
};

// Whether a file named .gif holds more than one frame that decodes; frames are counted without
// decoding them, and only the first few are decoded.
bool IsAnimatedGif(const QString& path);
