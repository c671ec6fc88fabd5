#include "VideoDecoder.h"

#include "base/StringTable.h"
#include "render/RenderLog.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
#include <libavutil/hwcontext.h>
#include <libavutil/imgutils.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <QFileInfo>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// The number an enumeration field holds, whether or not it is one of its enumerators.
template <class Enum>
int rawEnum(const Enum& field)
{
    static_assert(sizeof(Enum) == sizeof(int));
    int value = 0;
    std::memcpy(&value, &field, sizeof value);
    return value;
}

struct FormatCloser
{
    void operator()(AVFormatContext* c) const { avformat_close_input(&c); }
};
struct CodecFreer
{
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameFreer
{
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketFreer
{
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct ScalerFreer
{
    void operator()(SwsContext* s) const { sws_freeContext(s); }
};
struct ResamplerFreer
{
    void operator()(SwrContext* s) const { swr_free(&s); }
};
struct BufferFreer
{
    void operator()(AVBufferRef* b) const { av_buffer_unref(&b); }
};
struct IoFreer
{
    void operator()(AVIOContext* io) const
    {
        av_freep(&io->buffer);
        avio_context_free(&io);
    }
};

constexpr AVRational kMicroseconds{1, 1000000};
constexpr qint64 kFallbackFrameUs = 40000; // 25 fps when the stream says nothing
constexpr int kIoBufferBytes = 64 * 1024;
constexpr int kMostVideoPixels = 8192 * 4320; // 8K
// Timestamps further apart than this (and four pictures) are a jump, not a gap; a gap in the
// sound up to it is silence.
constexpr qint64 kMostGapUs = 2'000'000;
// Times further than this either way, and picture lengths over kMostDurationUs, come from
// damage: taken as no time, so that the sums of a few of them never overflow.
constexpr qint64 kMostTimeUs = qint64(1) << 50; // 35 years
constexpr qint64 kMostDurationUs = 600'000'000;
// QImage's RGB32 in memory.
constexpr AVPixelFormat kOutFormat =
    Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? AV_PIX_FMT_BGRA : AV_PIX_FMT_ARGB;

// `ts` of time base `base` in microseconds; AV_NOPTS_VALUE for none, or for one out of reach.
qint64 toUs(qint64 ts, AVRational base)
{
    if (ts == AV_NOPTS_VALUE)
        return AV_NOPTS_VALUE;
    const qint64 us = av_rescale_q(ts, base, kMicroseconds);
    return us > kMostTimeUs || us < -kMostTimeUs ? AV_NOPTS_VALUE : us;
}

// A packet's or picture's length in microseconds; 0 for none, or for one beyond belief.
qint64 durationToUs(qint64 duration, AVRational base)
{
    if (duration <= 0)
        return 0;
    const qint64 us = av_rescale_q(duration, base, kMicroseconds);
    return us > 0 && us <= kMostDurationUs ? us : 0;
}

// FFmpeg's messages (damaged files make many) go to this layer's debug log, not to stderr.
void logCallback(void* avcl, int level, const char* format, va_list args)
{
    if (level > AV_LOG_ERROR || !lcRender().isDebugEnabled())
        return;
    char line[512];
    int prefix = 1;
    av_log_format_line(avcl, level, format, args, line, sizeof line, &prefix);
    qCDebug(lcRender, "ffmpeg: %s", line);
}

void setUpLibraries()
{
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_callback(&logCallback); });
}

// Asks the decoder for the GPU's pictures (VA-API) where this machine has a device for it and
// the codec offers it; false (software) otherwise. Told once a run, either way.
bool useHardware(AVCodecContext& codec, const AVCodec* decoder,
                 std::unique_ptr<AVBufferRef, BufferFreer>* device)
{
    static std::atomic<bool> told{false};
    const auto tell = [](const char* text, const char* detail) {
        if (!told.exchange(true))
            qCInfo(lcRender, "video: %s%s", text, detail);
    };
    bool offered = false;
    for (int i = 0;; ++i) {
        const AVCodecHWConfig* config = avcodec_get_hw_config(decoder, i);
        if (!config)
            break;
        offered = offered || ((config->methods & AV_CODEC_HW_CONFIG_METHOD_HW_DEVICE_CTX) != 0 &&
                              config->device_type == AV_HWDEVICE_TYPE_VAAPI);
    }
    if (!offered) {
        tell("no VA-API decoding for this codec: decoding in software: ", decoder->name);
        return false;
    }
    AVBufferRef* created = nullptr;
    const int rc = av_hwdevice_ctx_create(&created, AV_HWDEVICE_TYPE_VAAPI, nullptr, nullptr, 0);
    if (rc < 0) {
        char why[AV_ERROR_MAX_STRING_SIZE] = {};
        av_strerror(rc, why, sizeof why);
        tell("no VA-API device, decoding in software: ", why);
        return false;
    }
    device->reset(created);
    codec.hw_device_ctx = av_buffer_ref(created);
    if (!codec.hw_device_ctx)
        return false;
    tell("decoding on the GPU (VA-API)", "");
    return true;
}

QString openError(const QString& name)
{
    return dialogText("%1 does not open as a video.", "%1 无法作为视频打开。").arg(name);
}

} // namespace

class VideoDecoder::Impl
{
public:
    struct MemoryInput
    {
        QByteArray bytes;
        qint64 position = 0;
    };
    struct Slot
    {
        VideoFrame frame;
        int geometry = -1; // the placement its background was drawn for
    };
    // What the reader hands the video thread: a packet, or where a pass or the file ends.
    enum class Mark
    {
        Packet,
        PassEnd,
        End,
    };
    struct Entry
    {
        AVPacket* packet = nullptr; // owned by `packetPool`
        Mark mark = Mark::Packet;
        qint64 passUs = 0; // PassEnd: the pass's length on the timeline
    };
    // A stream's timestamps as the reader sees them, for the jumps of joined recordings.
    struct Track
    {
        qint64 endUs = AV_NOPTS_VALUE; // where its last packet ended
        qint64 shiftUs = 0;            // added to every time after a jump
    };

