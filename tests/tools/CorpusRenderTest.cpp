// Every file of tests/data played the way the program plays it, by tessarin-tool render: no
// crash, pages that move on, the text all there, the colours of the document on the LED.
// TESSARIN_EXTRA_CORPUS names a folder of more files (RTF, DOC, XLS) to play the same way.
#include "render/text/RtfReader.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextDocument>

#include <gtest/gtest.h>

#include <set>

namespace {

struct Played
{
    int exitCode = -1;
    std::vector<QJsonObject> pages;
    std::vector<QImage> pictures;
    QString error;
};

// Plays one file as a rich-text item on a 480 x 256 LED, every wait skipped.
Played play(const QString& file, const QTemporaryDir& dir)
{
    Played played;
    const QString out = dir.filePath(QStringLiteral("out-") + QFileInfo(file).fileName());
    QDir().mkpath(out);
    const QJsonObject item{{"class", "CPropRtf"},
                           {"filePath", file},
                           {"effect", 1},
                           {"reverseColors", 0},
                           {"holdTime", 1}};
    const QJsonObject project{{"area", QJsonObject{{"ledWidth", 480}, {"ledHeight", 256}}},
                              {"items", QJsonArray{item}},
                              {"sections", QJsonArray{QJsonObject{{"sectionLength", 480}}}}};
    QFile json(out + QStringLiteral("/p.json"));
    if (!json.open(QIODevice::WriteOnly))
        return played;
    json.write(QJsonDocument(project).toJson());
    json.close();
    QProcess make;
    make.start(QStringLiteral(TESSARIN_TOOL),
               {QStringLiteral("make"), json.fileName(), out + QStringLiteral("/p.zpm")});
    make.waitForFinished(30000);
    QProcess render;
    render.start(QStringLiteral(TESSARIN_TOOL),
                 {QStringLiteral("render"), out + QStringLiteral("/p.zpm"), out,
                  QStringLiteral("--fast"), QStringLiteral("--loops"), QStringLiteral("1")});
    if (!render.waitForFinished(120000)) {
        render.kill();
        played.error = QStringLiteral("no end within two minutes");
        return played;
    }
    played.exitCode = render.exitCode();
    played.error = QString::fromUtf8(render.readAllStandardError());
    QFile log(out + QStringLiteral("/log.jsonl"));
    if (log.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : log.readAll().split('\n')) {
            if (line.trimmed().isEmpty())
                continue;
            const QJsonObject page = QJsonDocument::fromJson(line).object();
            played.pages.push_back(page);
            played.pictures.emplace_back(out + QLatin1Char('/') + page["file"].toString());
        }
    }
    return played;
}

bool hasColour(const std::vector<QImage>& pictures, QRgb rgb)
{
    for (const QImage& picture : pictures)
        for (int y = 0; y < picture.height(); ++y)
            for (int x = 0; x < picture.width(); ++x)
                if (picture.pixel(x, y) == rgb)
                    return true;
    return false;
}

void expectPlays(const Played& played, const QString& name)
{
    SCOPED_TRACE(name.toStdString());
    ASSERT_EQ(played.exitCode, 0) << played.error.toStdString();
    ASSERT_FALSE(played.pages.empty());
    int previous = -1;
    for (const QJsonObject& page : played.pages) {
        EXPECT_GT(page["nextChar"].toInt(), previous) << "a page that does not move on";
        previous = page["nextChar"].toInt();
    }
    EXPECT_EQ(played.pages.back()["nextChar"].toInt(), played.pages.back()["textLength"].toInt());
}

QString data(const char* relative)
{
    return QStringLiteral(TESSARIN_TEST_DATA "/") + QString::fromUtf8(relative);
}

QString copied(const QString& file, const QTemporaryDir& dir)
{
    const QString target = dir.filePath(QFileInfo(file).fileName());
    QFile::copy(file, target);
    return target;
}

bool haveConverter()
{
    return !QStandardPaths::findExecutable(QStringLiteral("soffice")).isEmpty();
}

} // namespace

TEST(CorpusRender, EveryRtfPlaysToItsEnd)
{
    QTemporaryDir dir;
    int files = 0;
    for (const QString& folder : {data("rtf"), data("text")}) {
        QDirIterator it(folder, {QStringLiteral("*.rtf")}, QDir::Files);
        while (it.hasNext()) {
            const QString file = it.next();
            const Played played = play(file, dir);
            expectPlays(played, file);
            if (!played.pages.empty()) {
                EXPECT_GT(played.pages.back()["textLength"].toInt(), 50) << file.toStdString();
            }
            ++files;
        }
    }
    EXPECT_GE(files, 8);
}

TEST(CorpusRender, TheColoursAndPagesOfTheDocumentReachTheLed)
{
    QTemporaryDir dir;
    const Played table = play(data("rtf/lo-table-shading-merged.rtf"), dir);
    expectPlays(table, QStringLiteral("table"));
    EXPECT_TRUE(hasColour(table.pictures, qRgb(0x1F, 0x38, 0x64))) << "the dark cell shading";
    EXPECT_TRUE(hasColour(table.pictures, qRgb(255, 0, 0))) << "the red cell";
    const Played chinese = play(data("rtf/lo-zh-mixed.rtf"), dir);
    expectPlays(chinese, QStringLiteral("chinese"));
    const Played pages = play(data("rtf/lo-multipage-zh-sb.rtf"), dir);
    expectPlays(pages, QStringLiteral("multipage"));
    EXPECT_GE(pages.pages.size(), 8u);
}

TEST(CorpusRender, WordDocumentsAndWorkbooksPlay)
{
    if (!haveConverter())
        GTEST_SKIP() << "LibreOffice is not installed";
    QTemporaryDir dir;
    for (const char* name : {"office/lo-zh-mixed.doc", "office/lo-three-sheets.xls"}) {
        const QString file = copied(data(name), dir);
        expectPlays(play(file, dir), file);
    }
    // Only the sheets' cells, one sheet after another: no overview, no sheet headings.
    QFile cache(dir.filePath(QStringLiteral("lo-three-sheets.xls.RT~")));
    ASSERT_TRUE(cache.open(QIODevice::ReadOnly));
    QTextDocument document;
    readRtfOrText(cache.readAll(), document);
    const QString text = document.toPlainText();
    EXPECT_FALSE(text.contains(QStringLiteral("Overview")));
    EXPECT_FALSE(text.contains(QStringLiteral("Sheet 1")));
    EXPECT_LT(text.indexOf(QStringLiteral("营业时间 Hours")), text.indexOf(QStringLiteral("Café")));
    EXPECT_LT(text.indexOf(QStringLiteral("Café")), text.lastIndexOf(QStringLiteral("25")));
}

TEST(CorpusRender, ExtraCorpus)
{
    const QString folder = qEnvironmentVariable("TESSARIN_EXTRA_CORPUS");
    if (folder.isEmpty())
        GTEST_SKIP() << "TESSARIN_EXTRA_CORPUS is not set";
    QTemporaryDir dir;
    QDirIterator it(folder,
                    {QStringLiteral("*.rtf"), QStringLiteral("*.doc"), QStringLiteral("*.xls")},
                    QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString file = copied(it.next(), dir);
        const Played played = play(file, dir);
        SCOPED_TRACE(file.toStdString());
        EXPECT_EQ(played.exitCode, 0) << played.error.toStdString();
    }
}
