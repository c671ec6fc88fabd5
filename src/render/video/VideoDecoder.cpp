#include "VideoDecoder.h"

#include "base/StringTable.h"
#include "render/RenderLog.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/frame.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

#include <QFileInfo>

#include <algorithm>
#include <atomic>
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
// QImage's RGB32 in memory.
constexpr AVPixelFormat kOutFormat =
    Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? AV_PIX_FMT_BGRA : AV_PIX_FMT_ARGB;

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

    ~Impl() { stop(); }

    bool open(const QString& url, const QString& name, const Options& options, QString* error);
    void run() noexcept;
    void stop();

    // FFmpeg's interrupt callback: a stop ends a read that waits, and an open that probes.
    static int interrupted(void* opaque)
    {
        const Impl& d = *static_cast<Impl*>(opaque);
        return d.stopFlag.load(std::memory_order_relaxed) ||
                       (d.options.stopRequested && d.options.stopRequested())
                   ? 1
                   : 0;
    }
    static int readMemory(void* opaque, uint8_t* buffer, int size);
    static int64_t seekMemory(void* opaque, int64_t offset, int whence);

    Options options;
    MemoryInput memory;
    // Declared before the format context, so that it goes after it.
    std::unique_ptr<AVIOContext, IoFreer> io;
    std::unique_ptr<AVFormatContext, FormatCloser> format;
    std::unique_ptr<AVCodecContext, CodecFreer> codec;
    std::unique_ptr<AVFrame, FrameFreer> frame;
    std::unique_ptr<AVPacket, PacketFreer> packet;
    std::unique_ptr<SwsContext, ScalerFreer> scaler;
    int streamIndex = -1;
    AVRational timeBase{1, 1};
    qint64 startTs = 0; // where a pass starts, in the stream's time base
    qint64 streamFrameUs = kFallbackFrameUs;
    QSize size;
    double rate = 0;

    std::atomic<bool> stopFlag{false};
    std::thread thread;

    std::mutex mutex;
    std::condition_variable changed;
    std::vector<Slot> buffers;
    std::vector<int> ready; // oldest first
    std::vector<int> spare;
    bool ended = false;
    std::atomic<qint64> decoded{0};

private:
    void loop();
    bool decodePass(bool* any);
    bool receiveAll(bool* any);
    bool deliver(bool* any);
    void scale(Slot& slot);
    bool seekToStart();

    // The decoder thread's own.
    int m_geometry = 0;
    QSize m_lastSize;
    int m_lastFormat = -1;
    Placement m_place;
    const SwsContext* m_configured = nullptr;
    qint64 m_firstPts = AV_NOPTS_VALUE;
    qint64 m_passBaseUs = 0;
    qint64 m_lastRelUs = -1;
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
    for (unsigned i = 0; i < raw->nb_streams; ++i)
        if (int(i) != streamIndex)
            raw->streams[i]->discard = AVDISCARD_ALL;

    codec.reset(avcodec_alloc_context3(decoder));
    if (!codec || avcodec_parameters_to_context(codec.get(), stream->codecpar) < 0)
        return fail(loadString(StringId::OutOfMemory));
    codec->pkt_timebase = stream->time_base;
    codec->thread_count = 0;              // as many as the machine has
    codec->max_pixels = kMostVideoPixels; // a damaged header's giant frame is refused
    if (avcodec_open2(codec.get(), decoder, nullptr) < 0)
        return fail(dialogText("%1: this build cannot decode its video (%2).",
                               "%1：本程序无法解码其视频（%2）。")
                        .arg(name, QString::fromUtf8(decoder->name)));
    timeBase = stream->time_base;
    size = QSize(codec->width, codec->height);
    const AVRational frameRate = av_guess_frame_rate(raw, stream, nullptr);
    if (frameRate.num > 0 && frameRate.den > 0) {
        rate = av_q2d(frameRate);
        streamFrameUs = av_rescale(1000000, frameRate.den, frameRate.num);
    }
    startTs = (stream->start_time != AV_NOPTS_VALUE ? stream->start_time : 0) +
              av_rescale_q(std::max<qint64>(0, options.startUs), kMicroseconds, timeBase);
    if (options.startUs > 0)
        seekToStart();

    frame.reset(av_frame_alloc());
    packet.reset(av_packet_alloc());
    if (!frame || !packet)
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
    if (codec)
        avcodec_flush_buffers(codec.get());
    return rc >= 0;
}