    ~Impl() { stop(); }

    bool open(const QString& url, const QString& name, const Options& options, QString* error);
    void startThreads();
    void stop();
    bool stopping() const
    {
        return stopFlag.load(std::memory_order_relaxed) ||
               (options.stopRequested && options.stopRequested());
    }

    // FFmpeg's interrupt callback: a stop ends a read that waits, and an open that probes.
    static int interrupted(void* opaque) { return static_cast<Impl*>(opaque)->stopping() ? 1 : 0; }
    static int readMemory(void* opaque, uint8_t* buffer, int size);
    static int64_t seekMemory(void* opaque, int64_t offset, int whence);
    static AVPixelFormat pickFormat(AVCodecContext* context, const AVPixelFormat* offered);

    Options options;
    MemoryInput memory;
    // Declared before the format context, so that it goes after it.
    std::unique_ptr<AVIOContext, IoFreer> io;
    std::unique_ptr<AVFormatContext, FormatCloser> format;
    std::unique_ptr<AVCodecContext, CodecFreer> codec;
    std::unique_ptr<AVCodecContext, CodecFreer> audioCodec;
    std::unique_ptr<AVBufferRef, BufferFreer> hardwareDevice;
    int streamIndex = -1;
    int audioIndex = -1;
    AVRational timeBase{1, 1};
    AVRational audioTimeBase{1, 1};
    qint64 startTs = 0;  // where a pass starts, in the video's time base
    qint64 originUs = 0; // the same, in microseconds: time 0 of every pass
    qint64 streamFrameUs = kFallbackFrameUs;
    QSize size;
    double rate = 0;
    bool onHardware = false;

    std::atomic<bool> stopFlag{false};
    std::atomic<bool> audioDiscarded{false};
    std::thread reader;
    std::thread video;

    std::mutex mutex;
    std::condition_variable changed;
    // The pictures.
    std::vector<Slot> buffers;
    std::vector<int> ready; // oldest first
    std::vector<int> spare;
    bool videoEnded = false;
    std::atomic<qint64> decoded{0};
    // The video's packets, a ring of entries over a pool allocated at the open.
    std::vector<std::unique_ptr<AVPacket, PacketFreer>> packetPool;
    std::vector<Entry> packets;
    size_t packetHead = 0;
    size_t packetCount = 0;
    qint64 packetBytes = 0;
    size_t enoughPackets = 0; // what is read ahead when the sound has enough too
    // The sound: interleaved samples, ring[(n % ringFrames) * channels] being sample n of the
    // timeline, for n from audioRead to audioWrite.
    std::vector<qint16> ring;
    qint64 ringFrames = 0;
    qint64 audioRead = 0;
    qint64 audioWrite = 0;
    bool audioEnded = false;

private:
    // The reader.
    void readLoop();
    bool readPass(qint64* passUs, bool* anyVideo);
    bool queue(AVPacket* from, Mark mark, qint64 passUs);
    void mend(AVPacket& p, Track& track, AVRational base);
    bool decodeAudio(const AVPacket* p);
    bool pushAudio();
    bool writeAudio(const qint16* samples, qint64 frames);
    bool seekToStart();
    // The video thread.
    void videoLoop();
    bool receiveAll(bool* any);
    bool deliver(AVFrame& f, bool* any);
    void scale(AVFrame& f, Slot& slot);

    // The reader's own.
    std::unique_ptr<AVPacket, PacketFreer> m_packet;
    std::unique_ptr<AVFrame, FrameFreer> m_audioFrame;
    std::unique_ptr<SwrContext, ResamplerFreer> m_resampler;
    std::vector<qint16> m_resampled;
    int m_resampleRate = 0;
    int m_resampleFormat = -1;
    AVChannelLayout m_resampleLayout{};
    Track m_videoTrack;
    Track m_audioTrack;
    qint64 m_audioBaseUs = 0; // the timeline's time where the reader's pass starts
    bool m_audioStarted = false;

    // The video thread's own.
    std::unique_ptr<AVFrame, FrameFreer> m_frame;
    std::unique_ptr<AVFrame, FrameFreer> m_softwareFrame;
    std::unique_ptr<SwsContext, ScalerFreer> m_scaler;
    int m_geometry = 0;
    QSize m_lastSize;
    int m_lastFormat = -1;
    AVRational m_lastAspect{0, 1};
    Placement m_place;
    const SwsContext* m_configured = nullptr;
    qint64 m_passBaseUs = 0;
    qint64 m_lastUs = -1; // the last picture's time on the timeline
    qint64 m_lastDurUs = 0;
    qint64 m_index = 0;
};

int VideoDecoder::Impl::readMemory(void* opaque, uint8_t* buffer, int size)
{
    auto& in = static_cast<Impl*>(opaque)->memory;
    const qint64 left = in.bytes.size() - in.position;
    if (left <= 0)
        return AVERROR_EOF;
    const int n = int(std::min<qint64>(left, size));
    std::memcpy(buffer, in.bytes.constData() + in.position, size_t(n));
    in.position += n;
    return n;
}

int64_t VideoDecoder::Impl::seekMemory(void* opaque, int64_t offset, int whence)
{
    auto& in = static_cast<Impl*>(opaque)->memory;
    const qint64 total = in.bytes.size();
    if (whence & AVSEEK_SIZE)
        return total;
    whence &= ~AVSEEK_FORCE;
    qint64 to = 0;
    if (whence == SEEK_SET)
        to = offset;
    else if (whence == SEEK_CUR)
        to = in.position + offset;
    else if (whence == SEEK_END)
        to = total + offset;
    else
        return -1;
    if (to < 0 || to > total)
        return -1;
    in.position = to;
    return to;
}

