#pragma once

#include "model/CPropText.h"
#include "model/WaitClock.h"
#include "render/AreaBands.h"

#include <QImage>
#include <QRect>
#include <QStringList>

#include <vector>

class CAct;

// One play of a scrolling text item: the text moves without pause over the whole LED picture,
// through the joins between sections, one step per display refresh. Left and right: the file's
// paragraphs on one line, vertically centred; up and down: its lines wrapped as for pages. A pass
// lasts until the text has come in at one edge and wholly left at the other; the item plays its
// passes and ends.
class MarqueePlayer
{
public:
    MarqueePlayer(const CPropText& item, CAct& area);
    void play();

    // The distance the text has moved after `step` refreshes at `milliHz`, at `pixelsPerSecond`:
    // whole pixels, from an exact count (nothing drifts however long it runs).
    static qint64 offsetAt(qint64 step, int pixelsPerSecond, int milliHz);
    // The time of step `step` after the start, in nanoseconds.
    static qint64 stepTimeNs(qint64 step, int milliHz);
    // The paragraphs of a file as one marquee line, four spaces between them.
    static QString joinParagraphs(const QStringList& lines);

private:
    bool prepare(const QStringList& lines);
    void findRuns();
    // The text's top-left corner in the picture at this offset.
    QPoint position(qint64 offset) const;
    // Draws the picture with the text at `at` into the sections; `rows` of the picture change.
    // After the first step of a pass only the text's pixels of the last step are put back to
    // the background, then the text drawn: the rest of the rows already holds the background.
    void drawStep(QPoint at, const FrameStamp& stamp);
    // Writes the text's pixels of picture row `y`, the text at `at`, within columns [from, to)
    // into the row `out` (picture columns): the text's own, or with `wipe` the background's.
    void copyRuns(QRgb* out, int y, QPoint at, int from, int to, bool wipe) const;

    const CPropText& m_item;
    CAct& m_area;
    CPropText::Marquee m_marquee;
    QRect m_rect;   // the picture
    QImage m_plain; // the background alone
    QImage m_text;  // the text on transparency; its drawn pixels opaque
    // The drawn pixels of the text, row by row: runs [begin, end) of columns, those of row y
    // from m_runStart[y] to m_runStart[y + 1]. Found once a pass.
    struct Run
    {
        int begin;
        int end;
    };
    std::vector<Run> m_runs;
    std::vector<size_t> m_runStart;
    QRect m_rows;        // the part of the picture the text moves through
    qint64 m_length = 0; // the distance of one pass
    std::vector<AreaBand> m_bands;
    // What the last step drew into, band by band: a band that changed, or a buffer made
    // again, is drawn whole.
    struct Drawn
    {
        const BackBuffer* child = nullptr;
        QRect rect;
        QSize bufferSize;
    };
    std::vector<Drawn> m_drawn;
    QPoint m_lastAt;
    bool m_drawWhole = true;
};
