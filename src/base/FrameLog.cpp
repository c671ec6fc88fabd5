#include "FrameLog.h"
#include "BaseLog.h"

#include "SettingsStore.h"

#include <QFile>

#include <atomic>
#include <cstdio>
#include <mutex>

namespace {

std::mutex logMutex;
std::FILE* logFile = nullptr;
std::atomic<bool> logOn{false};

} // namespace

bool FrameLog::open(const QString& path)
{
    close();
    std::lock_guard lock(logMutex);
    logFile = std::fopen(QFile::encodeName(path).constData(), "a");
    if (!logFile)
        return false;
    // A line at a time: what a killed or crashed program painted last is in the log.
    std::setvbuf(logFile, nullptr, _IOLBF, 0);
    std::fputs("# paintNs deadlineNs item step section\n", logFile);
    logOn.store(true);
    return true;
}

void FrameLog::openConfigured()
{
    QString path = qEnvironmentVariable("TESSARIN_FRAME_LOG");
    if (path.isEmpty())
        path = SettingsStore::readString(QStringLiteral("Diagnostics"), QStringLiteral("FrameLog"));
    if (!path.isEmpty() && !open(path))
        qCWarning(lcBase, "the frame log %s cannot be written", qPrintable(path));
}

bool FrameLog::enabled()
{
    return logOn.load(std::memory_order_relaxed);
}

void FrameLog::write(qint64 paintNs, qint64 deadlineNs, int item, qint64 step, int section)
{
    std::lock_guard lock(logMutex);
    if (logFile)
        std::fprintf(logFile, "%lld %lld %d %lld %d\n", static_cast<long long>(paintNs),
                     static_cast<long long>(deadlineNs), item, static_cast<long long>(step),
                     section);
}

void FrameLog::close()
{
    std::lock_guard lock(logMutex);
    logOn.store(false);
    if (logFile) {
        std::fclose(logFile);
        logFile = nullptr;
    }
}
