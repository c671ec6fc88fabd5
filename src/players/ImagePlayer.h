#pragma once

#include <QImage>

#include <memory>
#include <optional>

class CAct;
class CPropBase;
class CMyRichEdit;
class CPropImage;
struct CMyText;

// One play of an image item: the composed picture (background colour, background picture,
// picture, each fitted) through its transition, the text overlays one after another with their
// entry effects in every section they cover, the hold, and the clearing.
class ImagePlayer
{
public:
    ImagePlayer(const CPropImage& item, CAct& area);
    ~ImagePlayer();
    void play();

    // How an overlay moves in (effects 3 to 6): steps of `step` pixels over `distance`, waiting
    // `waitMs` after each frame.
    struct Motion
    {
        int distance;
        int step;
        int waitMs;
    };
    static Motion motion(int effect, const QRect& overlay, QSize area, int speed);
    // The engine effect of a clearing (list 106, random already drawn); none for "non-clear".
    static std::optional<int> clearingEffect(int clear);
    // The clearing of a picture-like item: the area's current item's clearing (random drawn)
    // from what shows to `surface` filled with the item's background colour, and reported.
    static void clearArea(const CPropBase& item, CAct& area, QImage& surface);

private:
    void playOverlay(const CMyText& text, int index);
    // One frame: the overlay part `source` laid at `at` over the composed picture, shown in
    // the sections it touches.
    void frame(const QImage& overlay, const QRect& source, QPoint at, int key);

    const CPropImage& m_item;
    CAct& m_area;
    QImage m_composed;
    QImage m_saved;
    QRect m_lastDrawn; // where the overlay was drawn in the last frame
    std::unique_ptr<CMyRichEdit> m_edit;
};
