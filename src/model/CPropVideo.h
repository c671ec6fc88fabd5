#pragma once

#include "CPropBase.h"

// A video file played on the area: fitted like a picture (fitMode, over the background colour
// and picture), entering with the item's effect at its speed, then frame by frame at the
// stream's own times; the clearing at its end. Its own settings in reservedText: "playSeconds"
// (0: the video to its end, "loops" times), "loops" (1), "volume" (0-100, 100) and
// "startSeconds" (where every pass starts).
class CPropVideo : public CPropBase
{
public:
    CPropVideo() = default;
    CPropVideo& operator=(const CPropVideo&) = delete;

    const char* className() const override { return "CPropVideo"; }
    std::unique_ptr<CPropBase> clone() const override;
    void Serialize(FieldVisitor& v) override;

    // The settings, read from reservedText with their defaults and limits.
    int playTimeMs() const; // 0: until the passes end; at most a day
    int loops() const;      // passes of the video when there is no play time: 1 to 10000
    int volume() const;     // 0 (muted) to 100
    qint64 startUs() const; // 0 or more, at most a day

    int speed = 5;
    int effect = 0;
    int fitMode = 1; // 0 centre, 1 zoom (bars), 2 stretch, 3 fill (cut to cover)

protected:
    CPropVideo(const CPropVideo& other) = default;
};
