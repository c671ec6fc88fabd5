#include "RtfTableBuilder.h"

#include "RichTextFormats.h"

#include <QRegularExpression>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextTable>

#include <algorithm>
#include <map>

namespace {

constexpr double kTwipsPerPixel = 15.0;
constexpr int kSnapTwips = 30; // edges closer than 2 pixels are one edge
constexpr int kMaxColumns = 256;

// The grid edge nearest to `twips`.
int edgeIndex(const std::vector<int>& edges, int twips)
{
    const auto it = std::lower_bound(edges.begin(), edges.end(), twips);
    int index = static_cast<int>(it - edges.begin());
    if (index == static_cast<int>(edges.size()) ||
        (index > 0 && twips - edges[size_t(index - 1)] < edges[size_t(index)] - twips))
        --index;
    return std::max(0, index);
}

void applyBorder(QTextTableCellFormat& format, int side, const RtfBorder& border)
{
    const double width = border.on ? border.widthPx : 0;
    const QTextFrameFormat::BorderStyle style =
        border.on ? QTextFrameFormat::BorderStyle_Solid : QTextFrameFormat::BorderStyle_None;
    switch (side) {
    case 0:
        format.setTopBorder(width);
        format.setTopBorderStyle(style);
        format.setTopBorderBrush(border.color);
        break;
    case 1:
        format.setLeftBorder(width);
        format.setLeftBorderStyle(style);
        format.setLeftBorderBrush(border.color);
        break;
    case 2:
        format.setBottomBorder(width);
        format.setBottomBorderStyle(style);
        format.setBottomBorderBrush(border.color);
        break;
    default:
        format.setRightBorder(width);
        format.setRightBorderStyle(style);
        format.setRightBorderBrush(border.color);
        break;
    }
}

// Whether a cell's text is one number as a spreadsheet shows it: digits with a sign, decimal and
// thousands separators, a percent or currency sign, a date or a time; such a cell never wraps.
bool isNumber(const QString& text)
{
    static const QRegularExpression number(QStringLiteral(
        R"(^[(]?[-+\x{2212}]?[$\x{20ac}\x{a3}\x{a5}\x{ffe5}\x{20a9}\x{20b9}]?\s?[-+\x{2212}]?)"
        R"(\d(?:[\d.,:/'\x{2019}\x{a0}\x{202f}\x{2009} ]*\d)?(?:[eE][-+]?\d+)?\s?)"
        R"((?:%|\x{2030}|[$\x{20ac}\x{a3}\x{a5}\x{ffe5}\x{20a9}\x{20b9}\x{5143}])?[)]?$)"));
    const QString trimmed = text.trimmed();
    return !trimmed.isEmpty() && trimmed.size() <= 64 && number.match(trimmed).hasMatch();
}

void keepOnOneLine(QTextTableCell& cell)
{
    for (auto it = cell.begin(); !it.atEnd(); ++it) {
        const QTextBlock block = it.currentBlock();
        if (!block.isValid())
            continue;
        QTextBlockFormat format = block.blockFormat();
        format.setNonBreakableLines(true);
        QTextCursor(block).setBlockFormat(format);
    }
}

} // namespace

bool RtfTableBuilder::isNumber(const QString& text)
{
    return ::isNumber(text);
}

RtfTableBuilder::RtfTableBuilder() = default;
RtfTableBuilder::~RtfTableBuilder() = default;

QTextCursor& RtfTableBuilder::cellCursor()
{
    if (!m_scratch) {
        m_scratch = std::make_unique<QTextDocument>();
        m_scratch->setUndoRedoEnabled(false);
    }
    if (!m_cellOpen) {
        m_scratch->clear();
        m_cell = QTextCursor(m_scratch.get());
        m_cellOpen = true;
    }
    m_active = true;
    return m_cell;
}

void RtfTableBuilder::endCell()
{
    cellCursor();
    m_cells.push_back({QTextDocumentFragment(m_scratch.get()), m_scratch->begin().blockFormat()});
    m_cellOpen = false;
}

void RtfTableBuilder::endRow(const RtfRowLayout& layout)
{
    if (!m_active)
        return;
    if (m_cellOpen && !m_scratch->isEmpty())
        endCell();
    m_cellOpen = false;
    m_rows.push_back(Row{layout, std::move(m_cells)});
    m_cells.clear();
}

