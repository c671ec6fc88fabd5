#include "Event.h"

void Event::set()
{
    {
        std::lock_guard lock(m_hub.mutex);
        m_set = true;
    }
    m_hub.changed.notify_all();
}

void Event::reset()
{
    std::lock_guard lock(m_hub.mutex);
    m_set = false;
}

bool Event::isSet() const
{
    std::lock_guard lock(m_hub.mutex);
    return m_set;
}

bool Event::takeLocked()
{
    if (!m_set)
        return false;
    if (m_reset == Reset::Auto)
        m_set = false;
    return true;
}

void Event::wait()
{
    std::unique_lock lock(m_hub.mutex);
    m_hub.changed.wait(lock, [this] { return takeLocked(); });
}

bool Event::waitFor(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(m_hub.mutex);
    return m_hub.changed.wait_for(lock, timeout, [this] { return takeLocked(); });
}

int waitAny(std::initializer_list<Event*> events)
{
    EventHub& hub = (*events.begin())->hub();
    std::unique_lock lock(hub.mutex);
    for (;;) {
        int index = 0;
        for (Event* e : events) {
            if (e->takeLocked())
                return index;
            ++index;
        }
        hub.changed.wait(lock);
    }
}
