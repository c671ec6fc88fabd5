#include "Notifications.h"
#include "BaseLog.h"

#include <QDebug>
#include <QHash>

#include <mutex>

namespace Notifications {
namespace {

std::mutex g_mutex;
Sink g_sink;
QHash<QString, QString> g_told; // key -> the text last told for it

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

Relay& Relay::instance()
{
    static Relay relay;
    return relay;
}

} // namespace Notifications
