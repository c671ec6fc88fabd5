#include "AudioOutput.h"

#include "VideoDecoder.h"
#include "base/StringTable.h"
#include "render/RenderLog.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QEventLoop>
#include <QMediaDevices>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <array>
#include <condition_variable>
#include <mutex>

namespace {

// How often the device is fed and its position read.
constexpr int kTickMs = 5;
constexpr int kChunkFrames = 2048;
constexpr int kSettleMs = 500;

} // namespace

class AudioOutput::Impl
{
public:
    enum class Opening
    {
        Waiting,
        Open,
        Failed,
    };

    void run();
    void pump(QAudioSink& sink, QIODevice& device);
    // What the device had played (its frames) at `at`, for heardUs().
    void publish(qint64 heard, std::chrono::steady_clock::time_point at);

    int volumePercent = 100;
    std::unique_ptr<QThread> thread;

    mutable std::mutex mutex;
    std::condition_variable changed;
    Opening opening = Opening::Waiting;
    QString why;
    VideoDecoder* decoder = nullptr; // set by play()
    std::function<bool()> paused;
    // The clock, as the audio thread last read it.
    bool running = false;
    bool started = false; // the device has played some of it
    qint64 heardAtUs = 0;
    std::chrono::steady_clock::time_point readAt;

    // The audio thread's own.
    std::array<qint16, kChunkFrames * kChannels> m_chunk{};
    qint64 m_written = 0; // frames given to the device
    // Where the decoder's samples skipped ahead (it drops sound nobody was playing): from the
    // device's frame `at` on, timeline frame = device frame + offset.
    struct Step
    {
        qint64 at = 0;
        qint64 offset = 0;
    };
    std::array<Step, 8> m_steps{};
    int m_stepCount = 0;
    qint64 m_nextFirst = -1;
    qint64 m_settledAfter = qint64(kRate) * kSettleMs / 1000; // device frames
    bool m_ended = false;
};

void AudioOutput::Impl::run()
{
    const auto tell = [this](Opening result, const QString& text) {
        {
            std::lock_guard lock(mutex);
            opening = result;
            why = text;
        }
        changed.notify_all();
    };
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (device.isNull()) {
        tell(Opening::Failed, noDevice());
        return;
    }
    QAudioFormat format;
    format.setSampleRate(kRate);
    format.setChannelCount(kChannels);
    format.setSampleFormat(QAudioFormat::Int16);
    QAudioSink sink(device, format);
    sink.setBufferSize(qsizetype(kRate) * kChannels * 2 * kBufferMs / 1000);
    sink.setVolume(QAudio::convertVolume(std::clamp(volumePercent, 1, 100) / 100.0,
                                         QAudio::LogarithmicVolumeScale,
                                         QAudio::LinearVolumeScale));
    QIODevice* io = sink.start();
    if (!io || sink.error() != QAudio::NoError) {
        tell(Opening::Failed, noDevice());
        return;
    }
    tell(Opening::Open, QString());
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(kTickMs);
    QObject::connect(&tick, &QTimer::timeout, [&] { pump(sink, *io); });
    tick.start();
    QEventLoop loop;
    loop.exec(); // until the thread is told to quit
    tick.stop();
    sink.reset(); // dropped, not drained
}

