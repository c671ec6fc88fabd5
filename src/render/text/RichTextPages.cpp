#include "RichTextPages.h"

#include "RichTextFormats.h"

#include <QAbstractTextDocumentLayout>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextLayout>
#include <QTextTable>

#include <algorithm>
#include <cmath>

namespace {

constexpr double kEpsilon = 0.01;

QTextTable* outermostTable(const QTextBlock& block)
{
    QTextTable* outer = nullptr;
    const QTextCursor cursor(block);
    for (QTextFrame* frame = cursor.currentFrame(); frame && frame->parentFrame();
         frame = frame->parentFrame()) {
        if (auto* table = qobject_cast<QTextTable*>(frame))
            outer = table;
    }
    return outer;
}

double cellTop(const QTextTable& table, const QTextTableCell& cell,
               QAbstractTextDocumentLayout& layout)
{
    const QTextBlock first = cell.firstCursorPosition().block();
    const QTextTableCellFormat format = cell.format().toTableCellFormat();
    const QTextTableFormat tableFormat = table.format();
    const double padding = format.hasProperty(QTextFormat::TableCellTopPadding)
                               ? format.topPadding()
                               : tableFormat.cellPadding();
    const double border = format.hasProperty(QTextFormat::TableCellTopBorder)
                              ? format.topBorder()
                              : tableFormat.border();
    return layout.blockBoundingRect(first).top() - first.blockFormat().topMargin() - padding -
           border;
}

// The top of a row: the highest of the cells that start in it; NaN when none does (every cell
// comes from a row above).
double rowTop(const QTextTable& table, int row, QAbstractTextDocumentLayout& layout)
{
    double top = NAN;
    for (int column = 0; column < table.columns(); ++column) {
        const QTextTableCell cell = table.cellAt(row, column);
        if (!cell.isValid() || cell.row() != row || cell.column() != column)
            continue;
        const double y = cellTop(table, cell, layout);
        top = std::isnan(top) ? y : std::min(top, y);
    }
    return top;
}

struct CellBox
{
    double left = 0;
    double right = 0;
    int position = 0;
};

// Where a cell lies across, borders and padding included, and its first character.
CellBox cellBox(const QTextTable& table, const QTextTableCell& cell,
                QAbstractTextDocumentLayout& layout)
{
    const QTextBlock first = cell.firstCursorPosition().block();
    const QTextTableCellFormat format = cell.format().toTableCellFormat();
    const QTextTableFormat tableFormat = table.format();
    const auto side = [&](int property, double fallback) {
        return format.hasProperty(property) ? format.doubleProperty(property) : fallback;
    };
    const QRectF rect = layout.blockBoundingRect(first);
    const double left = rect.left() - first.blockFormat().leftMargin() -
                        side(QTextFormat::TableCellLeftPadding, tableFormat.cellPadding()) -
                        side(QTextFormat::TableCellLeftBorder, tableFormat.border());
    const double right = rect.right() + first.blockFormat().rightMargin() +
                         side(QTextFormat::TableCellRightPadding, tableFormat.cellPadding()) +
                         side(QTextFormat::TableCellRightBorder, tableFormat.border());
    return {left, right, cell.firstPosition()};
}

} // namespace

void RichTextPages::reset(QTextDocument& document, QSize page)
{
    m_size = page;
    if (document.textWidth() != page.width()) {
        fitToWidth(document, page.width());
        document.setTextWidth(page.width());
    }
    m_widened = nullptr;
    m_pages.assign(1, Start{});
    m_pending.clear();
    m_done = false;
    m_breakNext = false;
    m_breakTop = 0;
    m_pageShows = false;
    m_block = document.begin();
    m_line = 0;
    m_tallRowTable = nullptr;
    m_tallRow = -1;
}

