// A project of every kind played with zero waits while Play, Pause, Stop, preview and Add File are
// driven at random for a bounded time: afterwards no thread is left, memory has not grown, and
// the project saves and reloads byte for byte. The playlist also holds what an unattended wall
// meets: a missing file, a document with no converter, a pipe. Windows, descriptors, threads and
// memory stay flat, and each of those is told once.
#include "base/Notifications.h"
#include "base/RecentFileList.h"
#include "model/CAct.h"
#include "model/CPropImage.h"
#include "model/ProjectFile.h"
#include "render/text/OfficeConverter.h"
#include "support/TestSettings.h"
#include "ui/CTessarinDlg.h"
#include "ui/ScriptedPrompts.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <random>
#include <sys/stat.h>

namespace {

int entries(const char* folder)
{
    return int(QDir(QString::fromLatin1(folder)).count());
}

long residentKb()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLong() * 4 : 0;
}

int seconds()
{
    const int configured = qEnvironmentVariableIntValue("TESSARIN_SOAK_SECONDS");
    return configured > 0 ? configured : 60;
}

} // namespace

TEST(Soak, RandomOperationsWhilePlayingLeaveNothingBehind)
{
    TestSettings::clear();
    QTemporaryDir dir;
    const auto write = [&dir](const char* name, const QByteArray& bytes) {
        const QString path = dir.filePath(QString::fromLatin1(name));
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(bytes);
        return path;
    };
    QImage picture(64, 32, QImage::Format_RGB32);
    picture.fill(Qt::red);
    picture.save(dir.filePath("p.png"));
    const QString png = dir.filePath("p.png");
    QFile::copy(png, dir.filePath("p.bmp"));
    const QString pipe = dir.filePath("pipe.txt");
    ::mkfifo(QFile::encodeName(pipe).constData(), 0600);
    OfficeConverter::setProgram(QStringLiteral("/nonexistent/soffice"));
    const QStringList files{
        write("a.txt", "soak line one\nsoak line two\n" + QByteArray(3000, 'x')),
        write("b.rtf", "{\\rtf1 {\\b rich} text\\par second}"),
        dir.filePath("p.bmp"),
        write("g.gif", "GIF89a"),
        dir.filePath("missing.rtf"),
        write("letter.doc", "no converter"),
        pipe};
    // As the program does: messages go to the control window's status line, queued.
    int messages = 0;
    Notifications::setSink(
        [](const QString& text) { Notifications::Relay::instance().publish(text); });
    QObject::connect(&Notifications::Relay::instance(), &Notifications::Relay::posted,
                     [&messages] { ++messages; });

    RecentFileList recent;
    ScriptedPrompts prompts;
    CTessarinDlg window(recent, &prompts);
    FastForwardClock fast;
    CAct& area = *window.area();
    area.setClock(fast);
    prompts.addFiles = files;
    window.onAddFile();
    auto block = std::make_unique<CMyText>();
    block->content = QStringLiteral("{\\rtf1 overlay}");
    block->textEffect = 2;
    static_cast<CPropImage*>(area.item(2))->texts.push_back(std::move(block));

    std::mt19937 random(2026);
    QElapsedTimer timer;
    timer.start();
    long warmKb = 0;
    int warmDescriptors = 0, warmThreads = 0, warmWindows = 0;
    int operations = 0;
    while (timer.elapsed() < seconds() * 1000) {
        switch (random() % 6) {
        case 0:
            window.onPlay();
            break;
        case 1:
            window.onPause();
            break;
        case 2:
            window.onStop();
            break;
        case 3: {
            const int index = static_cast<int>(random() % area.itemCount());
            area.Stop();
            area.preview(area.item(index)); // a page's preview
            break;
        }
        case 4:
            if (area.itemCount() < 40) {
                prompts.addFiles = QStringList{files[random() % files.size()]};
                window.onAddFile();
            }
            break;
        default:
            break;
        }
        QApplication::processEvents(QEventLoop::AllEvents, 5);
        ++operations;
        if (warmKb == 0 && timer.elapsed() > seconds() * 200) {
            // After a fifth of the time: caches and pools are warm.
            warmKb = residentKb();
            warmDescriptors = entries("/proc/self/fd");
            warmThreads = entries("/proc/self/task");
            warmWindows = int(QApplication::topLevelWidgets().size());
        }
    }
    window.onStop();
    area.Stop();
    QApplication::processEvents();
    EXPECT_FALSE(area.hasPlayThread());
    // The read threads of stopped reads are gone by now; a few may still be on their way out.
    EXPECT_LE(entries("/proc/self/fd"), warmDescriptors + 4);
    EXPECT_LE(entries("/proc/self/task"), warmThreads + 4);
    EXPECT_EQ(int(QApplication::topLevelWidgets().size()), warmWindows);
    // The missing file, the document and the pipe: each told once, not once a pass.
    EXPECT_GE(messages, 1);
    EXPECT_LE(messages, 6);
    Notifications::setSink({});
    OfficeConverter::setProgram(QStringLiteral("soffice"));
    EXPECT_FALSE(area.isPlaying());
    EXPECT_GT(operations, 100);
    const long endKb = residentKb();
#ifndef __SANITIZE_ADDRESS__
    EXPECT_LT(endKb - warmKb, 64 * 1024)
        << "resident memory grew from " << warmKb << " kB to " << endKb << " kB";
#else
    // AddressSanitizer holds freed memory in quarantine, so resident memory says nothing there;
    // its leak check at exit speaks instead.
    Q_UNUSED(endKb);
#endif

    const QString path = dir.filePath("soak.zpm");
    ASSERT_TRUE(area.SaveProject(path));
    CAct reloaded;
    ASSERT_TRUE(reloaded.LoadProject(path));
    EXPECT_EQ(projectToBytes(reloaded), projectToBytes(area));
    QFile saved(path);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved.readAll(), projectToBytes(reloaded));
}
