#include "LoginGuard.h"

bool LoginGuard::isBlocked(const QString& address, qint64 nowMs) const
{
    const auto entry = m_entries.constFind(address);
    return entry != m_entries.constEnd() && nowMs < entry->blockedUntilMs;
}

void LoginGuard::failed(const QString& address, qint64 nowMs)
{
    if (!m_entries.contains(address))
        makeRoom(nowMs);
    Entry& entry = m_entries[address];
    entry.times[entry.count % kFailuresBeforeBlock] = nowMs;
    ++entry.count;
    entry.lastMs = nowMs;
    // The oldest of the last ten, still within the window: ten in a minute.
    const qint64 tenthLast = entry.times[entry.count % kFailuresBeforeBlock];
    if (entry.count >= kFailuresBeforeBlock && nowMs - tenthLast < kWindowMs) {
        entry.blockedUntilMs = nowMs + kBlockMs;
        entry.count = 0;
    }
}

void LoginGuard::makeRoom(qint64 nowMs)
{
    if (m_entries.size() < kMostAddresses)
        return;
    for (auto it = m_entries.begin(); it != m_entries.end();) {
        if (nowMs - it->lastMs > kWindowMs && nowMs >= it->blockedUntilMs)
            it = m_entries.erase(it);
        else
            ++it;
    }
    if (m_entries.size() < kMostAddresses)
        return;
    auto oldest = m_entries.begin();
    for (auto it = m_entries.begin(); it != m_entries.end(); ++it)
        if (it->lastMs < oldest->lastMs)
            oldest = it;
    m_entries.erase(oldest);
}
