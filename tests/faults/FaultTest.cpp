// Saves walked through every point where the file layer can fail (opening, each write, the flush
// to the disk, the rename and link of the new file, creating it at all), with the fault layer
// loaded before the C library: whatever fails, the old project stays byte for byte, the operator
// reads what went wrong, and nothing is left behind. Also a real full file system where one can
// be mounted, a file too large for memory, and a folder where no new file may be made.
#include "base/RecentFileList.h"
#include "model/CAct.h"
#include "model/CPropText.h"
#include "model/HeadlessSectionHost.h"
#include "ui/CTessarinDlg.h"
#include "ui/ScriptedPrompts.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <cerrno>
#include <dlfcn.h>
#include <unistd.h>

namespace {

const char* const kWriteOps[] = {"open", "write", "fsync", "rename", "link"};
constexpr int kMaxPoints = 200;

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeAll(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

// A project of `items` text items as JSON for tessarin-tool make.
QByteArray projectJson(int items, const QString& name)
{
    QJsonArray list;
    for (int i = 0; i < items; ++i)
        list.append(
            QJsonObject{{"class", "CPropText"},
                        {"filePath", QStringLiteral("/节目/%1/通知-%2.txt").arg(name).arg(i)}});
    return QJsonDocument(QJsonObject{{"area", QJsonObject{{"ledWidth", 480}}},
                                     {"items", list},
                                     {"sections", QJsonArray{QJsonObject{{"sectionLength", 480}}}}})
        .toJson();
}

struct ToolRun
{
    int exitCode = -1;
    QString err;
};

ToolRun tool(const QStringList& args, const QString& fault = {}, const QString& limit = {})
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(TESSARIN_FAULTFS));
    // The sanitizer runtime would insist on coming first.
    env.insert(QStringLiteral("ASAN_OPTIONS"), env.value(QStringLiteral("ASAN_OPTIONS")) +
                                                   QStringLiteral(":verify_asan_link_order=0"));
    if (!fault.isEmpty())
        env.insert(QStringLiteral("TESSARIN_FAULT"), fault);
    process.setProcessEnvironment(env);
    if (limit.isEmpty()) {
        process.start(QStringLiteral(TESSARIN_TOOL), args);
    } else {
        // Under an address-space limit, as a small machine is.
        process.start(QStringLiteral("/bin/sh"),
                      QStringList{QStringLiteral("-c"),
                                  QStringLiteral("ulimit -v %1; exec \"$0\" \"$@\"").arg(limit),
                                  QStringLiteral(TESSARIN_TOOL)} +
                          args);
    }
    EXPECT_TRUE(process.waitForFinished(60000));
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardError())};
}

QStringList entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System);
}

using ArmFunction = void (*)(const char*, int, int);

// The fault layer's arming call when it is loaded in this process, else null.
ArmFunction faultLayer()
{
    return reinterpret_cast<ArmFunction>(dlsym(RTLD_DEFAULT, "tessarin_faultfs_arm"));
}

} // namespace

// Every failure point of tessarin-tool make over an existing project, small and large.
TEST(FaultInjection, MakeKeepsTheOldProjectAtEveryFailurePoint)
{
    QTemporaryDir dir;
    int points = 0;
    for (const int items : {2, 40000}) {
        const QString json = dir.filePath(QStringLiteral("new-%1.json").arg(items));
        writeAll(json, projectJson(items, QStringLiteral("new")));
        writeAll(dir.filePath(QStringLiteral("old.json")), projectJson(3, QStringLiteral("old")));
        const QString target = dir.filePath(QStringLiteral("p.zpm"));
        ASSERT_EQ(tool({"make", dir.filePath("old.json"), target}).exitCode, 0);
        const QByteArray old = readAll(target);
        const QStringList before = entries(dir.path());
        for (const char* op : kWriteOps) {
            for (int n = 1; n < kMaxPoints; ++n) {
                SCOPED_TRACE(
                    QStringLiteral("%1 items, %2 #%3").arg(items).arg(op).arg(n).toStdString());
                const ToolRun run = tool({"make", json, target},
                                         QStringLiteral("%1:%2:%3").arg(op).arg(n).arg(ENOSPC));
                if (run.exitCode == 0) {
                    // Past the last call of this operation: the save went through; back to the old.
                    EXPECT_NE(readAll(target), old);
                    writeAll(target, old);
                    break;
                }
                ++points;
                EXPECT_EQ(run.exitCode, 1);
                EXPECT_TRUE(run.err.contains(QStringLiteral("磁盘已满"))) << run.err.toStdString();
                EXPECT_EQ(readAll(target), old) << "the old project was damaged";
                EXPECT_EQ(entries(dir.path()), before) << "a temporary file was left";
            }
        }
    }
    std::printf("failure points tried by make: %d\n", points);
    EXPECT_GE(points, 8);
}

