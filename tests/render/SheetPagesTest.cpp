#include "PageCells.h"
#include "render/text/CMyRichEdit.h"
#include "render/text/RtfWriter.h"
#include "render/text/SheetHtml.h"

#include <gtest/gtest.h>

namespace {

// A table of `rows` rows of `columns` cells `columnTwips` wide, each cell named by its column
// letter and row number (A1, B1, ...), with a paragraph before and after.
QByteArray gridRtf(int rows, int columns, int columnTwips)
{
    QByteArray rtf = "{\\rtf1\\ansi\\fs20 before\\par ";
    for (int row = 0; row < rows; ++row) {
        rtf += "\\trowd\\trgaph30";
        for (int column = 0; column < columns; ++column)
            rtf += "\\cellx" + QByteArray::number((column + 1) * columnTwips);
        rtf += "\\pard\\intbl ";
        for (int column = 0; column < columns; ++column)
            rtf += char('A' + column) + QByteArray::number(row + 1) + "\\cell ";
        rtf += "\\row\n";
    }
    return rtf + "\\pard after\\par}";
}

std::vector<PageCells> pagesOf(CMyRichEdit& edit, QSize size)
{
    std::vector<PageCells> pages;
    edit.withDocument([&](QTextDocument& document) { pages = pageCells(document, size); });
    return pages;
}

QStringList allWhole(const std::vector<PageCells>& pages)
{
    QStringList seen;
    for (const PageCells& page : pages)
        seen << page.whole;
    return seen;
}

} // namespace

TEST(SheetPages, AWideTableIsCutIntoBandsOfColumnsAcrossThenRowsDown)
{
    // Six columns of 100 px on a 320 x 64 page: three columns across, as many rows as fit down.
    CMyRichEdit edit;
    ASSERT_TRUE(edit.LoadData(gridRtf(8, 6, 1500)));
    const std::vector<PageCells> pages = pagesOf(edit, QSize(320, 64));
    // The paragraph before the table has a page of its own, as has the one after.
    ASSERT_GE(pages.size(), 6u);
    EXPECT_EQ(pages.front().page.start, 0);
    EXPECT_EQ(pages.front().page.width, 0);
    EXPECT_EQ(pages.back().page.width, 0);
    EXPECT_TRUE(pages.front().whole.isEmpty());
    EXPECT_TRUE(pages.back().whole.isEmpty());
    const std::vector<PageCells> bands(pages.begin() + 1, pages.end() - 1);
    ASSERT_EQ(bands.size() % 2, 0u);
    QStringList seen;
    for (size_t i = 0; i < bands.size(); ++i) {
        const PageCells& band = bands[i];
        SCOPED_TRACE(i);
        // Across first: a band of rows shows columns A..C, then D..F, then the next rows.
        EXPECT_NEAR(band.page.left, i % 2 == 0 ? 0 : 300, 1);
        EXPECT_NEAR(band.page.width, 300, 1);
        EXPECT_LE(band.page.bottom - band.page.top, 64);
        if (i % 2 == 1) {
            EXPECT_EQ(band.page.top, bands[i - 1].page.top);
        } else if (i > 0) {
            EXPECT_NEAR(band.page.top, bands[i - 1].page.bottom, 0.5);
        }
        EXPECT_TRUE(band.cut.isEmpty()) << band.cut.join(' ').toStdString();
        ASSERT_FALSE(band.whole.isEmpty());
        for (const QString& cell : band.whole)
            EXPECT_TRUE(QString::fromLatin1(i % 2 == 0 ? "ABC" : "DEF").contains(cell.front()))
                << cell.toStdString();
        EXPECT_GE(band.whole.size(), 6); // two rows at least
        seen << band.whole;
    }
    EXPECT_EQ(seen.size(), 48);
    EXPECT_EQ(seen.removeDuplicates(), 0);
    for (size_t i = 1; i < pages.size(); ++i)
        EXPECT_GT(pages[i].page.start, pages[i - 1].page.start);

    // Drawn: each band shows its own columns at the page's left, nothing of the next band.
    QImage page(320, 64, QImage::Format_RGB32);
    size_t count = 0;
    for (int first = 0; first < edit.TextLength() && count < 40; ++count) {
        const int next = edit.RenderRange(page, page.rect(), 0x00FFFFFF, first);
        ASSERT_EQ(first, pages[count].page.start);
        if (count == 2) {
            int ink = 0, inkPastBand = 0;
            for (int y = 0; y < page.height(); ++y)
                for (int x = 0; x < page.width(); ++x)
                    if (page.pixel(x, y) != qRgb(255, 255, 255))
                        ++(x < 300 ? ink : inkPastBand);
            EXPECT_GT(ink, 50);
            EXPECT_EQ(inkPastBand, 0);
        }
        ASSERT_GT(next, first);
        first = next;
    }
    EXPECT_EQ(count, pages.size());

    // On a wall wide enough the table is one band: pages down only.
    const std::vector<PageCells> wide = pagesOf(edit, QSize(1280, 96));
    for (const PageCells& p : wide) {
        EXPECT_EQ(p.page.width, 0);
        EXPECT_TRUE(p.cut.isEmpty());
    }
    EXPECT_EQ(allWhole(wide).size(), 48);
}

