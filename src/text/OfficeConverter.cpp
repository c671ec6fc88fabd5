#include "OfficeConverter.h"

#include "CMyRichEdit.h"
#include "app/SafeFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QUrl>

#include <mutex>

namespace OfficeConverter {
namespace {

constexpr int kTimeLimitMs = 120000; // a first start of a fresh profile takes a few seconds
constexpr int kPollMs = 50;

std::mutex g_mutex;
QString g_program = QStringLiteral("soffice");

enum class Result
{
    Done,
    NoConverter,
    Failed,
};

// One run of the converter: `source` into `format` in `outDir`; the output file is checked.
Result convert(const QString& source, const QString& format, const QStringList& extra,
               const QString& outDir, QString* output, const StopCheck& stop)
{
    QTemporaryDir profile;
    if (!profile.isValid())
        return Result::Failed;
    QStringList args{
        QStringLiteral("-env:UserInstallation=") + QUrl::fromLocalFile(profile.path()).toString(),
        QStringLiteral("--headless"), QStringLiteral("--norestore"), QStringLiteral("--nologo")};
    args << extra << QStringLiteral("--convert-to") << format << QStringLiteral("--outdir")
         << outDir << source;
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(OfficeConverter::program(), args);
    if (!process.waitForStarted(10000))
        return Result::NoConverter;
    for (int waited = 0; !process.waitForFinished(kPollMs); waited += kPollMs) {
        if (process.state() == QProcess::NotRunning)
            break;
        if ((stop && stop()) || waited > kTimeLimitMs) {
            process.kill();
            process.waitForFinished(5000);
            return Result::Failed;
        }
    }
    // The converter reports success even when it wrote nothing: the file is what counts.
    const QString extension = format.section(QLatin1Char(':'), 0, 0);
    *output =
        QDir(outDir).filePath(QFileInfo(source).completeBaseName() + QLatin1Char('.') + extension);
    return QFileInfo(*output).isFile() && QFileInfo(*output).size() > 0 ? Result::Done
                                                                        : Result::Failed;
}

// The first conversion of a kind: false when it failed, with the operator's message when the
// converter could not even start.
bool firstConversion(Result result, const char* noConverterMessage, QString* message)
{
    if (result == Result::NoConverter && message)
        *message = QString::fromUtf8(noConverterMessage);
    return result == Result::Done;
}

// One run, and a second when the first ended without its output: a converter starting on a new
// profile sometimes exits at once with nothing written (it restarts itself once after creating
// the profile, and another instance starting at the same moment can make it give up).
Result convertWithRetry(const QString& source, const QString& format, const QStringList& extra,
                        const QString& outDir, QString* output, const StopCheck& stop)
{
    Result result = convert(source, format, extra, outDir, output, stop);
    if (result == Result::Failed && !(stop && stop()))
        result = convert(source, format, extra, outDir, output, stop);
    return result;
}

// The converter's HTML of a workbook opens with an overview of links and heads every sheet with
// "Sheet N: name": only the sheets' cells are shown, one sheet after another.
bool keepOnlyCells(const QString& htmlPath)
{
    QFile file(htmlPath);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    QString html = QString::fromUtf8(file.readAll());
    file.close();
    static const QRegularExpression overview(QStringLiteral("<p>\\s*<center>.*?</center>\\s*</p>"),
                                             QRegularExpression::CaseInsensitiveOption |
                                                 QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression heading(
        QStringLiteral("<a name=\"table\\d+\">\\s*<h1>.*?</h1>\\s*</a>"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression rule(QStringLiteral("<hr\\s*/?>"),
                                         QRegularExpression::CaseInsensitiveOption);
    html.remove(overview);
    html.remove(heading);
    html.remove(rule);
    return SafeFile::write(htmlPath, html.toUtf8()) == SafeFile::Error::None;
}

// The converted document becomes the cache, whole or not at all; what failed is told.
bool replaceCache(const QString& converted, const QString& cache, QString* message)
{
    QByteArray bytes;
    if (SafeFile::readAll(converted, &bytes) != SafeFile::ReadError::None)
        return false;
    const SafeFile::Error error = SafeFile::write(cache, bytes);
    if (error != SafeFile::Error::None) {
        if (message)
            *message = SafeFile::message(error, cache);
        return false;
    }
    return true;
}

} // namespace

QString cachePath(const QString& documentPath)
{
    return documentPath + QStringLiteral(".RT~");
}

bool isUpToDate(const QString& documentPath)
{
    const QFileInfo document(documentPath);
    const QFileInfo cache(cachePath(documentPath));
    if (!document.exists() || !cache.exists())
        return false;
    return document.lastModified().toSecsSinceEpoch() <= cache.lastModified().toSecsSinceEpoch();
}

void setProgram(const QString& program)
{
    std::lock_guard lock(g_mutex);
    g_program = program;
}

QString program()
{
    std::lock_guard lock(g_mutex);
    return g_program;
}

bool ConvertWordDocument(const QString& path, CMyRichEdit& edit, QString* message,
                         const StopCheck& stop)
{
    if (path.isEmpty() || !QFileInfo(path).isFile())
        return false;
    const QString cache = cachePath(path);
    if (!isUpToDate(path)) {
        QFile::remove(cache);
        QTemporaryDir out;
        QString converted;
        if (!firstConversion(
                convertWithRetry(path, QStringLiteral("rtf"), {}, out.path(), &converted, stop),
                "Word 没有安装或安装不正确!", message) ||
            !replaceCache(converted, cache, message))
            return false;
    }
    return edit.LoadFile(cache, message, stop);
}

bool ConvertSpreadsheet(const QString& path, CMyRichEdit& edit, QString* message,
                        const StopCheck& stop)
{
    if (path.isEmpty() || !QFileInfo(path).isFile())
        return false;
    const QString cache = cachePath(path);
    if (isUpToDate(path))
        return edit.LoadFile(cache, message, stop);
    QFile::remove(cache);
    // No spreadsheet-to-RTF export exists: every sheet to HTML, then the HTML to RTF.
    QTemporaryDir out;
    QString html;
    if (!firstConversion(
            convertWithRetry(path, QStringLiteral("html"), {}, out.path(), &html, stop),
            "创建Excel服务失败!", message) ||
        !keepOnlyCells(html))
        return false;
    QTemporaryDir rtfOut;
    QString rtf;
    if (convertWithRetry(html, QStringLiteral("rtf"),
                         {QStringLiteral("--infilter=HTML (StarWriter)")}, rtfOut.path(), &rtf,
                         stop) != Result::Done)
        return false;
    if (!edit.LoadFile(rtf, message, stop))
        return false;
    // A cache that cannot be written is reported; the document still plays from what was read.
    QString saveMessage;
    if (!edit.SaveFile(cache, true, &saveMessage) && message)
        *message = saveMessage;
    return true;
}

} // namespace OfficeConverter
