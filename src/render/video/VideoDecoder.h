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

// Video files decoded with FFmpeg's libraries into a few preallocated pictures: at most
// kMostFrames, and at most kMostQueueBytes of them. Every frame is scaled once (swscale) straight
// to its place on the area; the bars around it hold the background given, drawn once per buffer.
// A truncated or damaged file yields what decodes and ends.
//
// Two threads of its own: the reader demuxes, queues the video's packets (bounded by count and
// bytes) and decodes the sound, when asked for, into a ring of kAudioRingMs of 16-bit samples;
// the video thread decodes the queued packets into the pictures. So a file whose sound lies
// seconds after its pictures still feeds both. Sound and pictures share one timeline: time 0 is
// where a pass starts, and passes follow each other on it; a timestamp that jumps (joined
// transport streams) is taken as following on.
//
// Threads: open(), start() and the destructor on the owner's thread (the play thread); frameAt()
// and release() on the same thread; readAudio() on one thread (the sound's). The decoder's
// threads never throw and end at a stop, also in the middle of a read (the demuxer's interrupt
// callback).
class VideoDecoder
{
public:
    static constexpr int kMostFrames = 4;
    static constexpr qint64 kMostQueueBytes = 32 * 1024 * 1024;
    // The video's packets read ahead: at most this many, of at most this many bytes.
    static constexpr int kMostPackets = 512;
    static constexpr qint64 kMostPacketBytes = 16 * 1024 * 1024;
    static constexpr int kAudioRingMs = 2000;

    struct Options
    {
        QSize area;         // the picture the frames fill
        int fitMode = 2;    // 0 centre, 1 zoom (bars), 2 stretch, 3 and above fill (cropped)
        QImage background;  // the area's background (bars); null: black
        qint64 startUs = 0; // where each pass starts in the file
        int passes = 1;     // how often the file plays; 0: for ever
        // The sound, decoded and resampled to this rate and count of channels (0: no sound).
        int audioRate = 0;
        int audioChannels = 2;
        // Decode on the GPU (VA-API) where the PC has a device for it; software otherwise.
        bool hardware = false;
        // Asked while the file is opened and read (also on the decoder thread): true ends it.
        std::function<bool()> stopRequested;
    };

    // Where the video goes: the part of the video shown and the area's rectangle it fills.
    struct Placement
    {
        QRect source;
        QRect target;
    };
    // `pixelAspect`: a stored pixel's width over its height (anamorphic video is wider shown).
    static Placement placement(QSize video, QSize area, int fitMode, double pixelAspect = 1.0);

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

    // Whether the file's sound is decoded (asked for, and a stream that opened).
    bool hasAudio() const;
    // Up to `most` frames (a sample for each channel) of the sound, from the oldest not read;
    // `first` gets the timeline's sample number of the first (samples at Options::audioRate
    // from time 0). 0 when none is decoded yet, or -1 when the sound has ended.
    int readAudio(qint16* out, int most, qint64* first);
    // Nobody plays the sound: the reader stops keeping it.
    void discardAudio();
    // Whether the pictures come from the GPU.
    bool decodesOnHardware() const;

    // The stream's size and frame rate (frames a second, 0 unknown), once open.
    QSize videoSize() const;
    double frameRate() const;
    // How many buffers the queue has.
    int bufferCount() const;
    // The pictures decoded so far (all passes).
    qint64 decodedCount() const;

    // Decodes every frame of the bytes, sound included, taking each as it comes: for the fuzz
    // target. The number of pictures.
    static int decodeAll(const QByteArray& bytes, QSize area, int fitMode);

private:
    class Impl;
    std::unique_ptr<Impl> m_impl;
};
