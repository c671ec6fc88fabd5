#pragma once

#include "render/pictures/CMyBitmap.h"
#include "render/text/TextLayout.h"
#include "render/text/TextMeasure.h"

#include <QFont>
#include <QGlyphRun>
#include <QImage>
#include <QRawFont>
#include <QStringList>

#include <optional>
#include <vector>

class CAct;
class CPropText;
class QPainter;

// One play of a text item: reads the file, wraps its lines to the area's width, and shows them
// page by page through the transition engine, each page held for the item's hold time.
class TextPlayer
{
public:
    TextPlayer(const CPropText& item, CAct& area);
    void play();

    // The font of a text item: pixel size from points at 96 dpi, pinned faces, no smoothing
    // (LED pixels are either on or off).
    static QFont itemFont(const CPropText& item);

private:
    bool addLine(const QString& text, bool paragraphEnd);
    // Composes the page buffer, runs the transition and holds; false when stopped.
    bool showPage();
    void drawTextLine(QPainter& painter, const QString& text, const QRect& slot, bool paragraphEnd);
    // Draws the line's characters at m_positions as one glyph run; false when it cannot.
    bool drawGlyphs(QPainter& painter, const QString& text, int baseline);

    const CPropText& m_item;
    CAct& m_area;
    // The item's settings as they were when the play began.
    int m_effect = 0;
    int m_speed = 0;
    int m_holdTime = 0;
    int m_textStyle = 0;
    int m_textColor = 0;
    int m_backColor = 0;
    int m_backFitMode = 0;
    bool m_vcenter = false;
    TextLayout::Align m_align = TextLayout::Align::None;

    QFont m_font;
    std::optional<TextMeasure> m_measure;
    QRect m_rect;
    TextLayout::PageLines m_page{1, 0};
    int m_charHeight = 0;
    QImage m_composed;
    CMyBitmap m_background;
    QStringList m_lines;
    std::vector<bool> m_flags;
    int m_pageNumber = 0;
    std::vector<int> m_advances;
    std::vector<int> m_positions;
    QRawFont m_rawFont;
    QGlyphRun m_glyphRun;
    QList<QPointF> m_glyphPositions;
};