TEST(FaultInjection, DumpOfAnUnreadableProjectIsAMessage)
{
    QTemporaryDir dir;
    writeAll(dir.filePath("p.json"), projectJson(3, QStringLiteral("p")));
    ASSERT_EQ(tool({"make", dir.filePath("p.json"), dir.filePath("p.zpm")}).exitCode, 0);
    for (int n = 1; n < 50; ++n) {
        const ToolRun run =
            tool({"dump", dir.filePath("p.zpm")}, QStringLiteral("read:%1:%2").arg(n).arg(EIO));
        if (run.exitCode == 0)
            break;
        EXPECT_EQ(run.exitCode, 1) << n;
        EXPECT_FALSE(run.err.isEmpty()) << n;
    }
}

// The control window's Save, in this process, through the same failure points.
TEST(FaultInjection, TheControlWindowsSaveKeepsTheOldProject)
{
    const ArmFunction arm = faultLayer();
    if (!arm)
        GTEST_SKIP() << "the fault layer is not loaded (LD_PRELOAD)";
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("p.zpm"));
    RecentFileList recent;
    ScriptedPrompts prompts;
    auto window = std::make_unique<CTessarinDlg>(recent, &prompts);
    window->area()->AddFile(dir.filePath(QStringLiteral("a.txt")));
    window->onSave();
    ASSERT_TRUE(prompts.errors.isEmpty());
    prompts.savePaths << target;
    window->onSave();
    const QByteArray old = readAll(target);
    ASSERT_FALSE(old.isEmpty());
    window->area()->AddFile(dir.filePath(QStringLiteral("b.txt")));
    int points = 0;
    for (const char* op : kWriteOps) {
        for (int n = 1; n < kMaxPoints; ++n) {
            prompts.errors.clear();
            prompts.answers = {true}; // replace the current project
            arm(op, n, ENOSPC);
            window->onSave();
            arm(nullptr, 0, 0);
            if (prompts.errors.isEmpty()) {
                writeAll(target, old);
                break;
            }
            ++points;
            EXPECT_TRUE(prompts.errors.first().contains(QStringLiteral("磁盘已满")))
                << op << n << prompts.errors.first().toStdString();
            EXPECT_EQ(readAll(target), old) << op << " #" << n;
        }
    }
    std::printf("failure points tried by the control window: %d\n", points);
    EXPECT_GE(points, 4);
}

// Where no new file may be made but the project itself may be written, it is written in place.
TEST(FaultInjection, AFolderThatTakesNoNewFile)
{
    QTemporaryDir dir;
    writeAll(dir.filePath("old.json"), projectJson(3, QStringLiteral("old")));
    writeAll(dir.filePath("new.json"), projectJson(5, QStringLiteral("new")));
    const QString target = dir.filePath(QStringLiteral("p.zpm"));
    ASSERT_EQ(tool({"make", dir.filePath("old.json"), target}).exitCode, 0);
    const ToolRun run = tool({"make", dir.filePath("new.json"), target},
                             QStringLiteral("create:-1:%1").arg(EACCES));
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    ASSERT_EQ(tool({"make", dir.filePath("new.json"), dir.filePath("expected.zpm")}).exitCode, 0);
    EXPECT_EQ(readAll(target), readAll(dir.filePath("expected.zpm")));
    // No file there yet: nothing to write in place, the refusal is told.
    const ToolRun fresh = tool({"make", dir.filePath("new.json"), dir.filePath("fresh.zpm")},
                               QStringLiteral("create:-1:%1").arg(EACCES));
    EXPECT_EQ(fresh.exitCode, 1);
    EXPECT_TRUE(fresh.err.contains(QStringLiteral("拒绝访问"))) << fresh.err.toStdString();
}

TEST(FaultInjection, AFileLargerThanMemoryIsRefused)
{
#ifdef TESSARIN_SANITIZED
    GTEST_SKIP() << "the sanitizers need more address space than the limit leaves";
#else
    QTemporaryDir dir;
    const QString huge = dir.filePath(QStringLiteral("huge.zpm"));
    QFile file(huge);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_TRUE(file.resize(3LL * 1024 * 1024 * 1024)); // sparse: no disk used
    file.close();
    const ToolRun run = tool({"dump", huge}, {}, QStringLiteral("1572864"));
    EXPECT_EQ(run.exitCode, 1) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(QStringLiteral("内存不足。"))) << run.err.toStdString();
#endif
}