TEST(SheetPages, AColumnWiderThanThePageIsAloneOnItsBandAndWrapsOnlyThere)
{
    CMyRichEdit edit;
    ASSERT_TRUE(edit.LoadData("{\\rtf1\\fs20\\trowd\\trgaph30\\cellx1500\\cellx9000\\cellx10500"
                              "\\pard\\intbl first\\cell a long description of the item that "
                              "runs on and on\\cell last\\cell\\row\\pard\\par}"));
    const std::vector<PageCells> pages = pagesOf(edit, QSize(320, 64));
    ASSERT_GE(pages.size(), 3u);
    EXPECT_EQ(pages[0].whole, QStringList{"first"});
    EXPECT_EQ(pages[1].whole, QStringList{"a long description of the item that runs on and on"});
    EXPECT_EQ(pages[2].whole, QStringList{"last"});
    EXPECT_NEAR(pages[1].page.width, 320, 1);
    edit.withDocument([](QTextDocument& document) {
        const QTextTable* table = firstTableOf(document);
        ASSERT_NE(table, nullptr);
        EXPECT_GT(cellLines(table->cellAt(0, 1)), 1); // wrapped at the page width, at words
        EXPECT_EQ(cellLines(table->cellAt(0, 0)), 1);
        EXPECT_EQ(table->format().columnWidthConstraints().at(1).type(), QTextLength::FixedLength);
    });
}

TEST(SheetPages, NumbersNeverBreakAndWordsOnlyWhereTheyDoNotFit)
{
    EXPECT_TRUE(RtfTableBuilder::isNumber("0.29"));
    EXPECT_TRUE(RtfTableBuilder::isNumber(" 1,234,567.89 "));
    EXPECT_TRUE(RtfTableBuilder::isNumber("-3.1%"));
    EXPECT_TRUE(RtfTableBuilder::isNumber("$1,000"));
    EXPECT_TRUE(RtfTableBuilder::isNumber(QStringLiteral("1 234,50 €")));
    EXPECT_TRUE(RtfTableBuilder::isNumber(QStringLiteral("¥12.00")));
    EXPECT_TRUE(RtfTableBuilder::isNumber("(42.50)"));
    EXPECT_TRUE(RtfTableBuilder::isNumber("2026/12/09"));
    EXPECT_FALSE(RtfTableBuilder::isNumber("Q1 sales"));
    EXPECT_FALSE(RtfTableBuilder::isNumber(QStringLiteral("09:00–18:00 Hours")));
    EXPECT_FALSE(RtfTableBuilder::isNumber(""));
    EXPECT_FALSE(RtfTableBuilder::isNumber("%"));

    // Columns of 30 px: the numbers widen theirs, the text wraps at its spaces.
    CMyRichEdit edit;
    ASSERT_TRUE(edit.LoadData(
        "{\\rtf1\\fs20\\trowd\\trgaph30\\cellx450\\cellx900\\cellx1350\\cellx3000\\pard\\intbl "
        "0.29\\cell 1,234,567.89\\cell\\qr -12.5%\\cell Wonderful wall\\cell\\row\\pard\\par}"));
    for (const QSize size : {QSize(320, 64), QSize(80, 32)}) {
        const std::vector<PageCells> pages = pagesOf(edit, size);
        for (const PageCells& page : pages)
            for (const QString& cut : page.cut)
                EXPECT_FALSE(RtfTableBuilder::isNumber(cut)) << cut.toStdString();
        const QStringList seen = allWhole(pages);
        for (const char* number : {"0.29", "1,234,567.89", "-12.5%"})
            EXPECT_TRUE(seen.contains(QLatin1String(number))) << number << size.width();
        edit.withDocument([](QTextDocument& document) {
            const QTextTable* table = firstTableOf(document);
            ASSERT_NE(table, nullptr);
            for (int column = 0; column < 3; ++column)
                EXPECT_EQ(cellLines(table->cellAt(0, column)), 1) << column;
            // "Wonderful" fits its 110 px column: a line breaks at the space only.
            const QTextBlock words = table->cellAt(0, 3).firstCursorPosition().block();
            for (int i = 0; i < words.layout()->lineCount(); ++i) {
                const QTextLine line = words.layout()->lineAt(i);
                const QString text = words.text().mid(line.textStart(), line.textLength());
                EXPECT_TRUE(text.trimmed() == "Wonderful" || text.trimmed() == "wall" ||
                            text.trimmed() == "Wonderful wall")
                    << text.toStdString();
            }
        });
    }
}

