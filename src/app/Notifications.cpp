#include "Notifications.h"

#include <QDebug>

#include <mutex>

namespace Notifications {
namespace {

std::mutex g_mutex;
Sink g_sink;

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
        qWarning().noquote() << text;
}

} // namespace Notifications