AVPixelFormat VideoDecoder::Impl::pickFormat(AVCodecContext* context, const AVPixelFormat* offered)
{
    // The GPU's pictures when the decoder offers them for this stream; otherwise (a profile the
    // GPU lacks, or its set-up failed and the decoder asks again) the software formats.
    for (const AVPixelFormat* f = offered; *f != AV_PIX_FMT_NONE; ++f)
        if (*f == AV_PIX_FMT_VAAPI)
            return *f;
    return avcodec_default_get_format(context, offered);
}

bool VideoDecoder::Impl::open(const QString& url, const QString& name, const Options& wanted,
                              QString* error)
{
    setUpLibraries();
    options = wanted;
    const auto fail = [&](const QString& why) {
        if (error)
            *error = why;
        return false;
    };
    if (options.area.isEmpty())
        return fail(openError(name));
    AVFormatContext* raw = avformat_alloc_context();
    if (!raw)
        return fail(loadString(StringId::OutOfMemory));
    raw->interrupt_callback = AVIOInterruptCB{&Impl::interrupted, this};
    if (io)
        raw->pb = io.get();
    // A playlist or a concatenation never reaches beyond local files.
    AVDictionary* dictionary = nullptr;
    av_dict_set(&dictionary, "protocol_whitelist", "file", 0);
    const int opened = avformat_open_input(&raw, url.toUtf8().constData(), nullptr, &dictionary);
    av_dict_free(&dictionary);
    if (opened < 0)
        return fail(openError(name)); // raw is freed
    format.reset(raw);
    if (avformat_find_stream_info(raw, nullptr) < 0)
        return fail(openError(name));

    const AVCodec* decoder = nullptr;
    streamIndex = av_find_best_stream(raw, AVMEDIA_TYPE_VIDEO, -1, -1, &decoder, 0);
    if (streamIndex >= 0 &&
        (raw->streams[streamIndex]->disposition & AV_DISPOSITION_ATTACHED_PIC) != 0)
        streamIndex = AVERROR_STREAM_NOT_FOUND; // a cover picture is no video
    if (streamIndex == AVERROR_DECODER_NOT_FOUND || (streamIndex >= 0 && !decoder)) {
        const char* codecName = "?";
        for (unsigned i = 0; i < raw->nb_streams; ++i)
            if (raw->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) {
                codecName = avcodec_get_name(raw->streams[i]->codecpar->codec_id);
                break;
            }
        return fail(dialogText("%1: this build cannot decode its video (%2).",
                               "%1：本程序无法解码其视频（%2）。")
                        .arg(name, QString::fromUtf8(codecName)));
    }
    if (streamIndex < 0)
        return fail(dialogText("%1 holds no video.", "%1 不含视频。").arg(name));
    AVStream* stream = raw->streams[streamIndex];

    codec.reset(avcodec_alloc_context3(decoder));
    if (!codec || avcodec_parameters_to_context(codec.get(), stream->codecpar) < 0)
        return fail(loadString(StringId::OutOfMemory));
    codec->pkt_timebase = stream->time_base;
    codec->thread_count = 0;              // as many as the machine has
    codec->max_pixels = kMostVideoPixels; // a damaged header's giant frame is refused
    if (options.hardware)
        onHardware = useHardware(*codec, decoder, &hardwareDevice);
    if (onHardware)
        codec->get_format = &Impl::pickFormat;
    if (avcodec_open2(codec.get(), decoder, nullptr) < 0)
        return fail(dialogText("%1: this build cannot decode its video (%2).",
                               "%1：本程序无法解码其视频（%2）。")
                        .arg(name, QString::fromUtf8(decoder->name)));
    timeBase = stream->time_base;
    size = QSize(codec->width, codec->height);
    const AVRational frameRate = av_guess_frame_rate(raw, stream, nullptr);
    if (frameRate.num > 0 && frameRate.den > 0) {
        // A damaged header may claim billions of frames a second; the frame time is held to a
        // millisecond at least, and the rate to what that allows.
        rate = std::min(av_q2d(frameRate), 1000.0);
        streamFrameUs =
            std::clamp<qint64>(av_rescale(1000000, frameRate.den, frameRate.num), 1000, 10'000'000);
    }
    // A start time out of reach (damage) is taken as none.
    const qint64 streamStart =
        toUs(stream->start_time, timeBase) != AV_NOPTS_VALUE ? stream->start_time : 0;
    startTs = streamStart + av_rescale_q(std::clamp<qint64>(options.startUs, 0, kMostTimeUs),
                                         kMicroseconds, timeBase);
    originUs = toUs(startTs, timeBase);
    if (originUs == AV_NOPTS_VALUE)
        startTs = originUs = 0;

    // The sound, where it is asked for and decodes; a file plays without it otherwise.
    if (options.audioRate > 0 && options.audioChannels > 0) {
        const AVCodec* audioDecoder = nullptr;
        const int index =
            av_find_best_stream(raw, AVMEDIA_TYPE_AUDIO, -1, streamIndex, &audioDecoder, 0);
        if (index >= 0 && audioDecoder) {
            audioCodec.reset(avcodec_alloc_context3(audioDecoder));
            if (audioCodec &&
                avcodec_parameters_to_context(audioCodec.get(), raw->streams[index]->codecpar) >=
                    0 &&
                (audioCodec->pkt_timebase = raw->streams[index]->time_base,
                 avcodec_open2(audioCodec.get(), audioDecoder, nullptr) >= 0)) {
                audioIndex = index;
                audioTimeBase = raw->streams[index]->time_base;
            } else {
                audioCodec.reset();
            }
        }
    }
    for (unsigned i = 0; i < raw->nb_streams; ++i)
        if (int(i) != streamIndex && int(i) != audioIndex)
            raw->streams[i]->discard = AVDISCARD_ALL;
    if (options.startUs > 0)
        seekToStart();

    m_frame.reset(av_frame_alloc());
    m_softwareFrame.reset(av_frame_alloc());
    m_audioFrame.reset(av_frame_alloc());
    m_packet.reset(av_packet_alloc());
    if (!m_frame || !m_softwareFrame || !m_audioFrame || !m_packet)
        return fail(loadString(StringId::OutOfMemory));

    // The queue: a few pictures of the area, fewer when they are large; two at least, one shown
    // and the next one known.
    const qint64 bytes = qint64(options.area.width()) * options.area.height() * 4;
    const int count =
        int(std::clamp<qint64>(kMostQueueBytes / std::max<qint64>(1, bytes), 2, kMostFrames));
    buffers.resize(size_t(count));
    ready.reserve(size_t(count));
    spare.reserve(size_t(count));
    for (int i = 0; i < count; ++i) {
        QImage picture(options.area, QImage::Format_RGB32);
        if (picture.isNull())
            return fail(loadString(StringId::OutOfMemory));
        buffers[size_t(i)].frame.picture = std::move(picture);
        spare.push_back(count - 1 - i);
    }
    // Packets: the pool, and entries for the pass marks beside them.
    packetPool.resize(size_t(kMostPackets));
    for (auto& p : packetPool) {
        p.reset(av_packet_alloc());
        if (!p)
            return fail(loadString(StringId::OutOfMemory));
    }
    packets.resize(size_t(kMostPackets));
    for (size_t i = 0; i < packets.size(); ++i)
        packets[i].packet = packetPool[i].get();
    enoughPackets = size_t(std::clamp(int(std::ceil(std::max(rate, 25.0) * 2)), 30, kMostPackets));
    if (audioIndex >= 0) {
        ringFrames = qint64(options.audioRate) * kAudioRingMs / 1000;
        ring.assign(size_t(ringFrames * options.audioChannels), 0);
    }
    if (options.background.size() != options.area ||
        options.background.format() != QImage::Format_RGB32) {
        QImage black(options.area, QImage::Format_RGB32);
        black.fill(Qt::black);
        if (!options.background.isNull()) {
            QImage converted = options.background.convertToFormat(QImage::Format_RGB32);
            if (converted.size() == options.area)
                black = std::move(converted);
        }
        options.background = std::move(black);
    }
    return true;
}