// A real full file system: a small tmpfs, where the machine lets us mount one.
TEST(FaultInjection, ARealFullDisk)
{
    QTemporaryDir dir;
    const QString mount = dir.filePath(QStringLiteral("disk"));
    QDir().mkpath(mount);
    if (QProcess::execute(QStringLiteral("mount"),
                          {"-t", "tmpfs", "-o", "size=256k", "tmpfs", mount}) != 0)
        GTEST_SKIP() << "no tmpfs can be mounted here";
    const auto unmount = qScopeGuard([&] { QProcess::execute(QStringLiteral("umount"), {mount}); });
    writeAll(dir.filePath("small.json"), projectJson(2, QStringLiteral("small")));
    writeAll(dir.filePath("large.json"), projectJson(4000, QStringLiteral("large")));
    const QString target = mount + QStringLiteral("/p.zpm");
    ASSERT_EQ(tool({"make", dir.filePath("small.json"), target}).exitCode, 0);
    const QByteArray old = readAll(target);
    // Fill what is left.
    {
        QFile filler(mount + QStringLiteral("/filler"));
        ASSERT_TRUE(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        const QByteArray block(4096, 'x');
        while (filler.write(block) == block.size()) {
        }
    }
    for (const char* json : {"small.json", "large.json"}) {
        const ToolRun run = tool({"make", dir.filePath(QString::fromLatin1(json)), target});
        EXPECT_EQ(run.exitCode, 1) << json;
        EXPECT_TRUE(run.err.contains(QStringLiteral("磁盘已满"))) << json << run.err.toStdString();
        EXPECT_EQ(readAll(target), old) << json;
    }
}

// A save that succeeds clears the copies a kill left behind at earlier saves of that file.
TEST(FaultInjection, StaleCopiesOfOurOwnAreClearedByTheNextSave)
{
    QTemporaryDir dir;
    writeAll(dir.filePath("p.json"), projectJson(3, QStringLiteral("p")));
    writeAll(dir.filePath(".p.zpm.tessarin-Ab12Cd"), "left by a kill");
    writeAll(dir.filePath(".q.zpm.tessarin-Ab12Cd"), "another file's");
    writeAll(dir.filePath("notes.txt"), "the operator's");
    ASSERT_EQ(tool({"make", dir.filePath("p.json"), dir.filePath("p.zpm")}).exitCode, 0);
    EXPECT_EQ(entries(dir.path()),
              (QStringList{".q.zpm.tessarin-Ab12Cd", "notes.txt", "p.json", "p.zpm"}));
}

// A project the operator may not write is "access denied", not a hardware fault; it stays.
TEST(FaultInjection, AReadOnlyTargetIsAccessDenied)
{
    if (::geteuid() != 0 && ::access("/usr/bin/setpriv", X_OK) != 0)
        GTEST_SKIP();
    QTemporaryDir dir;
    QFile::setPermissions(dir.path(), QFile::Permissions(0x7777));
    writeAll(dir.filePath("p.json"), projectJson(3, QStringLiteral("p")));
    const QString target = dir.filePath(QStringLiteral("p.zpm"));
    ASSERT_EQ(tool({"make", dir.filePath("p.json"), target}).exitCode, 0);
    QFile::setPermissions(target, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
    QFile::setPermissions(dir.filePath("p.json"), QFile::Permissions(0x4444));
    const QByteArray old = readAll(target);
    QProcess process;
    QStringList args{QStringLiteral(TESSARIN_TOOL), "make", dir.filePath("p.json"), target};
    if (::geteuid() == 0) // as root every file is writable: as nobody, as an operator is
        args = QStringList{"--reuid=65534", "--regid=65534", "--clear-groups"} + args;
    process.start(::geteuid() == 0 ? QStringLiteral("/usr/bin/setpriv") : args.takeFirst(), args);
    ASSERT_TRUE(process.waitForFinished(30000));
    const QString err = QString::fromUtf8(process.readAllStandardError());
    EXPECT_EQ(process.exitCode(), 1) << err.toStdString();
    EXPECT_TRUE(err.contains(QStringLiteral("拒绝访问"))) << err.toStdString();
    EXPECT_EQ(readAll(target), old);
}

// A read that hangs (a stalled network drive) never holds up the Stop button.
TEST(FaultInjection, StopDoesNotWaitForAReadThatHangs)
{
    const ArmFunction arm = faultLayer();
    if (!arm)
        GTEST_SKIP() << "the fault layer is not loaded (LD_PRELOAD)";
    QTemporaryDir dir;
    const QString text = dir.filePath(QStringLiteral("notice.txt"));
    writeAll(text, "Welcome\n");
    HeadlessSectionHost host; // outlives the area, which removes its windows from it
    CAct area;
    area.setSectionHost(&host);
    area.AddSection(0, 64, 0);
    area.LayoutSections();
    area.AddFile(text);
    arm("stall", -1, 0); // every read hangs
    area.playFrom(0);
    QThread::msleep(100); // the play thread is in the read by now
    QElapsedTimer timer;
    timer.start();
    EXPECT_TRUE(area.StopWithin(std::chrono::milliseconds(200)));
    std::printf("stopped %lld ms after the press, the read still hanging\n",
                static_cast<long long>(timer.elapsed()));
    arm(nullptr, 0, 0);
}
