// The converter as a process that misbehaves: one that cannot start, a thousand times; one that
// leaves a worker behind and is stopped; one that writes garbage. Fake converters are shell
// scripts that take LibreOffice's arguments.
#include "render/text/ConverterProcess.h"
#include "base/Notifications.h"
#include "render/text/CMyRichEdit.h"
#include "render/text/OfficeConverter.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QUrl>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>

namespace {

class ConverterProcessTest : public testing::Test
{
protected:
    ~ConverterProcessTest() override { OfficeConverter::setProgram(QStringLiteral("soffice")); }

    QString write(const QString& name, const QByteArray& bytes, bool executable = false)
    {
        const QString path = dir.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        file.close();
        if (executable)
            file.setPermissions(file.permissions() | QFile::ExeOwner);
        return path;
    }

    static int openDescriptors() { return int(QDir(QStringLiteral("/proc/self/fd")).count()); }

    QTemporaryDir dir;
};

} // namespace

TEST_F(ConverterProcessTest, AConverterThatCannotStartLeaksNothing)
{
    const QString doc = write(QStringLiteral("a.doc"), "x");
    // There, executable, but no program the system can start.
    OfficeConverter::setProgram(
        write(QStringLiteral("broken-soffice"), "\x7f\x45\x4c\x46 no", true));
    CMyRichEdit edit;
    QString message;
    EXPECT_FALSE(OfficeConverter::ConvertWordDocument(doc, edit, &message));
    EXPECT_EQ(message, QStringLiteral("Word 没有安装或安装不正确!"));
    const int before = openDescriptors();
    for (int i = 0; i < 1000; ++i)
        OfficeConverter::ConvertWordDocument(doc, edit, nullptr);
    OfficeConverter::setProgram(QStringLiteral("/nonexistent/soffice"));
    for (int i = 0; i < 1000; ++i)
        OfficeConverter::ConvertWordDocument(doc, edit, nullptr);
    EXPECT_LE(openDescriptors(), before + 2);
}

TEST_F(ConverterProcessTest, AStopEndsTheWholeConverterAndItsProfile)
{
    const QString marker =
        QStringLiteral("tessarin-converter-worker-%1").arg(QCoreApplication::applicationPid());
    const QString profiles = dir.filePath(QStringLiteral("profiles.txt"));
    // Notes its profile folder, starts a worker that would outlive it, and takes its time.
    const QString script = write(QStringLiteral("slow-soffice"),
                                 QStringLiteral("#!/bin/sh\n"
                                                "echo \"$1\" >> '%1'\n"
                                                "sh -c 'exec -a %2 sleep 60' &\n"
                                                "sleep 60\n")
                                     .arg(profiles, marker)
                                     .toUtf8(),
                                 true);
    OfficeConverter::setProgram(script);
    CMyRichEdit edit;
    const auto started = std::chrono::steady_clock::now();
    QString message;
    EXPECT_FALSE(OfficeConverter::ConvertWordDocument(
        write(QStringLiteral("b.doc"), "x"), edit, &message, [&] {
            return std::chrono::steady_clock::now() - started > std::chrono::milliseconds(500);
        }));
    EXPECT_TRUE(message.isEmpty()) << message.toStdString(); // a stop is no failure to tell
    QThread::msleep(100);
    EXPECT_NE(QProcess::execute(QStringLiteral("pgrep"), {QStringLiteral("-f"), marker}), 0)
        << "the converter's worker is still running";
    QFile noted(profiles);
    ASSERT_TRUE(noted.open(QIODevice::ReadOnly));
    const QString profile =
        QUrl(QString::fromUtf8(noted.readAll()).trimmed().section(QLatin1Char('='), 1))
            .toLocalFile();
    ASSERT_FALSE(profile.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(profile)) << "the profile folder was left behind";
}

TEST_F(ConverterProcessTest, GarbageIsNotCachedAndTheReasonIsTold)
{
    // Writes whatever it likes where the document should be.
    const QString script =
        write(QStringLiteral("garbage-soffice"),
              "#!/bin/sh\n"
              "for a; do last=\"$a\"; done\n"
              "while [ $# -gt 0 ]; do [ \"$1\" = --outdir ] && out=\"$2\"; shift; done\n"
              "name=$(basename \"$last\"); name=${name%.*}\n"
              "printf 'MZ garbage' > \"$out/$name.rtf\"\n",
              true);
    OfficeConverter::setProgram(script);
    const QString doc = write(QStringLiteral("c.doc"), "x");
    CMyRichEdit edit;
    QString message;
    EXPECT_FALSE(OfficeConverter::ConvertWordDocument(doc, edit, &message));
    EXPECT_FALSE(QFileInfo::exists(OfficeConverter::cachePath(doc)));
    EXPECT_TRUE(message.contains(QStringLiteral("无法读取")) ||
                message.contains(QStringLiteral("no document")))
        << message.toStdString();
    // One that writes nothing says so.
    OfficeConverter::setProgram(
        write(QStringLiteral("silent-soffice"), "#!/bin/sh\nexit 0\n", true));
    EXPECT_FALSE(OfficeConverter::ConvertWordDocument(doc, edit, &message));
    EXPECT_TRUE(message.contains(QStringLiteral("没有得到结果")) ||
                message.contains(QStringLiteral("nothing")))
        << message.toStdString();
}