bool VideoDecoder::Impl::seekToStart()
{
    int rc = av_seek_frame(format.get(), streamIndex, startTs, AVSEEK_FLAG_BACKWARD);
    if (rc < 0 && options.startUs <= 0) // a stream without an index: back to its first byte
        rc = av_seek_frame(format.get(), -1, 0, AVSEEK_FLAG_BYTE);
    if (audioCodec)
        avcodec_flush_buffers(audioCodec.get());
    m_videoTrack = Track{};
    m_audioTrack = Track{};
    return rc >= 0;
}

void VideoDecoder::Impl::startThreads()
{
    // Nothing crosses a thread's edge: what was decoded plays, then the end.
    const auto guarded = [this](void (Impl::*loop)(), bool Impl::*ended) {
        try {
            (this->*loop)();
        } catch (...) {
        }
        {
            std::lock_guard lock(mutex);
            this->*ended = true;
        }
        changed.notify_all();
    };
    reader = std::thread(guarded, &Impl::readLoop, &Impl::audioEnded);
    video = std::thread(guarded, &Impl::videoLoop, &Impl::videoEnded);
}

void VideoDecoder::Impl::readLoop()
{
    for (int pass = 1;; ++pass) {
        qint64 passUs = 0;
        bool anyVideo = false;
        if (!readPass(&passUs, &anyVideo))
            return; // stopped, or the pictures have ended
        const bool last = !anyVideo || (options.passes > 0 && pass >= options.passes);
        if (audioCodec) {
            avcodec_send_packet(audioCodec.get(), nullptr); // what the decoder still holds
            if (!decodeAudio(nullptr))
                return;
        }
        // A pass that reads nothing ends the file: no endless rewinding.
        if (!queue(nullptr, last ? Mark::End : Mark::PassEnd, passUs) || last)
            return;
        m_audioBaseUs += passUs;
        if (!seekToStart())
            return;
    }
}

bool VideoDecoder::Impl::readPass(qint64* passUs, bool* anyVideo)
{
    qint64 endUs = 0; // the latest end of a picture, from the pass's start
    for (;;) {
        {
            // Read ahead while either stream needs it, never beyond the queue's bounds.
            std::unique_lock lock(mutex);
            const auto mayRead = [&] {
                if (stopFlag.load() || videoEnded)
                    return true;
                if (packetCount + 2 > packets.size() || packetBytes >= kMostPacketBytes)
                    return false;
                const bool audioNeeds = audioIndex >= 0 && !audioDiscarded.load() &&
                                        audioWrite - audioRead < ringFrames / 2;
                return packetCount < enoughPackets || audioNeeds;
            };
            changed.wait(lock, mayRead);
            if (stopFlag.load() || videoEnded)
                return false;
        }
        if (stopping())
            return false;
        if (av_read_frame(format.get(), m_packet.get()) < 0)
            break; // the end, or as far as a damaged file reads
        AVPacket& p = *m_packet;
        if (p.stream_index == streamIndex) {
            mend(p, m_videoTrack, timeBase);
            const qint64 tsUs = toUs(p.pts != AV_NOPTS_VALUE ? p.pts : p.dts, timeBase);
            if (tsUs != AV_NOPTS_VALUE) {
                const qint64 duration = durationToUs(p.duration, timeBase);
                endUs =
                    std::max(endUs, tsUs - originUs + (duration > 0 ? duration : streamFrameUs));
            }
            *anyVideo = true;
            if (!queue(&p, Mark::Packet, 0))
                return false;
        } else if (p.stream_index == audioIndex && audioIndex >= 0) {
            mend(p, m_audioTrack, audioTimeBase);
            const bool go = decodeAudio(&p);
            av_packet_unref(&p);
            if (!go)
                return false;
        } else {
            av_packet_unref(&p);
        }
    }
    // Pictures without times: the length of the sound decoded, or one picture.
    if (endUs <= 0)
        endUs = std::max(streamFrameUs,
                         av_rescale(audioWrite, 1000000, std::max(1, options.audioRate)) -
                             m_audioBaseUs);
    *passUs = endUs;
    return true;
}

