#include "OfficeConverter.h"

#include "CMyRichEdit.h"
#include "ConverterProcess.h"
#include "SheetHtml.h"
#include "base/Notifications.h"
#include "base/SafeFile.h"
#include "base/StringTable.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>

#include <algorithm>
#include <mutex>
#include <unistd.h>

namespace OfficeConverter {
namespace {

constexpr int kTimeLimitMs = 120000; // a first start of a fresh profile takes a few seconds

// What a conversion may use: LibreOffice needs a few hundred megabytes for a large document; a
// document that takes more is one it cannot handle (a 1.3 kB sheet once drove it to 10 GB).
ConverterProcess::Limits defaultLimits()
{
    constexpr qint64 kMegabyte = 1024 * 1024;
    const qint64 physical = qint64(::sysconf(_SC_PHYS_PAGES)) * ::sysconf(_SC_PAGESIZE);
    qint64 memory = 2048 * kMegabyte;
    if (physical > 0)
        memory = std::clamp(physical / 3, 512 * kMegabyte, memory);
    return {memory, 90};
}

std::mutex g_mutex;
QString g_program = QStringLiteral("soffice");
ConverterProcess::Limits g_limits = defaultLimits();

// Documents whose conversion was ended for what it used, as they were then: converting them
// again would do the same, so they wait until they change.
struct Refusal
{
    QDateTime modified;
    qint64 size = 0;
    QString message;
};
QHash<QString, Refusal> g_refused;
constexpr int kMostRefusals = 256;

QString refusalFor(const QString& path)
{
    const QFileInfo info(path);
    std::lock_guard lock(g_mutex);
    const auto found = g_refused.constFind(info.absoluteFilePath());
    if (found == g_refused.cend())
        return {};
    if (found->modified != info.lastModified() || found->size != info.size()) {
        g_refused.remove(info.absoluteFilePath());
        return {};
    }
    return found->message;
}

void refuse(const QString& path, const QString& message)
{
    const QFileInfo info(path);
    std::lock_guard lock(g_mutex);
    if (g_refused.size() >= kMostRefusals)
        g_refused.clear();
    g_refused.insert(info.absoluteFilePath(), {info.lastModified(), info.size(), message});
}

enum class Result
{
    Done,
    NoConverter, // could not be started
    Stopped,
    TimedOut,
    OverMemory, // ended: it used more memory than a conversion may
    OverCpu,    // ended: it used more processor time than a conversion may
    NoOutput,
    Unreadable, // something came out, but no document of the kind asked for
};

bool converterExists(const QString& program)
{
    if (program.contains(QLatin1Char('/')))
        return QFileInfo(program).isExecutable();
    return !QStandardPaths::findExecutable(program).isEmpty();
}

// Whether a file is what the converter was asked to make: RTF starts with "{\rtf", HTML has
// its tags near the start. Anything else is not kept as a cache.
bool looksLike(const QString& path, const QString& extension)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = file.read(4096);
    if (extension == QLatin1String("rtf"))
        return head.startsWith("{\\rtf");
    const QByteArray lower = head.toLower();
    return lower.contains("<html") || lower.contains("<table") || lower.contains("<body");
}

// One run of the converter: `source` into `format` in `outDir`; the output file is checked. The
// converter runs in a process group of its own, so that its workers end with it whatever ends it,
// and in a profile folder of its own that goes with this call.
Result convert(const QString& source, const QString& format, const QStringList& extra,
               const QString& outDir, QString* output, const StopCheck& stop)
{
    const QString program = OfficeConverter::program();
    // Not there: no process is even tried (a failed start costs descriptors).
    if (!converterExists(program))
        return Result::NoConverter;
    QTemporaryDir profile;
    if (!profile.isValid())
        return Result::NoOutput;
    QStringList args{
        QStringLiteral("-env:UserInstallation=") + QUrl::fromLocalFile(profile.path()).toString(),
        QStringLiteral("--headless"), QStringLiteral("--norestore"), QStringLiteral("--nologo")};
    args << extra << QStringLiteral("--convert-to") << format << QStringLiteral("--outdir")
         << outDir << source;
    // A conversion takes seconds: the operator sees it is under way. A document that fails on
    // every pass says so once, until one of its conversions goes through.
    const QString progressKey = QStringLiteral("convert:") + source;
    Notifications::postOnce(
        progressKey, dialogText("Converting %1 with LibreOffice...", "正在用 LibreOffice 转换 %1…")
                         .arg(QFileInfo(source).fileName()));
    // However the run ends, the status line no longer says it is under way (a failure is told
    // by the caller).
    const struct Ended
    {
        const QString& key;
        ~Ended() { Notifications::withdraw(key); }
    } ended{progressKey};
    ConverterProcess process;
    if (!process.start(program, args))
        return Result::NoConverter;
    switch (process.wait(stop, kTimeLimitMs, limits())) {
    case ConverterProcess::End::Stopped:
        return Result::Stopped;
    case ConverterProcess::End::TimedOut:
        return Result::TimedOut;
    case ConverterProcess::End::OverMemory:
        return Result::OverMemory;
    case ConverterProcess::End::OverCpu:
        return Result::OverCpu;
    case ConverterProcess::End::Exited:
        break;
    }
    // The converter reports success even when it wrote nothing: the file is what counts.
    const QString extension = format.section(QLatin1Char(':'), 0, 0);
    *output =
        QDir(outDir).filePath(QFileInfo(source).completeBaseName() + QLatin1Char('.') + extension);
    if (!QFileInfo(*output).isFile() || QFileInfo(*output).size() == 0)
        return Result::NoOutput;
    if (!looksLike(*output, extension))
        return Result::Unreadable;
    Notifications::withdraw(progressKey);
    Notifications::clear(progressKey);
    return Result::Done;
}

// Whether a conversion made its document; otherwise what to tell the operator, if anything.
bool converted(Result result, const char* noConverterMessage, const QString& source,
               QString* message)
{
    QString text;
    switch (result) {
    case Result::Done:
    case Result::Stopped:
        return result == Result::Done;
    case Result::NoConverter:
        text = QString::fromUtf8(noConverterMessage);
        break;
    case Result::TimedOut:
        text = dialogText("The conversion of %1 took too long.", "转换 %1 超时。");
        break;
    case Result::OverMemory:
        text = dialogText("The conversion of %1 was ended: it took more than %2 MB of memory. "
                          "It is not tried again until the file changes.",
                          "转换 %1 占用内存超过 %2 MB，已终止；文件改动之前不再转换。")
                   .arg(QStringLiteral("%1"), QString::number(limits().memoryBytes >> 20));
        break;
    case Result::OverCpu:
        text = dialogText("The conversion of %1 was ended: it took more than %2 s of processor "
                          "time. It is not tried again until the file changes.",
                          "转换 %1 占用处理器时间超过 %2 秒，已终止；文件改动之前不再转换。")
                   .arg(QStringLiteral("%1"), QString::number(limits().cpuSeconds));
        break;
    case Result::NoOutput:
        text = dialogText("The converter made nothing of %1.", "转换 %1 没有得到结果。");
        break;
    case Result::Unreadable:
        text =
            dialogText("What the converter made of %1 is no document.", "转换 %1 的结果无法读取。");
        break;
    }
    const QString told = withPath(text, source);
    // A run that was ended for what it took would take it again.
    if (result == Result::OverMemory || result == Result::OverCpu)
        refuse(source, told);
    if (message)
        *message = told;
    return false;
}

// One run, and a second when the first ended without its output: a converter starting on a new
// profile sometimes exits at once with nothing written (it restarts itself once after creating
// the profile, and another instance starting at the same moment can make it give up).
Result convertWithRetry(const QString& source, const QString& format, const QStringList& extra,
                        const QString& outDir, QString* output, const StopCheck& stop)
{
    Result result = convert(source, format, extra, outDir, output, stop);
    if (result == Result::NoOutput && !(stop && stop()))
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
    const QString html = QString::fromUtf8(file.readAll());
    file.close();
    return SafeFile::write(htmlPath, SheetHtml::cleaned(html).toUtf8()) == SafeFile::Error::None;
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

// Earlier versions cached a spreadsheet in the renderer's own RTF, which keeps no pictures, fills
// or borders: such a cache is made again from the workbook.
bool isOwnWriting(const QString& cache)
{
    QFile file(cache);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    return file.read(64).startsWith("{\\rtf1\\ansi\\ansicpg936\\deff0\\uc1\n{\\fonttbl");
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

void setLimits(const ConverterProcess::Limits& limits)
{
    std::lock_guard lock(g_mutex);
    g_limits = limits;
    g_refused.clear();
}

ConverterProcess::Limits limits()
{
    std::lock_guard lock(g_mutex);
    return g_limits;
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
        if (const QString refused = refusalFor(path); !refused.isEmpty()) {
            if (message)
                *message = refused;
            return false;
        }
        QFile::remove(cache);
        QTemporaryDir out;
        QString converted;
        if (!OfficeConverter::converted(
                convertWithRetry(path, QStringLiteral("rtf"), {}, out.path(), &converted, stop),
                "Word 没有安装或安装不正确!", path, message) ||
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
    if (isUpToDate(path) && !isOwnWriting(cache))
        return edit.LoadFile(cache, message, stop);
    if (const QString refused = refusalFor(path); !refused.isEmpty()) {
        if (message)
            *message = refused;
        return false;
    }
    QFile::remove(cache);
    // No spreadsheet-to-RTF export exists: every sheet to HTML, then the HTML to RTF.
    QTemporaryDir out;
    QString html;
    if (!converted(convertWithRetry(path, QStringLiteral("html"), {}, out.path(), &html, stop),
                   "创建Excel服务失败!", path, message) ||
        !keepOnlyCells(html))
        return false;
    QTemporaryDir rtfOut;
    QString rtf;
    if (!converted(convertWithRetry(html, QStringLiteral("rtf"),
                                    {QStringLiteral("--infilter=HTML (StarWriter)")}, rtfOut.path(),
                                    &rtf, stop),
                   "创建Excel服务失败!", path, message))
        return false;
    // The cache is the conversion itself, so every later pass and every restart plays the pages
    // this one does. One that cannot be written is reported; the sheet still plays.
    QString saveMessage;
    const bool cached = replaceCache(rtf, cache, &saveMessage);
    if (!edit.LoadFile(cached ? cache : rtf, message, stop))
        return false;
    if (!cached && message)
        *message = saveMessage;
    return true;
}

} // namespace OfficeConverter
