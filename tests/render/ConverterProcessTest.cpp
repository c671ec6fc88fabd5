// The converter as a process that misbehaves: one that cannot start, a thousand times; one that
// leaves a worker behind and is stopped; one that writes garbage. Fake converters are shell
// scripts that take LibreOffice's arguments.
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
