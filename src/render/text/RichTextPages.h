#pragma once

#include <QSize>
#include <QTextBlock>

#include <vector>

class QTextDocument;
class QTextTable;

// Where the pages of a document start, for one page size, found lazily: only as far as the pages
// asked for, so the first page of a long document costs the layout of that page only. A page
// starts at a line, or at a table row, which moves to the next page whole unless it is taller
// than a page; it shows what lies between its top and the next page's top, at most one page high.
// Tables and pictures wider than the page are fitted to its width first.
class RichTextPages
{
public:
    struct Page
    {
        int start = 0;     // first character
        double top = 0;    // document coordinates
        double bottom = 0; // exclusive; the next page's top or top + page height
        int next = 0;      // the next page's first character, or the text length after the last
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
    };
    bool nextUnit(QTextDocument& document, Unit& unit);
    bool scanNextPage(QTextDocument& document);
    static void fitToWidth(QTextDocument& document, double width);

    QSize m_size;
    std::vector<int> m_starts;
    std::vector<double> m_tops;
    bool m_done = false;
    // Where the scan stands.
    QTextBlock m_block;
    int m_line = 0;
    QTextTable* m_tallRowTable = nullptr; // a row taller than a page is paged by its lines
    int m_tallRow = -1;
};
