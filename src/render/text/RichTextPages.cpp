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

} // namespace

void RichTextPages::reset(QTextDocument& document, QSize page)
{
    m_size = page;
    if (document.textWidth() != page.width()) {
        fitToWidth(document, page.width());
        document.setTextWidth(page.width());
    }
    m_starts.assign(1, 0);
    m_tops.assign(1, 0.0);
    m_done = false;
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
    if (m_done)
        return false;
    const double pageTop = m_tops.back();
    const double pageHeight = std::max(1, m_size.height());
    Unit unit;
    while (nextUnit(document, unit)) {
        if (unit.start <= m_starts.back())
            continue;
        const bool overflows =
            unit.bottom > pageTop + pageHeight + kEpsilon && unit.top > pageTop + kEpsilon;
        if (overflows || unit.breakBefore) {
            m_starts.push_back(unit.start);
            m_tops.push_back(std::max(unit.top, pageTop + kEpsilon));
            return true;
        }
    }
    m_done = true;
    return false;
}

RichTextPages::Page RichTextPages::pageAt(QTextDocument& document, int position)
{
    const int length = std::max(0, document.characterCount() - 1);
    // Find the page that starts after the position, or the end.
    while (!m_done && m_starts.back() <= position)
        scanNextPage(document);
    const auto after = std::upper_bound(m_starts.begin(), m_starts.end(), std::max(0, position));
    const size_t index = size_t(std::max<std::ptrdiff_t>(0, (after - m_starts.begin()) - 1));
    if (index + 1 >= m_starts.size())
        scanNextPage(document);
    Page page;
    page.start = m_starts[index];
    page.top = m_tops[index];
    page.bottom = page.top + std::max(1, m_size.height());
    if (index + 1 < m_starts.size()) {
        page.next = m_starts[index + 1];
        page.bottom = std::min(page.bottom, m_tops[index + 1]);
    } else {
        page.next = length;
    }
    return page;
}

void RichTextPages::fitToWidth(QTextDocument& document, double width)
{
    // Tables: their own widths when they fit, else shares of the page.
    for (QTextFrame* frame : document.rootFrame()->childFrames()) {
        auto* table = qobject_cast<QTextTable*>(frame);
        if (!table)
            continue;
        QTextTableFormat format = table->format();
        const QList<QTextLength> natural = RichTextFormats::naturalColumnWidths(format);
        if (natural.isEmpty())
            continue;
        double total = 0;
        for (const QTextLength& length : natural)
            total += length.rawValue();
        total += (natural.size() + 1) * format.border() + 2 * natural.size() * format.cellPadding();
        QList<QTextLength> widths = natural;
        if (total > width && total > 0) {
            for (QTextLength& length : widths)
                length =
                    QTextLength(QTextLength::PercentageLength, 100.0 * length.rawValue() / total);
        }
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