bool RichTextPages::nextUnit(QTextDocument& document, Unit& unit)
{
    QAbstractTextDocumentLayout& layout = *document.documentLayout();
    while (m_block.isValid()) {
        if (m_line == 0) {
            QTextTable* table = outermostTable(m_block);
            // Tables are met in order: each is widened for its numbers when first met, so that
            // what lies before it keeps its layout.
            if (table && table != m_widened) {
                widenForUnbrokenLines(document, *table);
                m_widened = table;
            }
            if (table && layout.frameBoundingRect(table).width() > m_size.width() + 1) {
                const QRectF frame = layout.frameBoundingRect(table);
                unit = Unit{};
                unit.start = m_block.position();
                unit.top = frame.top();
                unit.bottom = frame.bottom();
                unit.wide = table;
                while (m_block.isValid() && outermostTable(m_block) == table)
                    m_block = m_block.next();
                m_line = 0;
                return true;
            }
            if (table) {
                const int row = table->cellAt(m_block.position()).row();
                const bool tall = table == m_tallRowTable && row == m_tallRow;
                if (!tall && row >= 0) {
                    const double top = rowTop(*table, row, layout);
                    double bottom = NAN;
                    for (int below = row + 1; below < table->rows() && std::isnan(bottom); ++below)
                        bottom = rowTop(*table, below, layout);
                    if (std::isnan(bottom))
                        bottom = layout.frameBoundingRect(table).bottom();
                    if (!std::isnan(top) && bottom - top <= m_size.height() + kEpsilon) {
                        unit.start = m_block.position();
                        unit.top = top;
                        unit.bottom = bottom;
                        unit.breakBefore = m_block.blockFormat().pageBreakPolicy() &
                                           QTextFormat::PageBreak_AlwaysBefore;
                        unit.shows = true;
                        unit.wide = nullptr;
                        // Past every block of the row, nested tables included.
                        do {
                            m_block = m_block.next();
                        } while (m_block.isValid() && outermostTable(m_block) == table &&
                                 table->cellAt(m_block.position()).row() == row);
                        return true;
                    }
                    m_tallRowTable = table;
                    m_tallRow = row;
                }
            } else {
                m_tallRowTable = nullptr;
            }
        }
        const QTextLayout* lines = m_block.layout();
        const QRectF blockRect = layout.blockBoundingRect(m_block);
        if (lines && m_line < lines->lineCount()) {
            const QTextLine line = lines->lineAt(m_line);
            unit.start = m_block.position() + line.textStart();
            unit.top = blockRect.top() + line.y();
            unit.bottom = unit.top + line.height();
            unit.breakBefore = m_line == 0 && (m_block.blockFormat().pageBreakPolicy() &
                                               QTextFormat::PageBreak_AlwaysBefore);
            unit.shows = line.textLength() > 0 && !m_block.text().trimmed().isEmpty();
            unit.wide = nullptr;
            ++m_line;
            return true;
        }
        m_block = m_block.next();
        m_line = 0;
    }
    return false;
}

bool RichTextPages::scanNextPage(QTextDocument& document)
{
    // Pages follow one another by their first characters, always forwards.
    while (!m_pending.empty() && m_pending.front().start <= m_pages.back().start)
        m_pending.pop_front();
    if (!m_pending.empty()) {
        m_pages.push_back(m_pending.front());
        m_pending.pop_front();
        return true;
    }
    if (m_done)
        return false;
    const double pageHeight = std::max(1, m_size.height());
    Unit unit;
    while (nextUnit(document, unit)) {
        const Start& current = m_pages.back();
        if (unit.wide) {
            std::vector<Start> pages = tablePages(document, *unit.wide);
            if (pages.empty())
                continue;
            m_breakNext = true;
            m_breakTop = unit.bottom;
            // A page that shows nothing yet (the empty paragraph before a table) becomes the
            // table's first page.
            const bool reuse = !m_pageShows || pages.front().start <= current.start;
            if (reuse) {
                pages.front().start = current.start;
                m_pages.back() = pages.front();
                pages.erase(pages.begin());
            }
            m_pending.assign(pages.begin(), pages.end());
            m_pageShows = true;
            if (m_pending.empty())
                continue;
            return scanNextPage(document);
        }
        if (unit.start <= current.start) {
            m_pageShows = m_pageShows || unit.shows;
            continue;
        }
        const double pageTop = current.top;
        const bool overflows =
            unit.bottom > pageTop + pageHeight + kEpsilon && unit.top > pageTop + kEpsilon;
        if (overflows || unit.breakBefore || m_breakNext) {
            Start next;
            next.start = unit.start;
            // (The empty paragraph after a table tells a top inside it.)
            next.top = m_breakNext ? std::max(unit.top, m_breakTop)
                                   : std::max(unit.top, pageTop + kEpsilon);
            m_pages.push_back(next);
            m_breakNext = false;
            m_pageShows = unit.shows;
            return true;
        }
        m_pageShows = m_pageShows || unit.shows;
    }
    m_done = true;
    return false;
}

