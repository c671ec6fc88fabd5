#pragma once

#include <QColor>
#include <QTextBlockFormat>
#include <QTextCursor>
#include <QTextDocumentFragment>

#include <array>
#include <memory>
#include <vector>

class QTextDocument;

// One side of a cell's border as RTF gives it.
struct RtfBorder
{
    bool on = false;
    double widthPx = 1;
    QColor color = Qt::black;
};

struct RtfCellLayout
{
    enum class Merge
    {
        None,
        First,
        Continue,
    };
    int rightTwips = 0;
    QColor shading;                   // invalid: none
    std::array<RtfBorder, 4> borders; // top, left, bottom, right
    Merge horizontal = Merge::None;
    Merge vertical = Merge::None;
};

struct RtfRowLayout
{
    int leftTwips = 0;
    int gapTwips = 0;
    Qt::Alignment align = Qt::AlignLeft;
    std::vector<RtfCellLayout> cells;
};

// Collects the rows of one RTF table, each with its own cells and cell edges, then builds one
// table whose columns are the union of every row's edges: a row's cell spans the columns between
// its edges, merged cells span rows and columns, shading and borders are the cell's own (a table
// without border words has none). Cell content is written into a scratch document meanwhile.
class RtfTableBuilder
{
public:
    RtfTableBuilder();
    ~RtfTableBuilder();

    bool active() const { return m_active; }
    // Where the current cell's content goes; opens the table and the cell when needed.
    QTextCursor& cellCursor();
    void endCell();
    void endRow(const RtfRowLayout& layout);
    // Puts the table at `cursor` in the document and leaves the cursor after it. A cell holding
    // a number keeps it on one line (its column widens instead).
    void finish(QTextCursor& cursor);

    // Whether text is one number as a spreadsheet shows it (sign, separators, %, currency).
    static bool isNumber(const QString& text);

private:
    struct Content
    {
        QTextDocumentFragment text;
        QTextBlockFormat firstBlock; // a fragment put into a cell leaves its first block's behind
    };
    struct Row
    {
        RtfRowLayout layout;
        std::vector<Content> cells;
    };
    std::unique_ptr<QTextDocument> m_scratch;
    QTextCursor m_cell;
    bool m_active = false;
    bool m_cellOpen = false;
    std::vector<Content> m_cells;
    std::vector<Row> m_rows;
};