bool VideoDecoder::Impl::queue(AVPacket* from, Mark mark, qint64 passUs)
{
    std::unique_lock lock(mutex);
    changed.wait(lock,
                 [&] { return packetCount < packets.size() || stopFlag.load() || videoEnded; });
    if (stopFlag.load() || videoEnded) {
        if (from)
            av_packet_unref(from);
        return false;
    }
    Entry& e = packets[(packetHead + packetCount) % packets.size()];
    e.mark = mark;
    e.passUs = passUs;
    if (from) {
        packetBytes += from->size;
        av_packet_move_ref(e.packet, from);
    }
    ++packetCount;
    lock.unlock();
    changed.notify_all();
    return true;
}

void VideoDecoder::Impl::mend(AVPacket& p, Track& track, AVRational base)
{
    // Joined recordings (transport streams) start their clock again, or jump on: taken as
    // following on, so that nothing waits out the jump nor rushes through it.
    // Times out of reach are damage: the packet goes on without them.
    if (toUs(p.pts, base) == AV_NOPTS_VALUE)
        p.pts = AV_NOPTS_VALUE;
    if (toUs(p.dts, base) == AV_NOPTS_VALUE)
        p.dts = AV_NOPTS_VALUE;
    const qint64 ts = p.dts != AV_NOPTS_VALUE ? p.dts : p.pts;
    if (ts == AV_NOPTS_VALUE)
        return;
    qint64 atUs = toUs(ts, base) + track.shiftUs;
    const qint64 durationUs = durationToUs(p.duration, base);
    if (track.endUs != AV_NOPTS_VALUE) {
        const qint64 jump = atUs - track.endUs;
        const qint64 forward =
            std::max<qint64>(kMostGapUs, 4 * std::max(durationUs, streamFrameUs));
        if (jump > forward || jump < -kMostGapUs / 4) {
            track.shiftUs -= jump;
            atUs -= jump;
            qCDebug(lcRender, "video: timestamps jump by %lld us, taken as following on",
                    static_cast<long long>(jump));
        }
    }
    if (track.shiftUs != 0) {
        const qint64 shift = av_rescale_q(track.shiftUs, kMicroseconds, base);
        for (int64_t* t : {&p.pts, &p.dts})
            if (*t != AV_NOPTS_VALUE && __builtin_add_overflow(*t, shift, t))
                *t = AV_NOPTS_VALUE;
    }
    track.endUs = atUs + durationUs;
}

bool VideoDecoder::Impl::decodeAudio(const AVPacket* p)
{
    if (p && avcodec_send_packet(audioCodec.get(), p) < 0)
        return true; // a damaged packet: on to the next
    for (;;) {
        if (avcodec_receive_frame(audioCodec.get(), m_audioFrame.get()) < 0)
            return true;
        const bool go = pushAudio();
        av_frame_unref(m_audioFrame.get());
        if (!go)
            return false;
    }
}

bool VideoDecoder::Impl::pushAudio()
{
    AVFrame& f = *m_audioFrame;
    if (f.nb_samples <= 0 || f.sample_rate <= 0 || f.ch_layout.nb_channels <= 0 ||
        audioDiscarded.load())
        return true;
    if (!m_resampler || f.sample_rate != m_resampleRate || f.format != m_resampleFormat ||
        av_channel_layout_compare(&f.ch_layout, &m_resampleLayout) != 0) {
        AVChannelLayout out{};
        av_channel_layout_default(&out, options.audioChannels);
        SwrContext* resampler = nullptr;
        const int rc = swr_alloc_set_opts2(&resampler, &out, AV_SAMPLE_FMT_S16, options.audioRate,
                                           &f.ch_layout, static_cast<AVSampleFormat>(f.format),
                                           f.sample_rate, 0, nullptr);
        av_channel_layout_uninit(&out);
        m_resampler.reset(resampler);
        if (rc < 0 || !m_resampler || swr_init(m_resampler.get()) < 0) {
            m_resampler.reset();
            return true; // a sound that does not convert is not played
        }
        m_resampleRate = f.sample_rate;
        m_resampleFormat = f.format;
        av_channel_layout_uninit(&m_resampleLayout);
        av_channel_layout_copy(&m_resampleLayout, &f.ch_layout);
    }
    const int most = swr_get_out_samples(m_resampler.get(), f.nb_samples);
    if (most <= 0)
        return true;
    const size_t need = size_t(most) * size_t(options.audioChannels);
    if (m_resampled.size() < need)
        m_resampled.resize(need); // grows to the largest frame once
    uint8_t* out[1] = {reinterpret_cast<uint8_t*>(m_resampled.data())};
    const int frames = swr_convert(m_resampler.get(), out, most,
                                   const_cast<const uint8_t**>(f.extended_data), f.nb_samples);
    if (frames <= 0)
        return true;

    // Where the samples go on the timeline: after the last ones unless the stream says
    // otherwise by more than a little (then a gap of silence, or the overlap cut off).
    const qint16* samples = m_resampled.data();
    qint64 count = frames;
    const qint64 ptsUs = toUs(f.best_effort_timestamp, audioTimeBase);
    qint64 expected = 0;
    {
        std::lock_guard lock(mutex);
        expected = audioWrite;
    }
    if (ptsUs != AV_NOPTS_VALUE) {
        const qint64 atUs = ptsUs - originUs + m_audioBaseUs;
        const qint64 at = av_rescale(atUs, options.audioRate, 1000000);
        const qint64 slack = options.audioRate / 500; // 2 ms
        qint64 gap = at - expected;
        if (!m_audioStarted && gap > 0 && atUs - m_audioBaseUs > kMostGapUs * 5)
            gap = 0; // sound that starts long after the pictures: taken as starting with them
        if (gap > slack && gap <= av_rescale(kMostGapUs, options.audioRate, 1000000)) {
            constexpr int kChunk = 1024;
            static const std::array<qint16, kChunk * 8> silence{};
            for (qint64 left = gap; left > 0;) {
                const qint64 n = std::min<qint64>(left, kChunk * 8 / options.audioChannels);
                if (!writeAudio(silence.data(), n))
                    return false;
                left -= n;
            }
        } else if (gap < -slack) {
            const qint64 cut = std::min(count, -gap);
            samples += cut * options.audioChannels;
            count -= cut;
        }
    }
    m_audioStarted = true;
    return count <= 0 || writeAudio(samples, count);
}

