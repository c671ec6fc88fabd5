#include "VideoPlayer.h"

#include "ImagePlayer.h"
#include "PlayerFile.h"
#include "base/ColorRef.h"
#include "base/Notifications.h"
#include "base/SettingsStore.h"
#include "base/StringTable.h"
#include "canvas/BackBuffer.h"
#include "model/CAct.h"
#include "model/CPropVideo.h"
#include "model/PlayRandom.h"
#include "render/AreaBands.h"
#include "render/TransitionEngine.h"
#include "render/pictures/CMyBitmap.h"

#include <QFileInfo>
#include <QJsonObject>

namespace {

// How long one wait for the decoder lasts before the stop is looked at again.
constexpr std::chrono::milliseconds kDecoderPoll{20};
constexpr qint64 kNsPerSecond = 1'000'000'000;
// A frame goes into the sections this long before its refresh, so that at the refresh only the
// windows' copy is left to do.
constexpr std::chrono::milliseconds kStageLead{4};

qint64 refreshTimeNs(qint64 refresh, int milliHz)
{
    return static_cast<qint64>(static_cast<__int128>(refresh) * kNsPerSecond * 1000 / milliHz);
}

qint64 nanoseconds(WaitClock::TimePoint at)
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(at.time_since_epoch()).count();
}

} // namespace

VideoPlayer::VideoPlayer(const CPropVideo& item, CAct& area) : m_item(item), m_area(area) {}

qint64 VideoPlayer::AudioFollower::correction(qint64 errorUs)
{
    if (m_locked) {
        m_worstUs = std::max(m_worstUs, std::abs(errorUs));
        ++m_count;
    }
    if (std::abs(errorUs) > kAudioJumpUs) {
        // The sound starting, or back after running dry: straight to it.
        m_smoothed = 0;
        return errorUs;
    }
    if (!m_locked) {
        // Not yet with the sound (its start, or after a pause): straight to it until within the
        // slack; from then on it is followed smoothly, and counted.
        if (std::abs(errorUs) > kAudioSlackUs)
            return errorUs;
        m_locked = true;
        return 0;
    }
    // Single readings of the device's position jitter by a millisecond or two.
    m_smoothed = 0.7 * m_smoothed + 0.3 * double(errorUs);
    if (std::abs(m_smoothed) <= double(kAudioSlackUs))
        return 0;
    const auto move = static_cast<qint64>(m_smoothed);
    m_smoothed = 0;
    return move;
}

qint64 VideoPlayer::refreshFor(qint64 ptsUs, int milliHz)
{
    // A microsecond of slack: times rescaled from 1/30000 units round by up to half of one.
    const __int128 scaled = static_cast<__int128>(std::max<qint64>(0, ptsUs - 1)) * milliHz;
    constexpr __int128 kPerRefresh = __int128(1'000'000) * 1000; // microseconds x millihertz
    return static_cast<qint64>((scaled + kPerRefresh - 1) / kPerRefresh);
}

QString VideoPlayer::undecodable(const QString& path)
{
    return dialogText("%1 does not decode as a video.", "%1 无法解码为视频。")
        .arg(QFileInfo(path).fileName());
}

bool VideoPlayer::passGate(WaitClock::TimePoint* base, WaitClock::TimePoint* due,
                           AudioFollower& follower)
{
    // A pause that begins between a wait and the gate holds here: the schedule moves on by it
    // as it does in a wait, or every frame after it would be late and dropped.
    const bool pausing = m_area.isPaused();
    const WaitClock::TimePoint before = m_area.clock().now();
    if (m_area.PassPauseGate())
        return false;
    const auto held = m_area.clock().now() - before;
    if (pausing && held.count() > 0) {
        *base += held;
        *due += held;
        follower.unlock();
    }
    return true;
}

VideoPlayer::Got VideoPlayer::waitFrame(int position, const VideoFrame** frame)
{
    for (;;) {
        if (m_area.stopRequested())
            return Got::Stopped;
        switch (m_decoder.frameAt(position, kDecoderPoll, frame)) {
        case VideoDecoder::Status::Ready:
            return Got::Frame;
        case VideoDecoder::Status::Ended:
            return Got::End;
        case VideoDecoder::Status::Pending:
            break;
        }
    }
}