TEST(SheetPages, AMergedCellIsNotCutWhereAnEarlierEdgeCanEndTheBand)
{
    // A 100 | B 100 + C 150 merged | D 100 on a 320 px page: A and B would fit, but the first
    // band ends before the merge.
    CMyRichEdit edit;
    ASSERT_TRUE(edit.LoadData("{\\rtf1\\fs20\\trowd\\trgaph30\\cellx1500\\cellx5250\\cellx6750"
                              "\\pard\\intbl A\\cell merged title\\cell D\\cell\\row"
                              "\\trowd\\trgaph30\\cellx1500\\cellx3000\\cellx5250\\cellx6750"
                              "\\pard\\intbl a\\cell b\\cell c\\cell d\\cell\\row\\pard\\par}"));
    const std::vector<PageCells> pages = pagesOf(edit, QSize(320, 64));
    ASSERT_GE(pages.size(), 3u);
    EXPECT_EQ(pages[0].whole, QStringList({"A", "a"}));
    EXPECT_EQ(pages[1].whole, QStringList({"merged title", "b", "c"}));
    EXPECT_EQ(pages[2].whole, QStringList({"D", "d"}));
    for (const PageCells& page : pages)
        EXPECT_TRUE(page.cut.isEmpty());
}

TEST(SheetPages, ARowTallerThanThePageIsShownInSlicesOfEachBand)
{
    QByteArray rtf = "{\\rtf1\\fs20\\trowd\\trgaph30\\cellx4500\\cellx9000\\pard\\intbl ";
    for (int i = 0; i < 8; ++i)
        rtf += "line " + QByteArray::number(i) + "\\line ";
    rtf += "\\cell right\\cell\\row\\pard\\par}";
    CMyRichEdit edit;
    ASSERT_TRUE(edit.LoadData(rtf));
    const std::vector<PageCells> pages = pagesOf(edit, QSize(320, 64));
    // 8 lines of about 16 px: two slices of 64 px, each in two bands, then the end.
    ASSERT_GE(pages.size(), 4u);
    EXPECT_EQ(pages[0].page.top, pages[1].page.top);
    EXPECT_NEAR(pages[2].page.top, pages[0].page.top + 64, 0.5);
    EXPECT_GT(pages[1].page.left, 0);
    for (size_t i = 1; i < pages.size(); ++i)
        EXPECT_GT(pages[i].page.start, pages[i - 1].page.start);
}