std::vector<RichTextPages::Start> RichTextPages::tablePages(QTextDocument& document,
                                                            QTextTable& table) const
{
    QAbstractTextDocumentLayout& layout = *document.documentLayout();
    const int rows = table.rows();
    const int columns = table.columns();
    const double pageWidth = std::max(1, m_size.width());
    const double pageHeight = std::max(1, m_size.height());
    // Where each column starts (NaN: no cell starts there, it goes with the one before), and
    // where each row starts (its top and first character; NaN: every cell comes from above).
    std::vector<double> columnLeft(size_t(columns), NAN);
    std::vector<double> rowTops(size_t(rows), NAN);
    std::vector<std::vector<int>> rowCellStarts(size_t(rows),
                                                std::vector<int>(size_t(columns), -1));
    double tableRight = 0;
    struct Span
    {
        int first, last; // columns
    };
    std::vector<Span> merged;
    for (int row = 0; row < rows; ++row) {
        for (int column = 0; column < columns; ++column) {
            const QTextTableCell cell = table.cellAt(row, column);
            if (!cell.isValid() || cell.row() != row || cell.column() != column)
                continue;
            const CellBox box = cellBox(table, cell, layout);
            double& left = columnLeft[size_t(column)];
            left = std::isnan(left) ? box.left : std::min(left, box.left);
            tableRight = std::max(tableRight, box.right);
            rowCellStarts[size_t(row)][size_t(column)] = box.position;
            const double top = cellTop(table, cell, layout);
            double& rowTop = rowTops[size_t(row)];
            rowTop = std::isnan(rowTop) ? top : std::min(rowTop, top);
            if (cell.columnSpan() > 1)
                merged.push_back({column, column + cell.columnSpan() - 1});
        }
    }
    const QRectF frame = layout.frameBoundingRect(&table);
    const double tableBottom = frame.bottom();

    // Bands of columns: as many whole columns as fit the width; a column wider than the page
    // alone. A merged cell is not cut where an edge before it does as well.
    struct Band
    {
        int first;
        double left, width;
    };
    std::vector<Band> bands;
    {
        std::vector<int> starts; // columns a band can start at
        for (int column = 0; column < columns; ++column)
            if (!std::isnan(columnLeft[size_t(column)]))
                starts.push_back(column);
        const auto leftOf = [&](size_t index) {
            return index < starts.size() ? columnLeft[size_t(starts[index])] : tableRight;
        };
        size_t a = 0;
        while (a < starts.size()) {
            const double bandLeft = a == 0 ? std::min(0.0, leftOf(0)) : leftOf(a);
            size_t b = a + 1;
            while (b < starts.size() && leftOf(b + 1) - bandLeft <= pageWidth + kEpsilon)
                ++b;
            for (bool moved = true; moved && b < starts.size();) {
                moved = false;
                for (const Span& span : merged) {
                    const int edge = starts[b];
                    if (span.first < edge && span.last >= edge && span.first > starts[a]) {
                        const auto it = std::find(starts.begin(), starts.end(), span.first);
                        if (it != starts.end() && size_t(it - starts.begin()) > a) {
                            b = size_t(it - starts.begin());
                            moved = true;
                        }
                    }
                }
            }
            bands.push_back({starts[a], bandLeft, leftOf(b) - bandLeft});
            a = b;
        }
    }

    // Bands of rows: as many whole rows as fit the height; a taller row alone, in slices.
    std::vector<Start> pages;
    const int tableEnd = table.lastPosition() + 1;
    int previous = table.firstPosition() - 1;
    int r0 = 0;
    while (r0 < rows && std::isnan(rowTops[size_t(r0)]))
        ++r0;
    while (r0 < rows) {
        const double top = rowTops[size_t(r0)];
        int next = r0 + 1; // the first row of the next band
        const auto nextStart = [&](int from) {
            while (from < rows && std::isnan(rowTops[size_t(from)]))
                ++from;
            return from;
        };
        next = nextStart(next);
        const auto topOf = [&](int row) { return row < rows ? rowTops[size_t(row)] : tableBottom; };
        while (next < rows && topOf(nextStart(next + 1)) - top <= pageHeight + kEpsilon)
            next = nextStart(next + 1);
        const double bottom = topOf(next);
        int limit = tableEnd;
        if (next < rows)
            for (int position : rowCellStarts[size_t(next)])
                if (position >= 0) {
                    limit = position;
                    break;
                }
        for (double sliceTop = top; sliceTop < bottom - kEpsilon; sliceTop += pageHeight) {
            for (const Band& band : bands) {
                int candidate = -1;
                if (sliceTop == top)
                    for (int column = band.first; column < columns && candidate < 0; ++column)
                        candidate = rowCellStarts[size_t(r0)][size_t(column)];
                const int start = std::max(previous + 1, candidate);
                if (start >= limit)
                    continue; // no character left to name the page by: an edge case of merges
                Start page;
                page.start = start;
                page.top = sliceTop;
                page.bottom = std::min(bottom, sliceTop + pageHeight);
                page.left = band.left;
                page.width = band.width;
                pages.push_back(page);
                previous = start;
            }
        }
        r0 = next;
    }
    return pages;
}

