#pragma once

#include <QByteArray>
#include <QImage>
#include <QRect>
#include <QSize>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>

// One decoded picture, scaled to the item's fit on the area: the whole area's picture, bars
// included, and when it is due.
struct VideoFrame
{
    QImage picture;        // Format_RGB32, the area's size; the decoder's own buffer
    qint64 ptsUs = 0;      // presentation time from the first frame, over all passes
    qint64 durationUs = 0; // until the next frame, as the stream says
    qint64 index = 0;      // frames decoded before it, over all passes
};

// Video files decoded with FFmpeg's libraries on a thread of its own into a few preallocated
// pictures: at most kMostFrames, and at most kMostQueueBytes of them. Every frame is scaled once
// (swscale) straight to its place on the area; the bars around it hold the background given,
// drawn once per buffer. A truncated or damaged file yields what decodes and ends.
//
// Threads: open(), start() and the destructor on the owner's thread (the play thread); frameAt()
// and release() on the same thread. The decoder thread never throws and ends at a stop, also in
// the middle of a read (the demuxer's interrupt callback).
class VideoDecoder
{
public:
    static constexpr int kMostFrames = 4;
    static constexpr qint64 kMostQueueBytes = 32 * 1024 * 1024;

    struct Options
    {
        QSize area;         // the picture the frames fill
        int fitMode = 2;    // 0 centre, 1 zoom (bars), 2 stretch, 3 and above fill (cropped)
        QImage background;  // the area's background (bars); null: black
        qint64 startUs = 0; // where each pass starts in the file
        int passes = 1;     // how often the file plays; 0: for ever
        // Asked while the file is opened and read (also on the decoder thread): true ends it.
        std::function<bool()> stopRequested;
    };

    // Where the video goes: the part of the video shown and the area's rectangle it fills.
    struct Placement
    {
        QRect source;
        QRect target;
    };
    static Placement placement(QSize video, QSize area, int fitMode);

    enum class Status
    {
        Ready,   // the frame is there
        Pending, // not decoded yet: ask again
        Ended,   // no more frames
    };

    VideoDecoder();
    ~VideoDecoder();
    VideoDecoder(const VideoDecoder&) = delete;
    VideoDecoder& operator=(const VideoDecoder&) = delete;

    // Opens the file (or the bytes, kept by the decoder) and its best video stream; false with a
    // text for the user when there is no video stream or no decoder for it.
    bool open(const QString& path, const Options& options, QString* error);
    bool openMemory(const QByteArray& bytes, const Options& options, QString* error);
    // Starts the decoder thread.
    void start();
    // Ends the decoder thread (also waiting for a read); the frames stay readable.
    void stop();

    // The frame `position` places after the oldest not released (0 or 1), waiting at most
    // `wait` of real time for it.
    Status frameAt(int position, std::chrono::milliseconds wait, const VideoFrame** frame);
    // Gives the oldest frame back to the decoder.
    void release();

    // The stream's size and frame rate (frames a second, 0 unknown), once open.
    QSize videoSize() const;
    double frameRate() const;
    // How many buffers the queue has.
    int bufferCount() const;
    // The pictures decoded so far (all passes).
    qint64 decodedCount() const;

    // Decodes every frame of the bytes at once, on this thread, without the queue's thread:
    // for the fuzz target. The number of frames.
    static int decodeAll(const QByteArray& bytes, QSize area, int fitMode);

private:
    class Impl;
    std::unique_ptr<Impl> m_impl;
};