bool VideoDecoder::Impl::writeAudio(const qint16* samples, qint64 frames)
{
    const int channels = options.audioChannels;
    while (frames > 0) {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] {
            return stopFlag.load() || videoEnded || audioDiscarded.load() ||
                   audioWrite - audioRead < ringFrames || packetCount == 0;
        });
        if (stopFlag.load() || videoEnded)
            return false;
        if (audioDiscarded.load())
            return true;
        if (audioWrite - audioRead >= ringFrames) {
            // Full while the pictures wait for packets: nobody plays the sound this far ahead
            // (a file whose sound runs seconds before its pictures). The oldest goes.
            audioRead = audioWrite - ringFrames + std::min<qint64>(frames, ringFrames);
        }
        const qint64 room = ringFrames - (audioWrite - audioRead);
        const qint64 at = audioWrite % ringFrames;
        const qint64 n = std::min({frames, room, ringFrames - at});
        std::memcpy(ring.data() + at * channels, samples, size_t(n * channels) * sizeof(qint16));
        audioWrite += n;
        samples += n * channels;
        frames -= n;
        lock.unlock();
        changed.notify_all();
    }
    return true;
}

void VideoDecoder::Impl::videoLoop()
{
    bool anyThisPass = false;
    for (;;) {
        Entry entry;
        {
            std::unique_lock lock(mutex);
            changed.wait(lock, [&] { return packetCount > 0 || stopFlag.load(); });
            if (stopFlag.load())
                return;
            entry = packets[packetHead];
        }
        switch (entry.mark) {
        case Mark::Packet:
            avcodec_send_packet(codec.get(), entry.packet); // a damaged packet: on to the next
            break;
        case Mark::PassEnd:
        case Mark::End:
            avcodec_send_packet(codec.get(), nullptr);
            break;
        }
        {
            std::lock_guard lock(mutex);
            packetBytes -= entry.packet->size;
            av_packet_unref(entry.packet);
            packetHead = (packetHead + 1) % packets.size();
            --packetCount;
        }
        changed.notify_all();
        if (!receiveAll(&anyThisPass))
            return;
        if (entry.mark == Mark::End)
            return;
        if (entry.mark == Mark::PassEnd) {
            if (!anyThisPass)
                return; // nothing decodes: no endless rewinding
            avcodec_flush_buffers(codec.get());
            m_passBaseUs += entry.passUs;
            anyThisPass = false;
        }
    }
}

bool VideoDecoder::Impl::receiveAll(bool* any)
{
    for (;;) {
        const int rc = avcodec_receive_frame(codec.get(), m_frame.get());
        if (rc < 0)
            return true; // wants input, drained, or a frame that does not decode
        bool go = true;
        if (m_frame->format == AV_PIX_FMT_VAAPI) {
            // The GPU's picture, copied to memory for the scaler; one that does not copy is
            // passed over.
            av_frame_unref(m_softwareFrame.get());
            if (av_hwframe_transfer_data(m_softwareFrame.get(), m_frame.get(), 0) >= 0 &&
                av_frame_copy_props(m_softwareFrame.get(), m_frame.get()) >= 0)
                go = deliver(*m_softwareFrame, any);
            av_frame_unref(m_softwareFrame.get());
        } else {
            go = deliver(*m_frame, any);
        }
        av_frame_unref(m_frame.get());
        if (!go)
            return false;
    }
}

