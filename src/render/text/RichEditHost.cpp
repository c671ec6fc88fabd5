#include "RichEditHost.h"

RichEditHost& RichEditHost::shared()
{
    static RichEditHost host;
    return host;
}

int RichEditHost::nextControlId()
{
    std::lock_guard lock(m_mutex);
    if (++m_counter > kLastId)
        m_counter = kFirstId;
    return m_counter;
}

std::mutex& RichEditHost::rendererLock(int rendererId)
{
    std::lock_guard lock(m_mutex);
    std::unique_ptr<std::mutex>& slot = m_locks[rendererId];
    if (!slot)
        slot = std::make_unique<std::mutex>();
    return *slot;
}