void VideoDecoder::Impl::run() noexcept
{
    try {
        loop();
    } catch (...) {
        // Nothing crosses the thread's edge: the frames so far play, then the end.
    }
    {
        std::lock_guard lock(mutex);
        ended = true;
    }
    changed.notify_all();
}

void VideoDecoder::Impl::loop()
{
    for (int pass = 1;; ++pass) {
        bool any = false;
        m_firstPts = AV_NOPTS_VALUE;
        m_lastRelUs = -1;
        if (!decodePass(&any) || !any)
            return; // stopped, or nothing decodes: no endless rewinding
        if (options.passes > 0 && pass >= options.passes)
            return;
        m_passBaseUs += m_lastRelUs + std::max<qint64>(1, m_lastDurUs);
        if (!seekToStart())
            return;
    }
}

bool VideoDecoder::Impl::decodePass(bool* any)
{
    for (;;) {
        if (stopFlag.load() || (options.stopRequested && options.stopRequested()))
            return false;
        if (av_read_frame(format.get(), packet.get()) < 0) {
            // The end, or as far as a damaged file reads: what the decoder still holds.
            avcodec_send_packet(codec.get(), nullptr);
            return receiveAll(any);
        }
        if (packet->stream_index != streamIndex) {
            av_packet_unref(packet.get());
            continue;
        }
        avcodec_send_packet(codec.get(), packet.get()); // a damaged packet: on to the next
        av_packet_unref(packet.get());
        if (!receiveAll(any))
            return false;
    }
}

bool VideoDecoder::Impl::receiveAll(bool* any)
{
    for (;;) {
        const int rc = avcodec_receive_frame(codec.get(), frame.get());
        if (rc < 0)
            return true; // wants input, drained, or a frame that does not decode
        const bool go = deliver(any);
        av_frame_unref(frame.get());
        if (!go)
            return false;
    }
}

