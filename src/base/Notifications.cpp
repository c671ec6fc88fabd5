#include "Notifications.h"
#include "BaseLog.h"
#include "StringTable.h"

#include <QDebug>
#include <QDir>
#include <QHash>
#include <QSet>

#include <mutex>

namespace Notifications {
namespace {

std::mutex g_mutex;
Sink g_sink;
QHash<QString, QString> g_told; // key -> the text last told for it
QSet<QString> g_missing;        // the paths last told missing

QString missingKey(const QString& path)
{
    return QStringLiteral("missing:") + path;
}

} // namespace

void setSink(Sink sink)
{
    std::lock_guard lock(g_mutex);
    g_sink = std::move(sink);
}

void post(const QString& text)
{
    Sink sink;
    {
        std::lock_guard lock(g_mutex);
        sink = g_sink;
    }
    if (sink)
        sink(text);
    else
        qCWarning(lcBase).noquote() << text;
}

void postOnce(const QString& key, const QString& text)
{
    {
        std::lock_guard lock(g_mutex);
        auto it = g_told.find(key);
        if (it != g_told.end() && *it == text)
            return;
        // A wall that runs for months meets many files: forget the oldest at some point.
        if (g_told.size() > 4096)
            g_told.clear();
        g_told.insert(key, text);
    }
    post(text);
}

void clear(const QString& key)
{
    std::lock_guard lock(g_mutex);
    g_told.remove(key);
}

void withdraw(const QString& key)
{
    QString text;
    {
        std::lock_guard lock(g_mutex);
        const auto it = g_told.constFind(key);
        if (it == g_told.cend())
            return;
        text = *it;
    }
    emit Relay::instance().withdrawn(text);
}

QString missingText(const QString& path)
{
    return dialogText("File not found: %1", "找不到文件：%1").arg(QDir::toNativeSeparators(path));
}

void fileMissing(const QString& path)
{
    bool changed = false;
    {
        std::lock_guard lock(g_mutex);
        if (g_missing.size() > 4096)
            g_missing.clear();
        changed = !g_missing.contains(path);
        g_missing.insert(path);
    }
    postOnce(missingKey(path), missingText(path));
    if (changed)
        emit Relay::instance().fileMissingChanged(path, true);
}

void fileFound(const QString& path)
{
    bool changed = false;
    {
        std::lock_guard lock(g_mutex);
        changed = g_missing.remove(path);
        if (changed)
            g_told.remove(missingKey(path));
    }
    if (changed)
        emit Relay::instance().fileMissingChanged(path, false);
}

bool isMissing(const QString& path)
{
    std::lock_guard lock(g_mutex);
    return g_missing.contains(path);
}

Relay& Relay::instance()
{
    static Relay relay;
    return relay;
}

} // namespace Notifications