void RtfTableBuilder::finish(QTextCursor& cursor)
{
    if (!m_active)
        return;
    if (!m_cells.empty() || (m_cellOpen && !m_scratch->isEmpty())) {
        if (m_cellOpen)
            endCell();
        endRow(m_rows.empty() ? RtfRowLayout{} : m_rows.back().layout);
    }
    m_active = false;
    m_cellOpen = false;
    std::vector<Row> rows = std::move(m_rows);
    m_rows.clear();
    if (rows.empty())
        return;

    // Every row's edges; a row without any gets one column an inch wide for each of its cells.
    for (Row& row : rows) {
        if (row.layout.cells.size() < row.cells.size()) {
            int right = row.layout.cells.empty() ? row.layout.leftTwips
                                                 : row.layout.cells.back().rightTwips;
            while (row.layout.cells.size() < row.cells.size()) {
                right += 1440;
                RtfCellLayout cell;
                cell.rightTwips = right;
                row.layout.cells.push_back(cell);
            }
        }
        if (row.layout.cells.size() > kMaxColumns)
            row.layout.cells.resize(kMaxColumns);
    }
    std::vector<int> all;
    for (Row& row : rows) {
        int left = row.layout.leftTwips;
        all.push_back(left);
        for (RtfCellLayout& cell : row.layout.cells) {
            cell.rightTwips = std::max(cell.rightTwips, left + 1);
            left = cell.rightTwips;
            all.push_back(left);
        }
    }
    std::sort(all.begin(), all.end());
    std::vector<int> edges;
    for (int edge : all)
        if (edges.empty() || edge - edges.back() >= kSnapTwips)
            edges.push_back(edge);
    if (edges.size() < 2)
        edges.push_back(edges.front() + 1440);
    if (edges.size() > kMaxColumns + 1)
        edges.resize(kMaxColumns + 1);
    const int columns = static_cast<int>(edges.size()) - 1;
    const int rowCount = static_cast<int>(rows.size());

    // Where each cell goes: its first row and column, and how far it spans.
    struct Placed
    {
        int row, column, rowSpan, columnSpan;
        const RtfCellLayout* layout;
        const Content* content;
    };
    std::vector<Placed> placed;
    std::map<int, size_t> verticalStart; // column -> placed index of the cell a merge continues
    for (int r = 0; r < rowCount; ++r) {
        const Row& row = rows[size_t(r)];
        int left = row.layout.leftTwips;
        std::map<int, size_t> nextVertical;
        for (size_t i = 0; i < row.layout.cells.size(); ++i) {
            const RtfCellLayout& cellLayout = row.layout.cells[i];
            const int a = std::min(edgeIndex(edges, left), columns - 1);
            const int b =
                std::max(a + 1, std::min(edgeIndex(edges, cellLayout.rightTwips), columns));
            left = cellLayout.rightTwips;
            const Content* content = i < row.cells.size() ? &row.cells[i] : nullptr;
            if (cellLayout.horizontal == RtfCellLayout::Merge::Continue && !placed.empty() &&
                placed.back().row == r) {
                Placed& first = placed.back();
                first.columnSpan = b - first.column;
                continue;
            }
            if (cellLayout.vertical == RtfCellLayout::Merge::Continue) {
                const auto above = verticalStart.find(a);
                if (above != verticalStart.end() && placed[above->second].column == a) {
                    Placed& first = placed[above->second];
                    first.rowSpan = r - first.row + 1;
                    nextVertical[a] = above->second;
                    continue;
                }
            }
            placed.push_back(Placed{r, a, 1, b - a, &cellLayout, content});
            if (cellLayout.vertical == RtfCellLayout::Merge::First)
                nextVertical[a] = placed.size() - 1;
        }
        verticalStart = std::move(nextVertical);
    }

    QTextTableFormat format;
    format.setBorder(0);
    format.setBorderCollapse(true);
    format.setCellSpacing(0);
    format.setCellPadding(0);
    format.setMargin(0);
    const RtfRowLayout& first = rows.front().layout;
    format.setAlignment(first.align);
    if (first.align == Qt::AlignLeft && edges.front() > 0)
        format.setLeftMargin(edges.front() / kTwipsPerPixel);
    QList<QTextLength> widths;
    for (int c = 0; c < columns; ++c)
        widths << QTextLength(QTextLength::FixedLength,
                              (edges[size_t(c + 1)] - edges[size_t(c)]) / kTwipsPerPixel);
    format.setColumnWidthConstraints(widths);
    RichTextFormats::setNaturalColumnWidths(format, widths);

    QTextTable* table = cursor.insertTable(rowCount, columns, format);
    for (const Placed& cell : placed) {
        if (cell.rowSpan > 1 || cell.columnSpan > 1)
            table->mergeCells(cell.row, cell.column, cell.rowSpan, cell.columnSpan);
    }
    for (const Placed& cell : placed) {
        QTextTableCell target = table->cellAt(cell.row, cell.column);
        if (!target.isValid())
            continue;
        const RtfRowLayout& rowLayout = rows[size_t(cell.row)].layout;
        QTextTableCellFormat cellFormat = target.format().toTableCellFormat();
        const double gap = std::clamp(rowLayout.gapTwips / kTwipsPerPixel, 1.0, 20.0);
        cellFormat.setLeftPadding(gap);
        cellFormat.setRightPadding(gap);
        cellFormat.setTopPadding(0);
        cellFormat.setBottomPadding(0);
        if (cell.layout->shading.isValid())
            cellFormat.setBackground(cell.layout->shading);
        for (int side = 0; side < 4; ++side)
            applyBorder(cellFormat, side, cell.layout->borders[size_t(side)]);
        target.setFormat(cellFormat);
        if (cell.content && !cell.content->text.isEmpty()) {
            QTextCursor into = target.firstCursorPosition();
            into.setBlockFormat(cell.content->firstBlock);
            into.insertFragment(cell.content->text);
            if (::isNumber(cell.content->text.toPlainText()))
                keepOnOneLine(target);
        }
    }
    cursor = table->lastCursorPosition();
    cursor.movePosition(QTextCursor::NextBlock);
}