bool VideoDecoder::Impl::deliver(AVFrame& f, bool* any)
{
    if (f.width <= 0 || f.height <= 0)
        return true;
    const qint64 ptsUs = toUs(f.best_effort_timestamp, timeBase);
    if (ptsUs != AV_NOPTS_VALUE && ptsUs < originUs && options.startUs > 0)
        return true; // before the start, after a seek to the key frame before it
    qint64 atUs = m_lastUs < 0 ? m_passBaseUs : m_lastUs + m_lastDurUs;
    if (ptsUs != AV_NOPTS_VALUE)
        atUs = m_passBaseUs + std::max<qint64>(0, ptsUs - originUs);
    atUs = std::max(atUs, m_lastUs); // times never go back
#if LIBAVUTIL_VERSION_INT >= AV_VERSION_INT(57, 30, 100)
    const qint64 duration = f.duration;
#else
    const qint64 duration = f.pkt_duration;
#endif
    qint64 durUs = durationToUs(duration, timeBase);
    if (durUs <= 0)
        durUs = streamFrameUs;

    int index = -1;
    {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return !spare.empty() || stopFlag.load(); });
        if (stopFlag.load())
            return false;
        index = spare.back();
        spare.pop_back();
    }
    Slot& slot = buffers[size_t(index)];
    scale(f, slot);
    slot.frame.ptsUs = atUs;
    slot.frame.durationUs = durUs;
    slot.frame.index = m_index++;
    m_lastUs = atUs;
    m_lastDurUs = durUs;
    *any = true;
    {
        std::lock_guard lock(mutex);
        ready.push_back(index);
    }
    decoded.fetch_add(1);
    changed.notify_all();
    return true;
}

void VideoDecoder::Impl::scale(AVFrame& f, Slot& slot)
{
    const QSize frameSize(f.width, f.height);
    if (frameSize != m_lastSize || f.format != m_lastFormat ||
        av_cmp_q(f.sample_aspect_ratio, m_lastAspect) != 0) {
        const AVRational aspect = f.sample_aspect_ratio;
        const double pixelAspect =
            aspect.num > 0 && aspect.den > 0 ? std::clamp(av_q2d(aspect), 0.1, 10.0) : 1.0;
        m_place = placement(frameSize, options.area, options.fitMode, pixelAspect);
        m_lastSize = frameSize;
        m_lastFormat = f.format;
        m_lastAspect = aspect;
        ++m_geometry;
    }
    QImage& picture = slot.frame.picture;
    if (slot.geometry != m_geometry) {
        // The bars: drawn once for each buffer and placement, then only the video changes.
        std::memcpy(picture.bits(), options.background.constBits(), size_t(picture.sizeInBytes()));
        slot.geometry = m_geometry;
    }
    const QRect source = m_place.source;
    const QRect target = m_place.target;
    if (source.isEmpty() || target.isEmpty())
        return;
    f.crop_left = size_t(source.left());
    f.crop_top = size_t(source.top());
    f.crop_right = size_t(f.width - 1 - source.right());
    f.crop_bottom = size_t(f.height - 1 - source.bottom());
    if (av_frame_apply_cropping(&f, AV_FRAME_CROP_UNALIGNED) < 0)
        return;
    m_scaler.reset(sws_getCachedContext(
        m_scaler.release(), f.width, f.height, static_cast<AVPixelFormat>(f.format), target.width(),
        target.height(), kOutFormat, SWS_BILINEAR, nullptr, nullptr, nullptr));
    if (!m_scaler)
        return;
    if (m_scaler.get() != m_configured) {
        // The stream's colour matrix and range (HD video is BT.709), to full-range RGB. A damaged
        // stream can leave numbers there that no enumerator names: read as numbers and checked.
        const int matrix = rawEnum(f.colorspace);
        const int colorspace =
            matrix <= AVCOL_SPC_UNSPECIFIED || matrix >= AVCOL_SPC_NB ? SWS_CS_DEFAULT : matrix;
        const int fullRange = rawEnum(f.color_range) == AVCOL_RANGE_JPEG ? 1 : 0;
        const int* coefficients = sws_getCoefficients(colorspace);
        sws_setColorspaceDetails(m_scaler.get(), coefficients, fullRange,
                                 sws_getCoefficients(SWS_CS_DEFAULT), 1, 0, 1 << 16, 1 << 16);
        m_configured = m_scaler.get();
    }
    const qsizetype stride = picture.bytesPerLine();
    uint8_t* out[4] = {picture.bits() + target.top() * stride + target.left() * 4, nullptr, nullptr,
                       nullptr};
    const int outStride[4] = {int(stride), 0, 0, 0};
    sws_scale(m_scaler.get(), f.data, f.linesize, 0, f.height, out, outStride);
}

void VideoDecoder::Impl::stop()
{
    stopFlag.store(true);
    {
        std::lock_guard lock(mutex);
    }
    changed.notify_all();
    if (reader.joinable())
        reader.join();
    if (video.joinable())
        video.join();
    av_channel_layout_uninit(&m_resampleLayout);
}

VideoDecoder::Placement VideoDecoder::placement(QSize video, QSize area, int fitMode,
                                                double pixelAspect)
{
    const int vw = video.width();
    const int vh = video.height();
    const int aw = area.width();
    const int ah = area.height();
    if (vw <= 0 || vh <= 0 || aw <= 0 || ah <= 0)
        return {};
    // Arithmetic on the picture as it is shown (`dw` wide); source columns back in stored ones.
    const bool square = !(pixelAspect > 0) || std::abs(pixelAspect - 1.0) < 1e-6;
    const double aspect = square ? 1.0 : pixelAspect;
    const int dw = square ? vw : std::max(1, int(std::lround(vw * aspect)));
    const auto stored = [&](int shownColumns) {
        return square ? shownColumns : int(std::lround(shownColumns / aspect));
    };
    const QRect whole(0, 0, vw, vh);
    const QRect all(0, 0, aw, ah);
    switch (fitMode) {
    case 0: {
        // At its own size in the middle, cut at the area's edges (as pictures are).
        const QRect at((aw - dw) / 2, (ah - vh) / 2, dw, vh);
        const QRect target = at & all;
        if (target.isEmpty())
            return {};
        const QRect shown = target.translated(-at.topLeft());
        const int left = stored(shown.left());
        const QRect source(left, shown.top(),
                           std::clamp(stored(shown.right() + 1) - left, 1, vw - left),
                           shown.height());
        return {source & whole, target};
    }
    case 1:
        // The whole video, as large as fits, bars on two sides (the picture items' arithmetic).
        if (double(vh) / ah < double(dw) / aw) {
            const int sh = std::max(1, int(qint64(aw) * vh / dw));
            return {whole, QRect(0, (ah - sh) / 2, aw, sh)};
        } else {
            const int sw = std::max(1, int(qint64(ah) * dw / vh));
            return {whole, QRect((aw - sw) / 2, 0, sw, ah)};
        }
    case 2:
        return {whole, all};
    default:
        // The whole area covered, the video's overhang cut off evenly.
        if (qint64(dw) * ah > qint64(aw) * vh) {
            const int cw = std::clamp(stored(std::max(1, int(qint64(vh) * aw / ah))), 1, vw);
            return {QRect((vw - cw) / 2, 0, cw, vh), all};
        } else {
            const int ch = std::max(1, int(qint64(dw) * ah / aw));
            return {QRect(0, (vh - ch) / 2, vw, ch), all};
        }
    }
}

