#pragma once

#include "model/WaitClock.h"
#include "render/video/AudioOutput.h"
#include "render/video/VideoDecoder.h"

#include <QImage>
#include <QRect>

class CAct;
class CPropVideo;
struct FrameStamp;

// One play of a video item. The first frame enters with the item's effect like a picture; from
// then on each frame shows at the first display refresh at or after its presentation time,
// counted from the start on absolute deadlines (never from a frame count, so nothing drifts).
// A frame whose successor is due by then is dropped, never shown late; the frame log's step is
// the frame's number, so its gaps are the frames dropped. The item ends after its play time or
// its passes, then the clearing. Its sound, where it has one and the volume is above 0, plays
// on the default sound device and is the clock the pictures follow while it is heard; without a
// device the video plays silent, told once. On a virtual clock (the render tool, tests) it is
// silent.
class VideoPlayer
{
public:
    VideoPlayer(const CPropVideo& item, CAct& area);
    void play();

    // The refresh (counted from 0 at the start) at which a frame due `ptsUs` after the start
    // shows at `milliHz`: the first at or after it.
    static qint64 refreshFor(qint64 ptsUs, int milliHz);
    // "clip.mp4 does not decode as a video."
    static QString undecodable(const QString& path);

    // How the pictures follow the sound: `errorUs` (the pictures' time minus the heard time,
    // measured at a frame) is smoothed, and the schedule moves by what it comes to when that is
    // more than kAudioSlackUs; at once when it is more than kAudioJumpUs.
    class AudioFollower
    {
    public:
        static constexpr qint64 kAudioSlackUs = 5000;
        static constexpr qint64 kAudioJumpUs = 150000;
        // How far to move the schedule on (positive: later), 0 for none.
        qint64 correction(qint64 errorUs);
        // A pause came between: the sound starts again after its own delay, so the pictures snap
        // to it until the two agree again, and those readings are not counted.
        void unlock()
        {
            m_locked = false;
            m_smoothed = 0;
        }
        // The errors seen after the first correction, for the frame log.
        qint64 worstUs() const { return m_worstUs; }
        qint64 count() const { return m_count; }

    private:
        double m_smoothed = 0;
        bool m_locked = false;
        qint64 m_worstUs = 0;
        qint64 m_count = 0;
    };

private:
    enum class Got
    {
        Frame,
        End,
        Stopped,
    };
    // The pause gate: false when stopped; a pause held there moves `base` and `due` on.
    bool passGate(WaitClock::TimePoint* base, WaitClock::TimePoint* due, AudioFollower& follower);
    // Waits for the decoder (real time, a stop ends it within a poll).
    Got waitFrame(int position, const VideoFrame** frame);
    // Copies the frame into every section through the area's bands ahead of its refresh, then
    // shows it there.
    void stage(const VideoFrame& frame);
    void present(const VideoFrame& frame, const FrameStamp& stamp);
    void clear();

    const CPropVideo& m_item;
    CAct& m_area;
    VideoDecoder m_decoder;
    AudioOutput m_audio; // after the decoder: stopped and gone before it
};
