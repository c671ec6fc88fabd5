#include "render/text/CMyRichEdit.h"
#include "render/text/OfficeConverter.h"

#include "PageCells.h"

#include <QDateTime>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>

#include <gtest/gtest.h>

namespace {

class OfficeTest : public testing::Test
{
protected:
    QString write(const char* name, const QByteArray& bytes)
    {
        const QString path = dir.filePath(QString::fromUtf8(name));
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return path;
    }

    static void setTime(const QString& path, const QDateTime& time)
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(file.setFileTime(time, QFileDevice::FileModificationTime));
    }

    static QByteArray read(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // Makes a document of another format with LibreOffice itself, as a user's would be.
    QString make(const QString& source, const char* format)
    {
        QTemporaryDir profile;
        QProcess process;
        process.start(QStringLiteral("soffice"),
                      {QStringLiteral("-env:UserInstallation=") +
                           QUrl::fromLocalFile(profile.path()).toString(),
                       QStringLiteral("--headless"), QStringLiteral("--convert-to"),
                       QString::fromLatin1(format), QStringLiteral("--outdir"), dir.path(),
                       source});
        EXPECT_TRUE(process.waitForFinished(120000));
        return dir.filePath(QFileInfo(source).completeBaseName() + QLatin1Char('.') +
                            QString::fromLatin1(format).section(QLatin1Char(':'), 0, 0));
    }

    static bool haveLibreOffice()
    {
        return !QStandardPaths::findExecutable(QStringLiteral("soffice")).isEmpty();
    }

    QTemporaryDir dir;
};

} // namespace

TEST_F(OfficeTest, CacheFreshness)
{
    const QString doc = write("week.doc", "document");
    EXPECT_EQ(OfficeConverter::cachePath(doc), doc + ".RT~");
    EXPECT_FALSE(OfficeConverter::isUpToDate(doc)); // no cache
    const QString cache = write("week.doc.RT~", "{\\rtf1 cached}");
    const QDateTime now = QDateTime::currentDateTime();
    setTime(doc, now.addSecs(-100));
    setTime(cache, now);
    EXPECT_TRUE(OfficeConverter::isUpToDate(doc));
    setTime(doc, now.addSecs(10));
    EXPECT_FALSE(OfficeConverter::isUpToDate(doc));
    setTime(doc, now);
    EXPECT_TRUE(OfficeConverter::isUpToDate(doc)); // equal times are up to date

    CMyRichEdit edit; // an up-to-date cache is read without the converter
    const QString converter = OfficeConverter::program();
    OfficeConverter::setProgram(QStringLiteral("/nonexistent/soffice"));
    EXPECT_TRUE(OfficeConverter::ConvertWordDocument(doc, edit, nullptr));
    EXPECT_EQ(edit.plainText(), "cached");
    OfficeConverter::setProgram(converter);
}

TEST_F(OfficeTest, AMissingConverterIsReported)
{
    const QString converter = OfficeConverter::program();
    OfficeConverter::setProgram(QStringLiteral("/nonexistent/soffice"));
    CMyRichEdit edit;
    QString message;
    EXPECT_FALSE(OfficeConverter::ConvertWordDocument(write("a.doc", "x"), edit, &message));
    EXPECT_EQ(message, QStringLiteral("Word 没有安装或安装不正确!"));
    EXPECT_FALSE(OfficeConverter::ConvertSpreadsheet(write("b.xls", "x"), edit, &message));
    EXPECT_EQ(message, QStringLiteral("创建Excel服务失败!"));
    message.clear();
    EXPECT_FALSE(OfficeConverter::ConvertWordDocument(dir.filePath("missing.doc"), edit, &message));
    EXPECT_TRUE(message.isEmpty()); // a missing document fails without a message
    OfficeConverter::setProgram(converter);
}

