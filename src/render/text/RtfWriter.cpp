#include "RtfWriter.h"

#include "RichTextFormats.h"
#include "base/Codepage.h"

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextTable>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

constexpr double kTwipsPerPixel = 15.0;

class Writer
{
public:
    explicit Writer(const QTextDocument& document) : m_document(document) {}

    QByteArray write()
    {
        QByteArray body;
        for (QTextBlock block = m_document.begin(); block.isValid();) {
            if (QTextTable* table = QTextCursor(block).currentTable()) {
                writeTable(*table, body);
                block = m_document.findBlock(table->lastPosition() + 1);
                continue;
            }
            // The empty paragraph a table stands after comes back by itself when read.
            const QTextBlock next = block.next();
            if (block.text().isEmpty() && next.isValid() && QTextCursor(next).currentTable()) {
                block = next;
                continue;
            }
            writeParagraph(block, body, false);
            body += block.next().isValid() ? "\\par\n" : "\n";
            block = block.next();
        }
        QByteArray out = "{\\rtf1\\ansi\\ansicpg936\\deff0\\uc1\n{\\fonttbl";
        for (size_t i = 0; i < m_fonts.size(); ++i)
            out += "{\\f" + QByteArray::number(qsizetype(i)) + "\\fcharset134 " +
                   fontName(m_fonts[i]) + ";}";
        out += "}\n{\\colortbl;";
        for (QRgb c : m_colors)
            out += "\\red" + QByteArray::number(qRed(c)) + "\\green" +
                   QByteArray::number(qGreen(c)) + "\\blue" + QByteArray::number(qBlue(c)) + ";";
        out += "}\n" + body + "}\n";
        return out;
    }

private:
    int fontIndex(const QString& family)
    {
        for (size_t i = 0; i < m_fonts.size(); ++i)
            if (m_fonts[i] == family)
                return int(i);
        m_fonts.push_back(family);
        return int(m_fonts.size()) - 1;
    }

    int colorIndex(QRgb c)
    {
        for (size_t i = 0; i < m_colors.size(); ++i)
            if (m_colors[i] == c)
                return int(i) + 1;
        m_colors.push_back(c);
        return int(m_colors.size());
    }

    // Font names in the font's own code page (GBK), as \'hh where they are not ASCII.
    static QByteArray fontName(const QString& family)
    {
        QByteArray out;
        for (const char byte : Codepage::fromUnicode(family)) {
            const auto b = static_cast<uchar>(byte);
            if (b >= 0x80 || b == ';' || b == '\\' || b == '{' || b == '}')
                out += "\\'" + QByteArray::number(b, 16).rightJustified(2, '0');
            else
                out += char(b);
        }
        return out;
    }

    static QByteArray escape(const QString& text)
    {
        QByteArray out;
        for (const QChar c : text) {
            const char16_t u = c.unicode();
            if (u == '\\' || u == '{' || u == '}') {
                out += '\\';
                out += char(u);
            } else if (u == QChar::LineSeparator) {
                out += "\\line ";
            } else if (u == '\t') {
                out += "\\tab ";
            } else if (u >= 0x20 && u < 0x80) {
                out += char(u);
            } else if (u >= 0x80) {
                out += "\\u" + QByteArray::number(qint16(u)) + "?";
            }
        }
        return out;
    }

    QByteArray charFormat(const QTextCharFormat& f)
    {
        QByteArray out = "\\plain";
        const QStringList families = f.fontFamilies().toStringList();
        if (!families.isEmpty())
            out += "\\f" + QByteArray::number(fontIndex(families.front()));
        if (f.hasProperty(QTextFormat::FontPointSize))
            out += "\\fs" + QByteArray::number(qRound(f.fontPointSize() * 2));
        if (f.fontWeight() >= QFont::Bold)
            out += "\\b";
        if (f.fontItalic())
            out += "\\i";
        if (f.fontUnderline())
            out += "\\ul";
        if (f.fontStrikeOut())
            out += "\\strike";
        if (f.hasProperty(QTextFormat::ForegroundBrush))
            out += "\\cf" + QByteArray::number(colorIndex(f.foreground().color().rgb()));
        if (f.hasProperty(QTextFormat::BackgroundBrush))
            out += "\\cb" + QByteArray::number(colorIndex(f.background().color().rgb()));
        return out + ' ';
    }