TEST(SheetPages, WrittenTablesKeepTheirWidthsMergesAndShading)
{
    // Horizontal merge by a wide \cellx and by \clmgf/\clmrg, vertical by \clvmgf/\clvmrg.
    CMyRichEdit edit;
    ASSERT_TRUE(edit.LoadData(
        "{\\rtf1{\\colortbl;\\red31\\green56\\blue100;}\\fs20"
        "\\trowd\\clcbpat1\\cellx4500\\cellx6000\\pard\\intbl\\qc "
        "\\u21326?\\u19996?\\u21306?\\cell East\\cell\\row"
        "\\trowd\\clmgf\\cellx1500\\clmrg\\cellx3000\\clvmgf\\cellx4500\\cellx6000\\pard\\intbl "
        "two\\cell\\cell tall\\cell x\\cell\\row"
        "\\trowd\\cellx1500\\cellx3000\\clvmrg\\cellx4500\\cellx6000\\pard\\intbl "
        "a\\cell b\\cell\\cell y\\cell\\row\\pard\\par}"));
    QByteArray written;
    edit.withDocument([&](QTextDocument& document) { written = writeRtf(document); });
    CMyRichEdit again;
    ASSERT_TRUE(again.LoadData(written));
    for (CMyRichEdit* one : {&edit, &again}) {
        one->withDocument([](QTextDocument& document) {
            const QTextTable* table = firstTableOf(document);
            ASSERT_NE(table, nullptr);
            ASSERT_EQ(table->columns(), 4);
            const QTextTableCell title = table->cellAt(0, 0);
            EXPECT_EQ(title.columnSpan(), 3);
            EXPECT_EQ(cellText(title), QStringLiteral("华东区"));
            EXPECT_EQ(title.firstCursorPosition().blockFormat().alignment() & Qt::AlignHCenter,
                      Qt::AlignHCenter);
            EXPECT_EQ(title.format().background().color(), QColor(31, 56, 100));
            EXPECT_EQ(table->cellAt(1, 0).columnSpan(), 2);
            EXPECT_EQ(table->cellAt(1, 2).rowSpan(), 2);
            EXPECT_EQ(cellText(table->cellAt(2, 2)), "tall");
            EXPECT_EQ(document.toPlainText().count(QStringLiteral("华东区")), 1);
            const QList<QTextLength> widths = table->format().columnWidthConstraints();
            ASSERT_EQ(widths.size(), 4);
            for (const QTextLength& width : widths)
                EXPECT_NEAR(width.rawValue(), 100, 1);
        });
    }
}

TEST(SheetPages, SheetHtmlKeepsCellsWithoutCommentsAndLetsTitlesRunOver)
{
    // As the converter writes a workbook (trimmed).
    const QString html = QStringLiteral(R"(<body>
<hr>
	<p><center>
		<h1>Overview</h1>
		<A HREF="#table0">Sales</A><br>
	</center></p>
<hr>
<A NAME="table0"><h1>Sheet 1: <em>Sales</em></h1></A>
<table cellspacing="0" border="0">
	<colgroup span="3" width="83"></colgroup>
	<colgroup width="45"></colgroup>
	<colgroup span="2" width="83"></colgroup>
	<tr>
		<td height="17" align="left" valign=bottom>Quarterly sales of the wall network</td>
		<td align="left" valign=bottom><br></td>
		<td align="left" valign=bottom><br></td>
		<td align="left" valign=bottom><br></td>
		<td align="left" valign=bottom><br></td>
		<td align="left" valign=bottom>F1</td>
	</tr>
	<tr>
		<td colspan=2 rowspan=2 align="center">华东区</td>
		<td align="left" valign=bottom>Short</td>
		<td align="left" valign=bottom><br></td>
		<td align="left" valign=bottom>A very long text before a full cell</td>
		<td align="left">x</td>
	</tr>
	<tr>
		<td height="17" align="left" valign=bottom><a class="comment-indicator"></a>
		<comment>Checked by finance</comment>
		Shanghai and the whole delta</td>
		<td align="left" valign=bottom><br></td>
		<td align="right" sdval="1234567.89" sdnum="1033;0;#,##0.00">1,234,567.89</td>
		<td align="left" valign=bottom><br></td>
	</tr>
</table>
<hr>
<A NAME="table1"><h1>Sheet 2: <em>Notes</em></h1></A>
<table cellspacing="0" border="0">
	<colgroup width="85"></colgroup>
	<tr><td height="17" align="left" valign=bottom>Second sheet</td></tr>
</table>
</body>)");
    const QString clean = SheetHtml::cleaned(html);
    for (const char* gone : {"Overview", "Sheet 1", "Sheet 2", "<hr>", "Checked by finance",
                             "comment-indicator", "<comment>"})
        EXPECT_FALSE(clean.contains(QLatin1String(gone))) << gone;
    EXPECT_TRUE(clean.contains(QLatin1String("Shanghai and the whole delta")));
    // Each table as wide as its columns (the second's one column widened for the text that runs
    // past it, about 96 px); an empty paragraph between the two.
    EXPECT_TRUE(
        clean.contains(QLatin1String("<table cellspacing=\"0\" border=\"0\" width=\"460\">")));
    EXPECT_TRUE(
        clean.contains(QLatin1String("<table cellspacing=\"0\" border=\"0\" width=\"96\">")));
    EXPECT_TRUE(clean.contains(QLatin1String("<p><br></p><table")));
    EXPECT_EQ(clean.count(QLatin1String("<p><br></p>")), 1);
    // The title (about 280 px) takes the empty cells it needs: 83 + 83 + 83 + 45.
    EXPECT_TRUE(clean.contains(
        QLatin1String("<td colspan=4 height=\"17\" align=\"left\" valign=bottom>Quarterly sales")));
    EXPECT_TRUE(clean.contains(QLatin1String("<td align=\"left\" valign=bottom><br></td>\n\t\t"
                                             "<td align=\"left\" valign=bottom>F1</td>")));
    // Beside a merge that spans rows the columns count on: the long text next to a full cell,
    // and a short text, stay as they are.
    EXPECT_TRUE(clean.contains(QLatin1String(
        "<td align=\"left\" valign=bottom>A very long text before a full cell</td>")));
    EXPECT_TRUE(clean.contains(QLatin1String("<td align=\"left\" valign=bottom>Short</td>")));
    // Under the two-row merge, Shanghai starts in the third column and runs over the fourth
    // only up to the number.
    EXPECT_TRUE(clean.contains(QLatin1String("<td colspan=2 height=\"17\"")));
    EXPECT_TRUE(clean.contains(QLatin1String("sdval=\"1234567.89\"")));
}