TEST_F(ConverterProcessTest, TheConvertingMessageIsWithdrawnHoweverTheConversionEnds)
{
    QStringList posted, withdrawn;
    Notifications::setSink([&](const QString& text) { posted << text; });
    QObject context;
    QObject::connect(&Notifications::Relay::instance(), &Notifications::Relay::withdrawn, &context,
                     [&](const QString& text) { withdrawn << text; });
    const auto converter = [this](const char* name, const char* body) {
        return write(QString::fromLatin1(name),
                     QByteArray("#!/bin/sh\n"
                                "for a; do last=\"$a\"; done\n"
                                "while [ $# -gt 0 ]; do [ \"$1\" = --outdir ] && out=\"$2\"; "
                                "shift; done\n"
                                "name=$(basename \"$last\"); name=${name%.*}\n") +
                         body,
                     true);
    };
    CMyRichEdit edit;
    QString message;
    // Done: the document plays and the line is free.
    OfficeConverter::setProgram(
        converter("good-soffice", "printf '{\\\\rtf1 done}' > \"$out/$name.rtf\"\n"));
    EXPECT_TRUE(OfficeConverter::ConvertWordDocument(write(QStringLiteral("good.doc"), "x"), edit,
                                                     &message));
    ASSERT_EQ(posted.size(), 1);
    EXPECT_TRUE(posted[0].contains(QStringLiteral("good.doc")));
    EXPECT_EQ(withdrawn, posted);
    // Failed (nothing written, twice): withdrawn, the failure is the caller's to tell.
    posted.clear();
    withdrawn.clear();
    OfficeConverter::setProgram(converter("silent-soffice", "exit 0\n"));
    EXPECT_FALSE(OfficeConverter::ConvertWordDocument(write(QStringLiteral("bad.doc"), "x"), edit,
                                                      &message));
    ASSERT_EQ(posted.size(), 1);
    EXPECT_FALSE(message.isEmpty());
    ASSERT_FALSE(withdrawn.isEmpty());
    EXPECT_EQ(withdrawn.last(), posted[0]);
    // Stopped.
    posted.clear();
    withdrawn.clear();
    OfficeConverter::setProgram(converter("slow-soffice", "sleep 30\n"));
    EXPECT_FALSE(OfficeConverter::ConvertWordDocument(write(QStringLiteral("slow.doc"), "x"), edit,
                                                      &message, [] { return true; }));
    ASSERT_EQ(posted.size(), 1);
    EXPECT_EQ(withdrawn, posted);
    Notifications::setSink({});
}

// A converter that runs away is ended for what it takes, says so once, and is not started
// again for that document until the document changes.
TEST_F(ConverterProcessTest, AConverterThatRunsAwayIsEndedAndNotTriedAgainUntilTheFileChanges)
{
    const QString runs = dir.filePath(QStringLiteral("runs.txt"));
    const auto converter = [&](const char* name, const char* body) {
        return write(QString::fromLatin1(name),
                     QStringLiteral("#!/bin/sh\necho run >> '%1'\n%2").arg(runs, body).toUtf8(),
                     true);
    };
    const auto runCount = [&] {
        QFile file(runs);
        return file.open(QIODevice::ReadOnly) ? int(file.readAll().count('\n')) : 0;
    };
    struct Restore
    {
        ConverterProcess::Limits limits = OfficeConverter::limits();
        ~Restore() { OfficeConverter::setLimits(limits); }
    } restore;

    // Memory: a worker of its own holds 300 MB; the bound is 64 MB for LibreOffice and its workers
    // together.
    OfficeConverter::setLimits({64 << 20, 60});
    OfficeConverter::setProgram(converter(
        "greedy-soffice",
        "sh -c 'x=$(head -c 300000000 /dev/zero | tr \"\\\\000\" a); sleep 60' &\nwait\n"));
    const QString doc = write(QStringLiteral("greedy.doc"), "x");
    CMyRichEdit edit;
    QString message;
    const auto started = std::chrono::steady_clock::now();
    EXPECT_FALSE(OfficeConverter::ConvertWordDocument(doc, edit, &message));
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(30));
    EXPECT_TRUE(message.contains(QStringLiteral("64 MB"))) << message.toStdString();
    EXPECT_TRUE(message.contains(QStringLiteral("greedy.doc"))) << message.toStdString();
    EXPECT_EQ(runCount(), 1) << "a conversion ended for its memory was tried again";
    // The next passes of the playlist say the same without starting it.
    for (int i = 0; i < 3; ++i) {
        QString again;
        EXPECT_FALSE(OfficeConverter::ConvertWordDocument(doc, edit, &again));
        EXPECT_EQ(again, message);
    }
    EXPECT_EQ(runCount(), 1);
    EXPECT_FALSE(QFileInfo::exists(OfficeConverter::cachePath(doc)));
    // Changed, it is tried again.
    QFile changed(doc);
    ASSERT_TRUE(changed.open(QIODevice::Append));
    changed.write("more");
    changed.close();
    EXPECT_FALSE(OfficeConverter::ConvertWordDocument(doc, edit, &message));
    EXPECT_EQ(runCount(), 2);

    // Processor time: a spin of its own, bounded to a second.
    OfficeConverter::setLimits({0, 1});
    OfficeConverter::setProgram(converter("spinning-soffice", "while :; do :; done\n"));
    const QString sheet = write(QStringLiteral("spin.xls"), "x");
    EXPECT_FALSE(OfficeConverter::ConvertSpreadsheet(sheet, edit, &message));
    EXPECT_TRUE(message.contains(QStringLiteral("1 s"))) << message.toStdString();
    EXPECT_EQ(runCount(), 3);
    EXPECT_FALSE(OfficeConverter::ConvertSpreadsheet(sheet, edit, &message));
    EXPECT_EQ(runCount(), 3);
}