bool VideoDecoder::Impl::deliver(bool* any)
{
    AVFrame& f = *frame;
    if (f.width <= 0 || f.height <= 0)
        return true;
    const qint64 pts = f.best_effort_timestamp;
    qint64 relUs = 0;
    if (pts == AV_NOPTS_VALUE || m_firstPts == AV_NOPTS_VALUE) {
        if (pts != AV_NOPTS_VALUE && pts < startTs)
            return true; // before the start, after a seek to the key frame before it
        if (pts != AV_NOPTS_VALUE)
            m_firstPts = pts;
        relUs = m_lastRelUs < 0 ? 0 : m_lastRelUs + m_lastDurUs;
    } else {
        relUs = av_rescale_q(pts - m_firstPts, timeBase, kMicroseconds);
    }
    relUs = std::max(relUs, m_lastRelUs); // times never go back
#if LIBAVUTIL_VERSION_INT >= AV_VERSION_INT(57, 30, 100)
    const qint64 duration = f.duration;
#else
    const qint64 duration = f.pkt_duration;
#endif
    qint64 durUs = duration > 0 ? av_rescale_q(duration, timeBase, kMicroseconds) : 0;
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
    scale(slot);
    slot.frame.ptsUs = m_passBaseUs + relUs;
    slot.frame.durationUs = durUs;
    slot.frame.index = m_index++;
    m_lastRelUs = relUs;
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

void VideoDecoder::Impl::scale(Slot& slot)
{
    AVFrame& f = *frame;
    const QSize frameSize(f.width, f.height);
    if (frameSize != m_lastSize || f.format != m_lastFormat) {
        m_place = placement(frameSize, options.area, options.fitMode);
        m_lastSize = frameSize;
        m_lastFormat = f.format;
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
    scaler.reset(sws_getCachedContext(
        scaler.release(), f.width, f.height, static_cast<AVPixelFormat>(f.format), target.width(),
        target.height(), kOutFormat, SWS_BILINEAR, nullptr, nullptr, nullptr));
    if (!scaler)
        return;
    if (scaler.get() != m_configured) {
        // The stream's colour matrix and range (HD video is BT.709), to full-range RGB. A damaged
        // stream can leave numbers there that no enumerator names: read as numbers and checked.
        const int matrix = rawEnum(f.colorspace);
        const int colorspace =
            matrix <= AVCOL_SPC_UNSPECIFIED || matrix >= AVCOL_SPC_NB ? SWS_CS_DEFAULT : matrix;
        const int fullRange = rawEnum(f.color_range) == AVCOL_RANGE_JPEG ? 1 : 0;
        const int* coefficients = sws_getCoefficients(colorspace);
        sws_setColorspaceDetails(scaler.get(), coefficients, fullRange,
                                 sws_getCoefficients(SWS_CS_DEFAULT), 1, 0, 1 << 16, 1 << 16);
        m_configured = scaler.get();
    }
    const qsizetype stride = picture.bytesPerLine();
    uint8_t* out[4] = {picture.bits() + target.top() * stride + target.left() * 4, nullptr, nullptr,
                       nullptr};
    const int outStride[4] = {int(stride), 0, 0, 0};
    sws_scale(scaler.get(), f.data, f.linesize, 0, f.height, out, outStride);
}

void VideoDecoder::Impl::stop()
{
    stopFlag.store(true);
    {
        std::lock_guard lock(mutex);
    }
    changed.notify_all();
    if (thread.joinable())
        thread.join();
}

VideoDecoder::Placement VideoDecoder::placement(QSize video, QSize area, int fitMode)
{
    const int vw = video.width();
    const int vh = video.height();
    const int aw = area.width();
    const int ah = area.height();
    if (vw <= 0 || vh <= 0 || aw <= 0 || ah <= 0)
        return {};
    const QRect whole(0, 0, vw, vh);
    const QRect all(0, 0, aw, ah);
    switch (fitMode) {
    case 0: {
        // At its own size in the middle, cut at the area's edges (as pictures are).
        const QRect at((aw - vw) / 2, (ah - vh) / 2, vw, vh);
        const QRect target = at & all;
        return {target.translated(-at.topLeft()), target};
    }
    case 1:
        // The whole video, as large as fits, bars on two sides (the picture items' arithmetic).
        if (double(vh) / ah < double(vw) / aw) {
            const int sh = std::max(1, int(qint64(aw) * vh / vw));
            return {whole, QRect(0, (ah - sh) / 2, aw, sh)};
        } else {
            const int sw = std::max(1, int(qint64(ah) * vw / vh));
            return {whole, QRect((aw - sw) / 2, 0, sw, ah)};
        }
    case 2:
        return {whole, all};
    default:
        // The whole area covered, the video's overhang cut off evenly.
        if (qint64(vw) * ah > qint64(aw) * vh) {
            const int cw = std::max(1, int(qint64(vh) * aw / ah));
            return {QRect((vw - cw) / 2, 0, cw, vh), all};
        } else {
            const int ch = std::max(1, int(qint64(vw) * ah / aw));
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
    if (!m_impl->format || m_impl->thread.joinable())
        return;
    m_impl->thread = std::thread([impl = m_impl.get()] { impl->run(); });
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
    const auto have = [&] { return d.ready.size() > size_t(position) || d.ended; };
    if (!have())
        d.changed.wait_for(lock, wait, have);
    if (d.ready.size() > size_t(position)) {
        *frame = &d.buffers[size_t(d.ready[size_t(position)])].frame;
        return Status::Ready;
    }
    return d.ended ? Status::Ended : Status::Pending;
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
    if (!decoder.openMemory(bytes, options, nullptr))
        return 0;
    decoder.start();
    int frames = 0;
    for (;;) {
        const VideoFrame* frame = nullptr;
        const Status status = decoder.frameAt(0, std::chrono::milliseconds(1000), &frame);
        if (status == Status::Ended)
            break;
        if (status == Status::Ready) {
            ++frames;
            decoder.release();
        }
    }
    return frames;
}