    void writeParagraph(const QTextBlock& block, QByteArray& out, bool inTable)
    {
        const QTextBlockFormat f = block.blockFormat();
        out += "\\pard";
        if (inTable)
            out += "\\intbl";
        const Qt::Alignment a = f.alignment();
        out += a & Qt::AlignHCenter   ? "\\qc"
               : a & Qt::AlignRight   ? "\\qr"
               : a & Qt::AlignJustify ? "\\qj"
                                      : "\\ql";
        const auto twips = [](double px) {
            return QByteArray::number(qRound(px * kTwipsPerPixel));
        };
        if (f.leftMargin() != 0)
            out += "\\li" + twips(f.leftMargin());
        if (f.rightMargin() != 0)
            out += "\\ri" + twips(f.rightMargin());
        if (f.textIndent() != 0)
            out += "\\fi" + twips(f.textIndent());
        if (f.topMargin() != 0)
            out += "\\sb" + twips(f.topMargin());
        if (f.bottomMargin() != 0)
            out += "\\sa" + twips(f.bottomMargin());
        out += ' ';
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (fragment.isValid())
                out += "{" + charFormat(fragment.charFormat()) + escape(fragment.text()) + "}";
        }
    }

    // Each cell once, as wide as the columns it spans and marked where it spans rows, with the
    // column widths the table was read with: a merged cell read back is the same merged cell.
    void writeTable(const QTextTable& table, QByteArray& out)
    {
        const int columns = table.columns();
        const QTextTableFormat format = table.format();
        QList<QTextLength> widths = RichTextFormats::naturalColumnWidths(format);
        if (widths.size() != columns)
            widths = format.columnWidthConstraints();
        std::vector<int> edges;
        int right = 0;
        for (int column = 0; column < columns; ++column) {
            const bool fixed = column < widths.size() &&
                               widths[column].type() == QTextLength::FixedLength &&
                               widths[column].rawValue() > 0;
            right += fixed ? qRound(widths[column].rawValue() * kTwipsPerPixel) : 1440;
            edges.push_back(right);
        }
        for (int row = 0; row < table.rows(); ++row) {
            out += "\\trowd";
            const QTextTableCell firstCell = table.cellAt(row, 0);
            if (firstCell.isValid()) {
                const double gap = firstCell.format().toTableCellFormat().leftPadding();
                if (gap > 0)
                    out += "\\trgaph" + QByteArray::number(qRound(gap * kTwipsPerPixel));
            }
            std::vector<QTextTableCell> cells;
            for (int column = 0; column < columns; ++column) {
                const QTextTableCell cell = table.cellAt(row, column);
                if (!cell.isValid() || cell.column() != column)
                    continue; // inside a cell that starts further left
                if (cell.row() != row)
                    out += "\\clvmrg";
                else if (cell.rowSpan() > 1)
                    out += "\\clvmgf";
                const QTextCharFormat cellFormat = cell.format();
                if (cellFormat.hasProperty(QTextFormat::BackgroundBrush) &&
                    cellFormat.background().style() != Qt::NoBrush)
                    out += "\\clcbpat" +
                           QByteArray::number(colorIndex(cellFormat.background().color().rgb()));
                const int last = std::min(columns, column + cell.columnSpan()) - 1;
                out += "\\cellx" + QByteArray::number(edges[size_t(last)]);
                cells.push_back(cell);
            }
            out += '\n';
            for (const QTextTableCell& cell : cells) {
                if (cell.row() == row) {
                    for (auto it = cell.begin(); !it.atEnd(); ++it) {
                        const QTextBlock block = it.currentBlock();
                        if (!block.isValid())
                            continue;
                        if (block.position() != cell.firstPosition())
                            out += "\\par ";
                        writeParagraph(block, out, true);
                    }
                } else {
                    out += "\\pard\\intbl ";
                }
                out += "\\cell\n";
            }
            out += "\\row\n";
        }
        out += "\\pard\n";
    }

    const QTextDocument& m_document;
    std::vector<QString> m_fonts;
    std::vector<QRgb> m_colors;
};

} // namespace

QByteArray writeRtf(const QTextDocument& document)
{
    return Writer(document).write();
}
