#include "SheetHtml.h"

#include <QRegularExpression>

#include <cmath>

#include <vector>

namespace SheetHtml {
namespace {

constexpr auto kOptions =
    QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption;
constexpr int kDefaultColumnPx = 64;
// The exporter's cells are 10 pt (13.3 px); a Latin character takes about 0.6 of that.
constexpr double kEmPx = 13.3;

int attributeNumber(const QString& attributes, const char* name, int fallback)
{
    const QRegularExpression re(QStringLiteral(R"(\b%1\s*=\s*"?(\d+))").arg(QLatin1String(name)),
                                QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = re.match(attributes);
    return match.hasMatch() ? match.captured(1).toInt() : fallback;
}

QString textOf(const QString& content)
{
    static const QRegularExpression tags(QStringLiteral("<[^>]*>"), kOptions);
    QString text = content;
    text.remove(tags);
    text.replace(QLatin1String("&nbsp;"), QLatin1String(" "));
    text.replace(QRegularExpression(QStringLiteral("&[a-z#0-9]+;"), kOptions), QStringLiteral("x"));
    return text.simplified();
}

// About how wide text is drawn, in pixels: wide (East Asian) characters a full em.
double estimatedWidthPx(const QString& text)
{
    double width = 0;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        const bool wide = (u >= 0x1100 && u <= 0x115F) || (u >= 0x2E80 && u <= 0xA4CF) ||
                          (u >= 0xAC00 && u <= 0xD7A3) || (u >= 0xF900 && u <= 0xFAFF) ||
                          (u >= 0xFE30 && u <= 0xFE4F) || (u >= 0xFF00 && u <= 0xFF60) ||
                          (u >= 0xFFE0 && u <= 0xFFE6);
        width += wide ? kEmPx : 0.6 * kEmPx;
    }
    return width;
}

struct Cell
{
    qsizetype start = 0; // in the row's text, the whole <td>..</td>
    qsizetype length = 0;
    QString attributes;
    QString content;
    int column = 0;
    int span = 1;
};

// One row: the cells whose text runs past them over empty neighbours take those neighbours; one
// that runs past the last column widens it, as the sheet shows it over the unused columns.
QString spilledRow(const QString& row, std::vector<int>& widths, std::vector<int>& busyRows)
{
    static const QRegularExpression cellRe(QStringLiteral(R"(<td\b([^>]*)>(.*?)</td\s*>)"),
                                           kOptions);
    std::vector<Cell> cells;
    int column = 0;
    const auto skipBusy = [&] {
        while (size_t(column) < busyRows.size() && busyRows[size_t(column)] > 0)
            ++column;
    };
    for (auto it = cellRe.globalMatch(row); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        Cell cell;
        cell.start = match.capturedStart(0);
        cell.length = match.capturedLength(0);
        cell.attributes = match.captured(1);
        cell.content = match.captured(2);
        skipBusy();
        cell.column = column;
        cell.span = std::max(1, attributeNumber(cell.attributes, "colspan", 1));
        const int rowSpan = std::max(1, attributeNumber(cell.attributes, "rowspan", 1));
        for (int c = column; c < column + cell.span; ++c) {
            if (size_t(c) >= busyRows.size())
                busyRows.resize(size_t(c) + 1, 0);
            busyRows[size_t(c)] = std::max(busyRows[size_t(c)], rowSpan);
        }
        column += cell.span;
        cells.push_back(cell);
    }
    for (int& busy : busyRows)
        busy = std::max(0, busy - 1);

    const auto widthOf = [&](int c) {
        return size_t(c) < widths.size() ? widths[size_t(c)] : kDefaultColumnPx;
    };
    const auto plain = [](const Cell& cell) {
        return !cell.attributes.contains(QLatin1String("colspan"), Qt::CaseInsensitive) &&
               !cell.attributes.contains(QLatin1String("rowspan"), Qt::CaseInsensitive);
    };
    const auto isEmpty = [&](const Cell& cell) {
        return plain(cell) && textOf(cell.content).isEmpty() &&
               !cell.attributes.contains(QLatin1String("bgcolor"), Qt::CaseInsensitive) &&
               !cell.attributes.contains(QLatin1String("border"), Qt::CaseInsensitive);
    };
    QString out;
    qsizetype copied = 0;
    for (size_t i = 0; i < cells.size(); ++i) {
        const Cell& cell = cells[i];
        // Text only (numbers carry their value in sdval and never run over), aligned left.
        if (!plain(cell) || cell.attributes.contains(QLatin1String("sdval"), Qt::CaseInsensitive) ||
            cell.attributes.contains(QLatin1String("align=\"right\""), Qt::CaseInsensitive) ||
            cell.attributes.contains(QLatin1String("align=\"center\""), Qt::CaseInsensitive))
            continue;
        const QString text = textOf(cell.content);
        if (text.isEmpty())
            continue;
        const double needed = estimatedWidthPx(text);
        double width = widthOf(cell.column);
        size_t last = i;
        while (width < needed && last + 1 < cells.size() && isEmpty(cells[last + 1]) &&
               cells[last + 1].column == cell.column + int(last + 1 - i)) {
            ++last;
            width += widthOf(cells[last].column);
        }
        const bool lastColumn = size_t(cells[last].column + cells[last].span) == widths.size();
        if (width < needed && lastColumn)
            widths.back() += int(std::ceil(needed - width));
        if (last == i)
            continue;
        out += row.mid(copied, cell.start - copied);
        out += QStringLiteral("<td colspan=%1%2>%3</td>")
                   .arg(int(last - i + 1))
                   .arg(cell.attributes, cell.content);
        copied = cells[last].start + cells[last].length;
        i = last;
    }
    out += row.mid(copied);
    return out;
}

// One table: as wide as its columns say, its rows' long texts run over.
QString cleanedTable(const QString& table)
{
    static const QRegularExpression colgroup(QStringLiteral(R"(<colgroup\b([^>]*)>)"), kOptions);
    std::vector<int> widths;
    for (auto it = colgroup.globalMatch(table); it.hasNext();) {
        const QString attributes = it.next().captured(1);
        const int span = std::clamp(attributeNumber(attributes, "span", 1), 1, 1024);
        const int width = attributeNumber(attributes, "width", kDefaultColumnPx);
        widths.insert(widths.end(), size_t(span), width);
    }
    static const QRegularExpression rowRe(QStringLiteral(R"(<tr\b[^>]*>.*?</tr\s*>)"), kOptions);
    QString out;
    qsizetype copied = 0;
    std::vector<int> busyRows(widths.size(), 0);
    for (auto it = rowRe.globalMatch(table); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        out += table.mid(copied, match.capturedStart(0) - copied);
        out += spilledRow(match.captured(0), widths, busyRows);
        copied = match.capturedEnd(0);
    }
    out += table.mid(copied);
    // The converter squeezes a table into its page unless told how wide it is.
    int total = 0;
    for (int width : widths)
        total += width;
    static const QRegularExpression opening(QStringLiteral(R"(^<table\b([^>]*)>)"), kOptions);
    const QRegularExpressionMatch head = opening.match(out);
    if (total > 0 && head.hasMatch() &&
        !head.captured(1).contains(QLatin1String("width"), Qt::CaseInsensitive))
        out.replace(0, head.capturedLength(0),
                    QStringLiteral("<table%1 width=\"%2\">").arg(head.captured(1)).arg(total));
    return out;
}

} // namespace

QString cleaned(const QString& html)
{
    static const QRegularExpression overview(QStringLiteral(R"(<p>\s*<center>.*?</center>\s*</p>)"),
                                             kOptions);
    static const QRegularExpression heading(
        QStringLiteral(R"(<a name="table\d+">\s*<h1>.*?</h1>\s*</a>)"), kOptions);
    static const QRegularExpression rule(QStringLiteral(R"(<hr\s*/?>)"), kOptions);
    // A comment is a marker and a <comment> element the page hides until hovered.
    static const QRegularExpression commentMark(
        QStringLiteral(R"(<a\s+class="comment-indicator"\s*>\s*</a>)"), kOptions);
    static const QRegularExpression comment(QStringLiteral(R"(<comment\b[^>]*>.*?</comment\s*>)"),
                                            kOptions);
    QString text = html;
    text.remove(overview);
    text.remove(heading);
    text.remove(rule);
    text.remove(commentMark);
    text.remove(comment);
    static const QRegularExpression tableRe(QStringLiteral(R"(<table\b.*?</table\s*>)"), kOptions);
    QString out;
    qsizetype copied = 0; // > 0 once a table was copied
    for (auto it = tableRe.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        out += text.mid(copied, match.capturedStart(0) - copied);
        // Sheets stay tables of their own: rows of two tables in a row would read as one.
        if (copied > 0)
            out += QLatin1String("<p><br></p>");
        out += cleanedTable(match.captured(0));
        copied = match.capturedEnd(0);
    }
    out += text.mid(copied);
    return out;
}

} // namespace SheetHtml
