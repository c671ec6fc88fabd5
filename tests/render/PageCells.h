#pragma once

#include "render/text/RichTextPages.h"
#include "render/text/RtfTableBuilder.h"

#include <QAbstractTextDocumentLayout>
#include <QStringList>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextLayout>
#include <QTextTable>

#include <vector>

// What each page of a document shows of its first table: the pages as the renderer cuts them,
// and for each the texts of the cells seen on it, whole or cut at the page's side.
struct PageCells
{
    RichTextPages::Page page;
    QStringList whole;
    QStringList cut; // cells only partly across the page
};

inline QTextTable* firstTableOf(QTextDocument& document)
{
    for (QTextFrame* frame : document.rootFrame()->childFrames())
        if (auto* table = qobject_cast<QTextTable*>(frame))
            return table;
    return nullptr;
}

inline QString cellText(const QTextTableCell& cell)
{
    QTextCursor cursor = cell.firstCursorPosition();
    cursor.setPosition(cell.lastPosition(), QTextCursor::KeepAnchor);
    return cursor.selectedText().trimmed();
}

// How many lines a cell's text takes.
inline int cellLines(const QTextTableCell& cell)
{
    int lines = 0;
    for (auto it = cell.begin(); !it.atEnd(); ++it)
        if (it.currentBlock().isValid() && it.currentBlock().layout())
            lines += it.currentBlock().layout()->lineCount();
    return lines;
}

// Each cell of the table that holds text, once (a merged cell at its first row and column), in
// reading order, with its text.
template <class Visit>
void forEachTextCell(QTextTable& table, Visit visit)
{
    for (int row = 0; row < table.rows(); ++row)
        for (int column = 0; column < table.columns(); ++column) {
            const QTextTableCell cell = table.cellAt(row, column);
            if (cell.row() != row || cell.column() != column)
                continue;
            const QString text = cellText(cell);
            if (!text.isEmpty())
                visit(cell, text);
        }
}

inline std::vector<PageCells> pageCells(QTextDocument& document, QSize size)
{
    RichTextPages pages;
    pages.reset(document, size);
    std::vector<PageCells> out;
    const int length = document.characterCount() - 1;
    QTextTable* table = firstTableOf(document);
    QAbstractTextDocumentLayout& layout = *document.documentLayout();
    for (int first = 0; first < length && out.size() < 500;) {
        PageCells page;
        page.page = pages.pageAt(document, first);
        const double width = page.page.width > 0 ? page.page.width : size.width();
        const double left = page.page.left, right = left + width;
        if (table)
            forEachTextCell(*table, [&](const QTextTableCell& cell, const QString& text) {
                // The ink of the text: its lines' natural widths where the block puts them.
                const QTextBlock block = cell.firstCursorPosition().block();
                const QRectF rect = layout.blockBoundingRect(block);
                double inkLeft = rect.right(), inkRight = rect.left();
                for (int i = 0; i < block.layout()->lineCount(); ++i) {
                    const QTextLine line = block.layout()->lineAt(i);
                    inkLeft = std::min(inkLeft, rect.left() + line.x());
                    inkRight = std::max(inkRight, rect.left() + line.x() + line.naturalTextWidth());
                }
                if (rect.bottom() <= page.page.top + 0.5 || rect.top() >= page.page.bottom - 0.5)
                    return;
                if (inkRight <= left + 0.5 || inkLeft >= right - 0.5)
                    return;
                (inkLeft >= left - 0.5 && inkRight <= right + 0.5 ? page.whole : page.cut) << text;
            });
        out.push_back(page);
        if (page.page.next <= first)
            break;
        first = page.page.next;
    }
    return out;
}