void AudioOutput::Impl::pump(QAudioSink& sink, QIODevice& device)
{
    VideoDecoder* source = nullptr;
    bool hold = false;
    {
        std::lock_guard lock(mutex);
        source = decoder;
        hold = paused && paused();
    }
    if (!source)
        return;
    if (hold != (sink.state() == QAudio::SuspendedState)) {
        if (hold) {
            sink.suspend();
        } else {
            sink.resume();
            m_settledAfter =
                sink.processedUSecs() * kRate / 1000000 + qint64(kRate) * kSettleMs / 1000;
        }
    }
    if (hold) {
        std::lock_guard lock(mutex);
        running = false;
        return;
    }
    // What the device asks for, and at least enough to keep kBufferMs ahead of what it has
    // played: some servers ask for less at the start than they wait for before they play.
    const auto playedAt = std::chrono::steady_clock::now();
    const qint64 played = sink.processedUSecs() * kRate / 1000000;
    const qint64 room = std::max<qint64>(sink.bytesFree() / (kChannels * 2),
                                         qint64(kRate) * kBufferMs / 1000 - (m_written - played));
    for (qint64 left = room; left > 0 && !m_ended;) {
        qint64 first = 0;
        const int n =
            source->readAudio(m_chunk.data(), int(std::min<qint64>(left, kChunkFrames)), &first);
        if (n < 0)
            m_ended = true;
        if (n <= 0)
            break;
        if (first != m_nextFirst) {
            // The first samples, or a skip: from here on the device's frames map anew.
            const Step step{m_written, first - m_written};
            if (m_stepCount == int(m_steps.size())) {
                std::move(m_steps.begin() + 1, m_steps.end(), m_steps.begin());
                --m_stepCount;
            }
            m_steps[size_t(m_stepCount++)] = step;
        }
        m_nextFirst = first + n;
        device.write(reinterpret_cast<const char*>(m_chunk.data()), qint64(n) * kChannels * 2);
        m_written += n;
        left -= n;
    }
    publish(played, playedAt);
}

void AudioOutput::Impl::publish(qint64 heard, std::chrono::steady_clock::time_point at)
{
    qint64 offset = 0;
    for (int i = 0; i < m_stepCount; ++i)
        if (m_steps[size_t(i)].at <= heard)
            offset = m_steps[size_t(i)].offset;
    // Heard means sound ahead still (a device run dry, or past the end, is no clock), and the
    // device's first moments over, at the start and after a pause: its position settles only
    // once it has played a while.
    const bool playing =
        m_stepCount > 0 && heard > m_settledAfter && heard + kRate / 100 < m_written;
    std::lock_guard lock(mutex);
    running = playing;
    started = started || heard > 0;
    heardAtUs = (heard + offset) * 1000000 / kRate;
    readAt = at;
}

AudioOutput::AudioOutput() : m_impl(std::make_unique<Impl>()) {}

AudioOutput::~AudioOutput()
{
    stop();
}

QString AudioOutput::noDevice()
{
    return dialogText("No sound device: videos play silent.", "没有声音设备：视频无声播放。");
}

bool AudioOutput::open(int volumePercent, const std::function<bool()>& stopRequested, QString* why)
{
    Impl& d = *m_impl;
    if (d.thread)
        return true;
    d.volumePercent = volumePercent;
    d.thread.reset(QThread::create([&d] { d.run(); }));
    d.thread->setObjectName(QStringLiteral("audio"));
    d.thread->start(QThread::TimeCriticalPriority);
    std::unique_lock lock(d.mutex);
    // A sound server that does not answer is no device either; a stop is looked at meanwhile.
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    bool answered = false;
    while (!answered && std::chrono::steady_clock::now() < until &&
           !(stopRequested && stopRequested()))
        answered = d.changed.wait_for(lock, std::chrono::milliseconds(20),
                                      [&] { return d.opening != Impl::Opening::Waiting; });
    if (answered && d.opening == Impl::Opening::Open)
        return true;
    if (why)
        *why = answered ? d.why : noDevice();
    lock.unlock();
    stop();
    return false;
}

void AudioOutput::play(VideoDecoder& decoder, std::function<bool()> paused)
{
    std::lock_guard lock(m_impl->mutex);
    m_impl->decoder = &decoder;
    m_impl->paused = std::move(paused);
}

void AudioOutput::stop()
{
    Impl& d = *m_impl;
    if (!d.thread)
        return;
    d.thread->quit(); // also before its loop runs: it then ends at once
    d.thread->wait();
    d.thread.reset();
    std::lock_guard lock(d.mutex);
    d.decoder = nullptr;
    d.running = false;
}

bool AudioOutput::started() const
{
    std::lock_guard lock(m_impl->mutex);
    return m_impl->started;
}

bool AudioOutput::heardUs(std::chrono::steady_clock::time_point now, qint64* us) const
{
    std::lock_guard lock(m_impl->mutex);
    if (!m_impl->running)
        return false;
    *us = m_impl->heardAtUs +
          std::chrono::duration_cast<std::chrono::microseconds>(now - m_impl->readAt).count();
    return true;
}
