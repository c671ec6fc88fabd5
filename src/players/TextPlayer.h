#pragma once

#include "render/pictures/CMyBitmap.h"
#include "render/text/TextLayout.h"
#include "render/text/TextMeasure.h"

#include <QFont>
#include <QGlyphRun>
#include <QImage>
#include <QLocale>
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
    // The pieces `line` wraps into at `width`, each with whether it ends the line.
    static void wrapLine(TextMeasure& measure, int width, const QString& line,
                         std::vector<std::pair<QString, bool>>& pieces);
    // The lines of the item's file; false (told once in the status line) when it cannot be read.
    static bool readLines(const CPropText& item, CAct& area, QStringList* lines);

private:
    bool addLine(const QString& text, bool paragraphEnd, int templateIndex, int piece);
    // The pieces a line wraps into at the area's width, each with whether it ends the line.
    void wrap(const QString& line, std::vector<std::pair<QString, bool>>& pieces);
    // A line of the file with its live fields filled in at the wall clock's time.
    QString expanded(int templateIndex) const;
    // Composes the page buffer, runs the transition and holds; false when stopped.
    bool showPage();
    // Holds the page for the hold time; with live fields redraws what changes. False when
    // stopped.
    bool holdPage();
    void refreshPage();
    // Line i of the page in its slot, with the outline style.
    void drawStyledLine(QPainter& painter, int i);
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
    QImage m_plain; // the background alone
    bool m_fields = false;
    QLocale m_locale;
    QStringList m_templates;
    // Where each line of the page comes from: the file's line and the piece of its wrapping.
    std::vector<std::pair<int, int>> m_sources;
    QStringList m_lines;
    std::vector<bool> m_flags;
    int m_pageNumber = 0;
    std::vector<int> m_advances;
    std::vector<int> m_positions;
    QRawFont m_rawFont;
    QGlyphRun m_glyphRun;
    QList<QPointF> m_glyphPositions;
};