void VideoPlayer::stage(const VideoFrame& frame)
{
    AreaBands::stage(m_area, frame.picture, frame.picture.rect());
}

void VideoPlayer::present(const VideoFrame& frame, const FrameStamp& stamp)
{
    AreaBands::presentStaged(m_area, frame.picture.rect(), stamp);
}

void VideoPlayer::clear()
{
    const QRect rect = m_area.pictureRect();
    if (rect.isEmpty())
        return;
    QImage plain(rect.size(), QImage::Format_RGB32);
    ImagePlayer::clearArea(m_item, m_area, plain); // "non-clear": the last frame stays
}

void VideoPlayer::play()
{
    const QRect rect = m_area.pictureRect();
    if (rect.isEmpty())
        return;
    {
        // Its head only: the decoder reads the file itself, as far as it plays.
        QByteArray head;
        if (!PlayerFile::read(m_item, m_area, &head, PlayerFile::Read::Head))
            return;
    }
    VideoDecoder::Options options;
    options.area = rect.size();
    options.fitMode = m_item.fitMode;
    options.background = QImage(rect.size(), QImage::Format_RGB32);
    CMyBitmap::FillBackground(options.background, m_item.backColor, m_item.backImagePath,
                              m_item.backFitMode);
    options.startUs = m_item.startUs();
    const qint64 playTimeNs = qint64(m_item.playTimeMs()) * 1'000'000;
    options.passes = playTimeNs > 0 ? 0 : m_item.loops();
    options.stopRequested = [&area = m_area] { return area.stopRequested(); };
    // Sound only in real time: a virtual clock (the render tool) has no device to follow.
    const bool realTime = &m_area.clock() == &SteadyWaitClock::instance();
    if (realTime && m_item.volume() > 0) {
        options.audioRate = AudioOutput::kRate;
        options.audioChannels = AudioOutput::kChannels;
    }
    options.hardware =
        SettingsStore::readBool(QStringLiteral("Tessarin"), QStringLiteral("VideoHardware"), false);
    QString why;
    if (!m_decoder.open(m_item.filePath, options, &why)) {
        PlayerFile::refuse(m_item, why);
        return;
    }
    options.background = QImage();
    bool sound = false;
    if (m_decoder.hasAudio()) {
        QString silent;
        sound = m_audio.open(
            m_item.volume(), [&area = m_area] { return area.stopRequested(); }, &silent);
        if (!sound) {
            m_decoder.discardAudio();
            if (!m_area.stopRequested())
                Notifications::postOnce(QStringLiteral("sound-device"), silent);
        }
    }
    m_decoder.start();

    const VideoFrame* frame = nullptr;
    switch (waitFrame(0, &frame)) {
    case Got::Stopped:
        return;
    case Got::End:
        PlayerFile::refuse(m_item, undecodable(m_item.filePath));
        return;
    case Got::Frame:
        break;
    }
    PlayerFile::played(m_item);
    int effect = m_item.effect;
    if (effect == 0)
        effect = 1 + PlayRandom::next() % 50;
    RunTransition(frame->picture, effect, m_item.speed, m_area);
    if (m_area.stopRequested())
        return;
    m_area.reportShown(m_item, QJsonObject{{QStringLiteral("phase"), QStringLiteral("shown")},
                                           {QStringLiteral("effect"), effect},
                                           {QStringLiteral("frame"), frame->index}});
    m_area.reportPosition(m_item, frame->ptsUs);
    // The play time starts with the first frame in place.
    WaitClock::TimePoint base = m_area.clock().now() - std::chrono::microseconds(frame->ptsUs);
    qint64 endUs = frame->ptsUs + frame->durationUs;
    qint64 shown = 1;
    qint64 dropped = 0;
    m_decoder.release();
    AudioFollower follower;
    if (sound) {
        // The pictures move on when the sound begins: the first frame holds until the device
        // plays (a server fills its buffer first), for a second at most.
        m_audio.play(m_decoder, [&area = m_area] { return area.isPaused(); });
        const WaitClock::TimePoint giveUp = m_area.clock().now() + std::chrono::seconds(1);
        while (!m_audio.started() && m_area.clock().now() < giveUp) {
            WaitClock::TimePoint step = m_area.clock().now() + std::chrono::milliseconds(2);
            if (m_area.WaitStopUntil(step))
                return;
        }
        base = m_area.clock().now() - std::chrono::microseconds(frame->ptsUs);
    }

    const int milliHz = m_area.refreshMilliHz();
    const int item = m_area.currentIndex();
    for (;;) {
        Got got = waitFrame(0, &frame);
        if (got == Got::Stopped)
            return;
        if (got == Got::End)
            break;
        if (playTimeNs > 0 && frame->ptsUs * 1000 >= playTimeNs)
            break;
        if (sound) {
            // The sound is the clock while it is heard: the schedule moves to it.
            const WaitClock::TimePoint now = m_area.clock().now();
            if (qint64 heard = 0; m_audio.heardUs(now, &heard)) {
                const qint64 pictureUs =
                    std::chrono::duration_cast<std::chrono::microseconds>(now - base).count();
                base += std::chrono::microseconds(follower.correction(pictureUs - heard));
            }
        }
        const qint64 refresh = refreshFor(frame->ptsUs, milliHz);
        // The one after it, known before this one shows: due by the same refresh, this one is
        // dropped (a video faster than the display).
        const VideoFrame* next = nullptr;
        got = waitFrame(1, &next);
        if (got == Got::Stopped)
            return;
        const qint64 nextRefresh = got == Got::Frame ? refreshFor(next->ptsUs, milliHz) : -1;
        endUs = frame->ptsUs + frame->durationUs; // shown or dropped, its time is played
        if (nextRefresh >= 0 && nextRefresh <= refresh) {
            ++dropped;
            m_decoder.release();
            continue;
        }
        WaitClock::TimePoint due = base + std::chrono::nanoseconds(refreshTimeNs(refresh, milliHz));
        // On a virtual clock (the render tool, tests) the sections hold exactly the frame that
        // is due at every moment: nothing goes in ahead.
        const auto lead = realTime ? kStageLead : std::chrono::milliseconds(0);
        WaitClock::TimePoint stageAt = due - lead;
        const WaitClock::TimePoint asked = stageAt;
        if (m_area.WaitStopUntil(stageAt))
            return;
        // A pause moves the whole schedule on, and the sound comes back after a delay of its own.
        const auto paused = stageAt - asked;
        base += paused;
        due += paused;
        if (paused.count() > 0)
            follower.unlock();
        // Woken so late that the next frame is due already: this one is dropped, not shown late.
        if (nextRefresh >= 0 &&
            m_area.clock().now() >=
                base + std::chrono::nanoseconds(refreshTimeNs(nextRefresh, milliHz))) {
            ++dropped;
            m_decoder.release();
            continue;
        }
        if (!passGate(&base, &due, follower))
            return;
        stage(*frame);
        if (lead.count() > 0) {
            const WaitClock::TimePoint staged = due;
            if (m_area.WaitStopUntil(due))
                return;
            base += due - staged;
            if (due != staged)
                follower.unlock();
            if (!passGate(&base, &due, follower))
                return;
        }
        present(*frame, FrameStamp{nanoseconds(due), item, frame->index});
        m_area.reportPosition(m_item, frame->ptsUs);
        ++shown;
        m_decoder.release();
    }
    m_audio.stop();
    m_decoder.stop();
    QJsonObject played{{QStringLiteral("phase"), QStringLiteral("played")},
                       {QStringLiteral("frames"), shown},
                       {QStringLiteral("dropped"), dropped},
                       {QStringLiteral("sound"), sound}};
    if (follower.count() > 0)
        played.insert(QStringLiteral("soundOffsetWorstUs"), follower.worstUs());
    m_area.reportShown(m_item, played);
    // The last frame stays for its own time, or until the play time is over.
    WaitClock::TimePoint end = base + (playTimeNs > 0 ? std::chrono::nanoseconds(playTimeNs)
                                                      : std::chrono::nanoseconds(endUs * 1000));
    if (m_area.WaitStopUntil(end))
        return;
    clear();
}
