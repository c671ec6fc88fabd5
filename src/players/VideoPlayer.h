#pragma once

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
// its passes, then the clearing. No sound yet: the volume is kept, not played.
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

private:
    enum class Got
    {
        Frame,
        End,
        Stopped,
    };
    // Waits for the decoder (real time, a stop ends it within a poll).
    Got waitFrame(int position, const VideoFrame** frame);
    // Copies the frame into every section through the area's bands.
    void present(const VideoFrame& frame, const FrameStamp& stamp);
    void clear();

    const CPropVideo& m_item;
    CAct& m_area;
    VideoDecoder m_decoder;
};
