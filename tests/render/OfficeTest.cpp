#include "render/text/CMyRichEdit.h"
#include "render/text/OfficeConverter.h"

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