TEST(SheetPages, PagesOfAnyTableMoveOnAndEnd)
{
    // Tables of every shape the reader makes (merges across and down, wide and tall cells,
    // nested tables, text around) on small and large pages: each page moves on, the last ends.
    unsigned seed = 12345;
    const auto next = [&](unsigned range) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) % range;
    };
    for (int round = 0; round < 60; ++round) {
        QByteArray rtf = "{\\rtf1\\fs20 ";
        if (next(2))
            rtf += "intro text\\par ";
        const int rows = 1 + int(next(6));
        for (int row = 0; row < rows; ++row) {
            rtf += "\\trowd\\trgaph" + QByteArray::number(next(120));
            const int cells = 1 + int(next(7));
            int right = 0;
            for (int cell = 0; cell < cells; ++cell) {
                if (next(5) == 0)
                    rtf += cell > 0 ? "\\clmrg" : "\\clmgf";
                if (next(5) == 0)
                    rtf += row > 0 ? "\\clvmrg" : "\\clvmgf";
                right += 200 + int(next(6000));
                rtf += "\\cellx" + QByteArray::number(right);
            }
            rtf += "\\pard\\intbl ";
            for (int cell = 0; cell < cells; ++cell) {
                switch (next(5)) {
                case 0:
                    break;
                case 1:
                    rtf += "1,234,567.89";
                    break;
                case 2:
                    for (int i = 0; i < int(next(12)); ++i)
                        rtf += "word\\line ";
                    break;
                case 3:
                    rtf += "{\\trowd\\cellx900\\pard\\intbl\\itap2 in\\nestcell{\\nesttableprops"
                           "\\trowd\\cellx900\\nestrow}}";
                    break;
                default:
                    rtf += "a title longer than its cell";
                }
                rtf += "\\cell ";
            }
            rtf += "\\row\n";
        }
        if (next(2))
            rtf += "\\pard after\\par";
        rtf += "}";
        CMyRichEdit edit;
        ASSERT_TRUE(edit.LoadData(rtf));
        for (const QSize size : {QSize(40, 16), QSize(96, 40), QSize(320, 64), QSize(1280, 96)}) {
            QImage page(size, QImage::Format_RGB32);
            const int length = edit.TextLength();
            int first = 0, count = 0;
            while (first < length) {
                const int after = edit.RenderRange(page, page.rect(), 0x00FFFFFF, first);
                ASSERT_GT(after, first) << rtf.toStdString() << " at " << size.width();
                first = after;
                ASSERT_LT(++count, 2000) << rtf.toStdString();
            }
        }
    }
}