VideoDecoder::VideoDecoder() : m_impl(std::make_unique<Impl>()) {}

VideoDecoder::~VideoDecoder() = default;

bool VideoDecoder::open(const QString& path, const Options& options, QString* error)
{
    // "file:" so that a name with a colon is never taken for a protocol.
    return m_impl->open(QStringLiteral("file:") + path, QFileInfo(path).fileName(), options, error);
}

bool VideoDecoder::openMemory(const QByteArray& bytes, const Options& options, QString* error)
{
    m_impl->memory = Impl::MemoryInput{bytes, 0};
    auto* buffer = static_cast<unsigned char*>(av_malloc(kIoBufferBytes));
    if (!buffer)
        return false;
    AVIOContext* io = avio_alloc_context(buffer, kIoBufferBytes, 0, m_impl.get(), &Impl::readMemory,
                                         nullptr, &Impl::seekMemory);
    if (!io) {
        av_free(buffer);
        return false;
    }
    m_impl->io.reset(io);
    return m_impl->open(QString(), QStringLiteral("video"), options, error);
}

void VideoDecoder::start()
{
    if (!m_impl->format || m_impl->reader.joinable())
        return;
    m_impl->startThreads();
}

void VideoDecoder::stop()
{
    m_impl->stop();
}

VideoDecoder::Status VideoDecoder::frameAt(int position, std::chrono::milliseconds wait,
                                           const VideoFrame** frame)
{
    Impl& d = *m_impl;
    std::unique_lock lock(d.mutex);
    const auto have = [&] { return d.ready.size() > size_t(position) || d.videoEnded; };
    if (!have())
        d.changed.wait_for(lock, wait, have);
    if (d.ready.size() > size_t(position)) {
        *frame = &d.buffers[size_t(d.ready[size_t(position)])].frame;
        return Status::Ready;
    }
    return d.videoEnded ? Status::Ended : Status::Pending;
}

void VideoDecoder::release()
{
    Impl& d = *m_impl;
    {
        std::lock_guard lock(d.mutex);
        if (d.ready.empty())
            return;
        d.spare.push_back(d.ready.front());
        d.ready.erase(d.ready.begin());
    }
    d.changed.notify_all();
}

bool VideoDecoder::hasAudio() const
{
    return m_impl->audioIndex >= 0;
}

void VideoDecoder::discardAudio()
{
    m_impl->audioDiscarded.store(true);
    m_impl->changed.notify_all();
}

int VideoDecoder::readAudio(qint16* out, int most, qint64* first)
{
    Impl& d = *m_impl;
    if (d.audioIndex < 0)
        return -1;
    const int channels = d.options.audioChannels;
    int n = 0;
    {
        std::lock_guard lock(d.mutex);
        const qint64 available = d.audioWrite - d.audioRead;
        if (available <= 0)
            return d.audioEnded || d.videoEnded ? -1 : 0;
        n = int(std::min<qint64>(available, most));
        *first = d.audioRead;
        const qint64 at = d.audioRead % d.ringFrames;
        const qint64 part = std::min<qint64>(n, d.ringFrames - at);
        std::memcpy(out, d.ring.data() + at * channels, size_t(part * channels) * sizeof(qint16));
        std::memcpy(out + part * channels, d.ring.data(),
                    size_t((n - part) * channels) * sizeof(qint16));
        d.audioRead += n;
    }
    d.changed.notify_all();
    return n;
}

bool VideoDecoder::decodesOnHardware() const
{
    return m_impl->onHardware;
}

QSize VideoDecoder::videoSize() const
{
    return m_impl->size;
}

double VideoDecoder::frameRate() const
{
    return m_impl->rate;
}

int VideoDecoder::bufferCount() const
{
    return int(m_impl->buffers.size());
}

qint64 VideoDecoder::decodedCount() const
{
    return m_impl->decoded.load();
}

int VideoDecoder::decodeAll(const QByteArray& bytes, QSize area, int fitMode)
{
    VideoDecoder decoder;
    Options options;
    options.area = area;
    options.fitMode = fitMode;
    options.audioRate = 8000;
    options.audioChannels = 1;
    if (!decoder.openMemory(bytes, options, nullptr))
        return 0;
    decoder.start();
    std::array<qint16, 4096> sound{};
    int frames = 0;
    for (;;) {
        qint64 first = 0;
        while (decoder.readAudio(sound.data(), int(sound.size()), &first) > 0) {
        }
        const VideoFrame* frame = nullptr;
        const Status status = decoder.frameAt(0, std::chrono::milliseconds(50), &frame);
        if (status == Status::Ended)
            break;
        if (status == Status::Ready) {
            ++frames;
            decoder.release();
        }
    }
    return frames;
}