// What a session uses is counted over all of its processes, however deep.
TEST_F(ConverterProcessTest, ASessionsUseCountsEveryProcessInIt)
{
    ConverterProcess process;
    ASSERT_TRUE(
        process.start(write(QStringLiteral("tree"),
                            "#!/bin/sh\nsleep 30 &\nsh -c 'sleep 30 & wait' &\nwait\n", true),
                      {}));
    ConverterProcess::Use use;
    for (int i = 0; i < 100 && use.processes < 4; ++i) {
        QThread::msleep(20);
        use = ConverterProcess::sessionUse(process.pid());
    }
    EXPECT_EQ(use.processes, 4); // the script, its sleep, the inner shell and its sleep
    EXPECT_GT(use.residentBytes, 0);
}

// Every pass of a spreadsheet plays what LibreOffice made of it, pictures and all: the cache is
// the conversion, byte for byte, not the renderer's own writing of what it read.
TEST_F(ConverterProcessTest, ASpreadsheetsCacheIsItsConversion)
{
    const QByteArray rtf =
        "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}{\\colortbl;\\red255\\green0\\blue0;}"
        "\\trowd\\clcbpat1\\cellx2000\\cellx4000 \\intbl red cell\\cell second\\cell\\row "
        "{\\pict\\pngblip\\picw1\\pich1 "
        "89504e470d0a1a0a0000000d4948445200000001000000010802000000907753de0000000c4944"
        "4154789c63f8cfc0000003010100c9fe92ef0000000049454e44ae426082}}";
    const QString rtfSource = write(QStringLiteral("made.rtf"), rtf);
    const QString runs = dir.filePath(QStringLiteral("runs.txt"));
    OfficeConverter::setProgram(
        write(QStringLiteral("sheet-soffice"),
              QStringLiteral("#!/bin/sh\n"
                             "echo run >> '%1'\n"
                             "for a; do last=\"$a\"; done\n"
                             "while [ $# -gt 0 ]; do\n"
                             "  [ \"$1\" = --outdir ] && out=\"$2\"\n"
                             "  [ \"$1\" = --convert-to ] && to=\"$2\"\n"
                             "  shift\n"
                             "done\n"
                             "name=$(basename \"$last\"); name=${name%.*}\n"
                             "if [ \"$to\" = html ]; then\n"
                             "  echo '<html><body><table><tr><td>x</td></tr></table></body></html>'"
                             " > \"$out/$name.html\"\n"
                             "else\n"
                             "  cp '%2' \"$out/$name.rtf\"\n"
                             "fi\n")
                  .arg(runs, rtfSource)
                  .toUtf8(),
              true));
    const QString sheet = write(QStringLiteral("book.xlsx"), "x");
    const QString cache = OfficeConverter::cachePath(sheet);
    CMyRichEdit first;
    QString message;
    ASSERT_TRUE(OfficeConverter::ConvertSpreadsheet(sheet, first, &message))
        << message.toStdString();
    QFile cached(cache);
    ASSERT_TRUE(cached.open(QIODevice::ReadOnly));
    EXPECT_EQ(cached.readAll(), rtf);
    cached.close();
    CMyRichEdit second;
    ASSERT_TRUE(OfficeConverter::ConvertSpreadsheet(sheet, second, &message));
    EXPECT_EQ(second.plainText(), first.plainText());

    // A cache an earlier version wrote in the renderer's own RTF is made again.
    QFile mine(cache);
    ASSERT_TRUE(mine.open(QIODevice::WriteOnly));
    mine.write("{\\rtf1\\ansi\\ansicpg936\\deff0\\uc1\n{\\fonttbl{\\f0 x;}}lossy}");
    mine.close();
    QFile runsFile(runs);
    ASSERT_TRUE(runsFile.open(QIODevice::ReadOnly));
    const int before = int(runsFile.readAll().count('\n'));
    runsFile.close();
    CMyRichEdit third;
    ASSERT_TRUE(OfficeConverter::ConvertSpreadsheet(sheet, third, &message));
    ASSERT_TRUE(runsFile.open(QIODevice::ReadOnly));
    EXPECT_EQ(int(runsFile.readAll().count('\n')), before + 2); // to HTML, then to RTF
    EXPECT_EQ(third.plainText(), first.plainText());
}
