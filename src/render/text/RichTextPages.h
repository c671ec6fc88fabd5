#pragma once

#include <QSize>
#include <QTextBlock>

#include <deque>
#include <vector>

class QTextDocument;
class QTextTable;

// Where the pages of a document start, for one page size, found lazily: only as far as the pages
// asked for, so the first page of a long document costs the layout of that page only. A page
// starts at a line, or at a table row, which moves to the next page whole unless it is taller
// than a page; it shows what lies between its top and the next page's top, at most one page high.
// Pictures wider than the page are fitted to its width. Table columns keep their own widths (one
// wider than the page is narrowed to it); a table still wider than the page is cut as a
// spreadsheet is printed: into bands of rows that fit the height and, within each, bands of
// columns that fit the width, read across and then down, each on a page of its own.
class RichTextPages
{
public:
    struct Page
    {
        int start = 0;     // first character
        double top = 0;    // document coordinates
        double bottom = 0; // exclusive; the next page's top or top + page height
        int next = 0;      // the next page's first character, or the text length after the last
        double left = 0;   // document coordinates of the page's left edge
        double width = 0;  // how much of the page is shown from `left`; 0: all of it
    };

    // Starts again for a page size (after the document changed, or for another size).
    void reset(QTextDocument& document, QSize page);
    QSize size() const { return m_size; }
    // The page that shows character `position`: the last one starting at or before it.
    Page pageAt(QTextDocument& document, int position);

private:
    struct Unit
    {
        int start = 0;
        double top = 0;
        double bottom = 0;
        bool breakBefore = false;
        bool shows = true;          // false for an empty line
        QTextTable* wide = nullptr; // a whole table wider than the page
    };
    struct Start
    {
        int start = 0;
        double top = 0;
        double bottom = -1; // < 0: the next page's top, at most one page below
        double left = 0;
        double width = 0;
    };
    bool nextUnit(QTextDocument& document, Unit& unit);
    bool scanNextPage(QTextDocument& document);
    std::vector<Start> tablePages(QTextDocument& document, QTextTable& table) const;
    static void fitToWidth(QTextDocument& document, double width);
    // Columns whose one-line cells (numbers) are wider than them grow to hold them.
    static void widenForUnbrokenLines(QTextDocument& document, QTextTable& table);

    QSize m_size;
    std::vector<Start> m_pages;
    std::deque<Start> m_pending; // the rest of a wide table's pages
    bool m_done = false;
    bool m_breakNext = false; // the next unit starts a page (after a wide table)
    double m_breakTop = 0;    // and no higher than this
    bool m_pageShows = false; // the last page holds more than empty lines
    // Where the scan stands.
    QTextBlock m_block;
    int m_line = 0;
    QTextTable* m_widened = nullptr;      // the last table widened for its numbers
    QTextTable* m_tallRowTable = nullptr; // a row taller than a page is paged by its lines
    int m_tallRow = -1;
};
