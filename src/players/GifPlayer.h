#pragma once

#include <QImage>
#include <QRect>

#include <vector>

class CAct;
class CPropGif;

// One play of an animated GIF item: the frames as the decoder composes them (disposal,
// transparency), each fitted over the item's background colour and picture with its overlay
// texts, shown on its delay on absolute deadlines; passes repeat until the play time is over.
class GifPlayer
{
public:
    GifPlayer(const CPropGif& item, CAct& area);
    void play();

    // A frame's delay as browsers count it: 0 and 10 ms (and anything below) are 100 ms.
    static int frameDelayMs(int decoderDelayMs);

private:
    struct Overlay
    {
        QImage picture;
        QRect rect;
        int key;
    };
    void renderOverlays();
    // The composed picture of one frame: background, the fitted frame, the overlays.
    void compose(const QImage& frame);

    const CPropGif& m_item;
    CAct& m_area;
    QImage m_background;
    QImage m_composed;
    std::vector<Overlay> m_overlays;
};