RichTextPages::Page RichTextPages::pageAt(QTextDocument& document, int position)
{
    const int length = std::max(0, document.characterCount() - 1);
    // Find the page that starts after the position, or the end.
    while (!(m_done && m_pending.empty()) && m_pages.back().start <= position)
        if (!scanNextPage(document))
            break;
    const auto after =
        std::upper_bound(m_pages.begin(), m_pages.end(), std::max(0, position),
                         [](int value, const Start& start) { return value < start.start; });
    const size_t index = size_t(std::max<std::ptrdiff_t>(0, (after - m_pages.begin()) - 1));
    if (index + 1 >= m_pages.size())
        scanNextPage(document);
    const Start& start = m_pages[index];
    Page page;
    page.start = start.start;
    page.top = start.top;
    page.left = start.left;
    page.width = start.width;
    page.bottom = page.top + std::max(1, m_size.height());
    if (start.bottom >= 0)
        page.bottom = std::min(page.bottom, start.bottom);
    if (index + 1 < m_pages.size()) {
        page.next = m_pages[index + 1].start;
        if (start.bottom < 0)
            page.bottom = std::min(page.bottom, m_pages[index + 1].top);
    } else {
        page.next = length;
    }
    return page;
}

void RichTextPages::widenForUnbrokenLines(QTextDocument& document, QTextTable& table)
{
    QAbstractTextDocumentLayout& layout = *document.documentLayout();
    QTextTableFormat format = table.format();
    QList<QTextLength> widths = format.columnWidthConstraints();
    bool changed = false;
    for (int row = 0; row < table.rows(); ++row)
        for (int column = 0; column < table.columns() && column < widths.size(); ++column) {
            const QTextTableCell cell = table.cellAt(row, column);
            if (cell.row() != row || cell.column() != column || cell.columnSpan() != 1 ||
                widths[column].type() != QTextLength::FixedLength)
                continue;
            double needed = 0;
            for (auto it = cell.begin(); !it.atEnd(); ++it) {
                const QTextBlock block = it.currentBlock();
                if (!block.isValid() || !block.blockFormat().nonBreakableLines())
                    continue;
                layout.blockBoundingRect(block); // lays it out
                for (int i = 0; block.layout() && i < block.layout()->lineCount(); ++i)
                    needed = std::max(needed, block.layout()->lineAt(i).naturalTextWidth());
            }
            if (needed <= 0)
                continue;
            const CellBox box = cellBox(table, cell, layout);
            const QRectF content = layout.blockBoundingRect(cell.firstCursorPosition().block());
            needed += (box.right - box.left) - content.width() + 1;
            if (needed > widths[column].rawValue()) {
                widths[column] = QTextLength(QTextLength::FixedLength, std::ceil(needed));
                changed = true;
            }
        }
    if (changed) {
        format.setColumnWidthConstraints(widths);
        table.setFormat(format);
    }
}

void RichTextPages::fitToWidth(QTextDocument& document, double width)
{
    // Tables: their own column widths, a column wider than the page narrowed to it (the pages
    // then cut the table across).
    for (QTextFrame* frame : document.rootFrame()->childFrames()) {
        auto* table = qobject_cast<QTextTable*>(frame);
        if (!table)
            continue;
        QTextTableFormat format = table->format();
        const QList<QTextLength> natural = RichTextFormats::naturalColumnWidths(format);
        if (natural.isEmpty())
            continue;
        QList<QTextLength> widths = natural;
        for (QTextLength& length : widths)
            if (length.type() == QTextLength::FixedLength && length.rawValue() > width)
                length = QTextLength(QTextLength::FixedLength, width);
        if (format.columnWidthConstraints() != widths) {
            format.setColumnWidthConstraints(widths);
            table->setFormat(format);
        }
    }
    // Pictures wider than the page: scaled down to its width, kept in proportion.
    QTextCursor cursor(&document);
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (!fragment.isValid() || !fragment.charFormat().isImageFormat())
                continue;
            QTextImageFormat image = fragment.charFormat().toImageFormat();
            const QSizeF natural = RichTextFormats::naturalPictureSize(image);
            if (natural.isEmpty())
                continue;
            QSizeF size = natural;
            if (size.width() > width)
                size = QSizeF(width, natural.height() * width / natural.width());
            if (QSizeF(image.width(), image.height()) == size)
                continue;
            image.setWidth(size.width());
            image.setHeight(size.height());
            cursor.setPosition(fragment.position());
            cursor.setPosition(fragment.position() + fragment.length(), QTextCursor::KeepAnchor);
            cursor.setCharFormat(image);
        }
    }
}