TEST_F(OfficeTest, WordDocumentsConvertOnceAndAgainWhenChanged)
{
    if (!haveLibreOffice())
        GTEST_SKIP() << "LibreOffice is not installed";
    const QString doc = make(write("notice.txt", "Tessarin notice\n欢迎光临\n"), "doc");
    ASSERT_TRUE(QFile::exists(doc));
    const QByteArray original = read(doc);
    CMyRichEdit edit;
    QString message;
    ASSERT_TRUE(OfficeConverter::ConvertWordDocument(doc, edit, &message)) << message.toStdString();
    EXPECT_TRUE(edit.plainText().contains(QStringLiteral("欢迎光临")));
    const QString cache = OfficeConverter::cachePath(doc);
    EXPECT_TRUE(read(cache).startsWith("{\\rtf"));
    EXPECT_EQ(read(doc), original); // the document is only read

    // A stale cache is deleted and made again.
    write("notice.doc.RT~", "{\\rtf1 stale}");
    setTime(cache, QDateTime::currentDateTime().addSecs(-3600));
    CMyRichEdit again;
    ASSERT_TRUE(OfficeConverter::ConvertWordDocument(doc, again, &message));
    EXPECT_TRUE(again.plainText().contains(QStringLiteral("Tessarin notice")));
    EXPECT_FALSE(read(cache).contains("stale"));
}

TEST_F(OfficeTest, EverySheetOfASpreadsheetPlays)
{
    if (!haveLibreOffice())
        GTEST_SKIP() << "LibreOffice is not installed";
    const QString fods = write("book.fods", R"(<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0"
 xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" office:version="1.2"
 office:mimetype="application/vnd.oasis.opendocument.spreadsheet">
 <office:body><office:spreadsheet>
  <table:table table:name="First"><table:table-row><table:table-cell office:value-type="string"><text:p>alpha</text:p></table:table-cell></table:table-row></table:table>
  <table:table table:name="Second"><table:table-row><table:table-cell office:value-type="string"><text:p>omega</text:p></table:table-cell></table:table-row></table:table>
 </office:spreadsheet></office:body></office:document>
)");
    const QString xls = make(fods, "xls");
    ASSERT_TRUE(QFile::exists(xls));
    CMyRichEdit edit;
    QString message;
    ASSERT_TRUE(OfficeConverter::ConvertSpreadsheet(xls, edit, &message)) << message.toStdString();
    const QString text = edit.plainText();
    EXPECT_TRUE(text.contains("alpha")) << text.toStdString();
    EXPECT_TRUE(text.contains("omega")) << text.toStdString();
    EXPECT_TRUE(OfficeConverter::isUpToDate(xls));
    EXPECT_TRUE(read(OfficeConverter::cachePath(xls)).startsWith("{\\rtf"));
    // The next pass plays the cache: the same pages as the conversion.
    CMyRichEdit again;
    ASSERT_TRUE(OfficeConverter::ConvertSpreadsheet(xls, again, &message));
    EXPECT_EQ(again.plainText(), text);
    EXPECT_EQ(again.TextLength(), edit.TextLength());
}

namespace {

// The wide sheet: 12 columns of 2.2 cm and one of 1.2 cm, a title over five empty cells, a
// merged Chinese cell over three columns, numbers with separators and a comment on Shanghai.
struct WideSheet
{
    QStringList text;  // every cell's text, in order
    int titleSpan = 0; // columns the title is drawn across
    int titleLines = 0;
    int mergedSpan = 0;            // columns the Chinese cell is drawn across
    QStringList splitNumbers;      // number cells on more than one line
    std::vector<PageCells> narrow; // pages on a 320 x 64 wall
    std::vector<PageCells> wide;   // pages on a 1280 x 96 wall
};

WideSheet readWideSheet(CMyRichEdit& edit)
{
    WideSheet sheet;
    edit.withDocument([&](QTextDocument& document) {
        sheet.narrow = pageCells(document, QSize(320, 64));
        sheet.wide = pageCells(document, QSize(1280, 96));
        document.setTextWidth(320);
        QTextTable* table = firstTableOf(document);
        ASSERT_NE(table, nullptr);
        forEachTextCell(*table, [&](const QTextTableCell& cell, const QString& text) {
            sheet.text << text;
            if (text.startsWith(QLatin1String("Quarterly"))) {
                sheet.titleSpan = cell.columnSpan();
                sheet.titleLines = cellLines(cell);
            }
            if (text == QStringLiteral("华东区销售汇总"))
                sheet.mergedSpan = cell.columnSpan();
            if (RtfTableBuilder::isNumber(text) && cellLines(cell) > 1)
                sheet.splitNumbers << text;
        });
    });
    return sheet;
}

void savePages(CMyRichEdit& edit, QSize size, const QString& name)
{
    if (!qEnvironmentVariableIsSet("TESSARIN_DUMP"))
        return;
    QImage page(size, QImage::Format_RGB32);
    int first = 0;
    for (int i = 0; first < edit.TextLength() && i < 60; ++i) {
        const int next = edit.RenderRange(page, page.rect(), 0x00FFFFFF, first);
        page.save(QStringLiteral("/tmp/%1-%2.png").arg(name).arg(i, 2, 10, QLatin1Char('0')));
        if (next <= first)
            break;
        first = next;
    }
}

} // namespace

TEST_F(OfficeTest, AWideSheetIsCutAcrossAndDownLikeAPrintedSpreadsheet)
{
    if (!haveLibreOffice())
        GTEST_SKIP() << "LibreOffice is not installed";
    for (const char* name : {"lo-wide-sheet.xls", "lo-wide-sheet.xlsx", "lo-wide-sheet.ods"}) {
        SCOPED_TRACE(name);
        const QString book = dir.filePath(QString::fromLatin1(name));
        ASSERT_TRUE(QFile::copy(QStringLiteral(TESSARIN_TEST_DATA "/office/") + name, book));
        // Converted, then read back from the cache as the next play does.
        for (int pass = 0; pass < 2; ++pass) {
            SCOPED_TRACE(pass == 0 ? "converted" : "from the cache");
            CMyRichEdit edit;
            QString message;
            ASSERT_TRUE(OfficeConverter::ConvertSpreadsheet(book, edit, &message))
                << message.toStdString();
            const WideSheet sheet = readWideSheet(edit);
            const QString all = sheet.text.join(QLatin1Char('|'));
            // A comment is not cell text.
            EXPECT_FALSE(edit.plainText().contains(QStringLiteral("Checked by finance")));
            EXPECT_TRUE(sheet.text.contains(QStringLiteral("Shanghai"))) << all.toStdString();
            // The merged cell once, across its three columns.
            EXPECT_EQ(sheet.text.count(QStringLiteral("华东区销售汇总")), 1) << all.toStdString();
            EXPECT_EQ(sheet.mergedSpan, 3);
            // The title runs over the empty cells beside it, on one line.
            EXPECT_GE(sheet.titleSpan, 3);
            EXPECT_LE(sheet.titleSpan, 6);
            EXPECT_EQ(sheet.titleLines, 1);
            EXPECT_TRUE(sheet.text.contains(QStringLiteral("1,234,567.89")));
            EXPECT_TRUE(sheet.text.contains(QStringLiteral("0.29")));
            EXPECT_TRUE(sheet.splitNumbers.isEmpty()) << sheet.splitNumbers.join(' ').toStdString();

            // On both walls every cell shows whole on some page; no number is cut at a side.
            for (const auto* pages : {&sheet.narrow, &sheet.wide}) {
                ASSERT_FALSE(pages->empty());
                QStringList seen;
                for (const PageCells& page : *pages) {
                    seen << page.whole;
                    for (const QString& cut : page.cut)
                        EXPECT_FALSE(RtfTableBuilder::isNumber(cut)) << cut.toStdString();
                }
                for (const char* text : {"0.29", "1,234,567.89", "9,876,543.21", "Shanghai", "杭州",
                                         "Returns", "2.00"})
                    EXPECT_TRUE(seen.contains(QString::fromUtf8(text))) << text;
            }
            const std::vector<PageCells>& narrow = sheet.narrow;
            EXPECT_GT(narrow.size(), 4u);
            // Across first: the second page is the same rows further right.
            ASSERT_GE(narrow.size(), 2u);
            EXPECT_EQ(narrow[1].page.top, narrow[0].page.top);
            EXPECT_GT(narrow[1].page.left, narrow[0].page.left);
            for (const PageCells& page : narrow)
                EXPECT_LE(page.page.width, 320.5);
            EXPECT_LT(sheet.wide.size(), narrow.size());
            savePages(edit, QSize(320, 64), QStringLiteral("wide-sheet-320-%1").arg(pass));
            savePages(edit, QSize(1280, 96), QStringLiteral("wide-sheet-1280-%1").arg(pass));
        }
    }
}
