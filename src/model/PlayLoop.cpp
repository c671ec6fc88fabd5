#include "PlayLoop.h"
#include "ModelLog.h"

#include "CAct.h"
#include "PlayRandom.h"
#include "Schedule.h"
#include "base/ColorRef.h"
#include "base/ThreadPriority.h"
#include "canvas/BackBuffer.h"

#include <atomic>
#include <ctime>
#include <shared_mutex>

using namespace std::chrono_literals;

namespace {

// Only the very first item after a thread start waits this long.
constexpr auto kFirstItemDelay = 20ms;
// An item that returns without taking time (GIF and Word items) is followed by this wait, so
// that a playlist of such items does not spin a core.
constexpr auto kInstantItem = 5ms;
constexpr auto kInstantItemRest = 20ms;

} // namespace

void PlayLoop::setGate(bool closed)
{
    {
        std::lock_guard lock(m_area.m_hub.mutex);
        m_gateClosed = closed;
    }
    m_area.m_hub.changed.notify_all();
}

void PlayLoop::Play()
{
    if (m_area.m_isPaused.load()) {
        setGate(false);
        m_area.m_isPaused.store(false);
        return;
    }
    // A thread still ending from a stop that did not wait for it: wait for it now.
    if (m_stopPending)
        Stop();
    m_area.m_quitEvent.reset();
    if (!m_thread.joinable())
        m_thread = std::thread(&PlayLoop::threadProc, this);
    m_area.m_isPlaying.store(true);
    m_area.m_playEvent.set();
}

void PlayLoop::Pause()
{
    if (!m_thread.joinable())
        return;
    setGate(true);
    m_area.m_isPaused.store(true);
}

void PlayLoop::signalStop()
{
    if (m_area.m_isPaused.load()) {
        setGate(false);
        m_area.m_isPaused.store(false);
    }
    m_area.m_isPlaying.store(false);
    m_area.m_keepCurrentOnce.store(false);
    m_area.m_stopEvent.set();
    m_area.m_quitEvent.set();
}

void PlayLoop::finishStop()
{
    m_stopPending = false;
    m_thread.join();
    m_area.m_stopEvent.reset();
    m_area.m_quitEvent.reset();
    m_area.m_playEvent.reset();
    m_area.m_threadEndedEvent.reset();
}

void PlayLoop::Stop()
{
    if (!m_thread.joinable() || m_thread.get_id() == std::this_thread::get_id())
        return;
    if (!m_stopPending)
        signalStop();
    m_area.m_threadEndedEvent.wait();
    finishStop();
}

bool PlayLoop::StopWithin(std::chrono::milliseconds timeout)
{
    if (!m_thread.joinable() || m_thread.get_id() == std::this_thread::get_id())
        return true;
    if (!m_stopPending)
        signalStop();
    if (!m_area.m_threadEndedEvent.waitFor(timeout)) {
        m_stopPending = true; // told to end; the thread ends by itself
        return false;
    }
    finishStop();
    return true;
}

void PlayLoop::SetCurrent(CPropBase* item, bool keep)
{
    m_area.m_currentItem.store(item);
    m_area.m_keepCurrentOnce.store(keep);
    Play();
}

namespace {

qint64 nanoseconds(WaitClock::TimePoint t)
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch()).count();
}

} // namespace

void PlayLoop::markBusy()
{
    m_busySinceNs.store(nanoseconds(m_area.m_hub.clock().now()));
    m_waitingUntilNs.store(0);
}

bool PlayLoop::progressing(std::chrono::nanoseconds grace) const
{
    if (!m_thread.joinable())
        return true;
    const qint64 now = nanoseconds(m_area.m_hub.clock().now());
    const qint64 waitingUntil = m_waitingUntilNs.load();
    if (waitingUntil == kForever)
        return true;
    if (waitingUntil != 0)
        return now < waitingUntil + grace.count();
    return now < m_busySinceNs.load() + grace.count();
}

bool PlayLoop::waitStopUntil(WaitClock::TimePoint& deadline)
{
    EventHub& hub = m_area.m_hub;
    std::unique_lock lock(hub.mutex);
    struct Busy
    {
        PlayLoop& loop;
        ~Busy() { loop.markBusy(); }
    } busy{*this};
    for (;;) {
        markWaiting(nanoseconds(deadline));
        if (m_area.m_stopEvent.isSetLocked())
            return true;
        if (m_gateClosed) {
            markWaiting(kForever); // paused: waiting to be let go
            const WaitClock::TimePoint pausedAt = hub.clock().now();
            hub.changed.wait(lock,
                             [&] { return !m_gateClosed || m_area.m_stopEvent.isSetLocked(); });
            deadline += hub.clock().now() - pausedAt;
            continue;
        }
        if (hub.clock().now() >= deadline)
            return false;
        hub.clock().waitUntil(hub.changed, lock, deadline);
    }
}

bool PlayLoop::passGate()
{
    EventHub& hub = m_area.m_hub;
    std::unique_lock lock(hub.mutex);
    if (m_gateClosed)
        markWaiting(kForever); // paused: waiting to be let go
    hub.changed.wait(lock, [&] { return !m_gateClosed || m_area.m_stopEvent.isSetLocked(); });
    markBusy();
    return m_area.m_stopEvent.isSetLocked();
}

void PlayLoop::threadProc()
{
    PlayRandom::seed(static_cast<unsigned int>(std::time(nullptr)));
    CAct::setPlayThreadZone(m_area.m_zoneIndex);
    // Steps keep their deadlines beside busy processes: real-time where the system allows.
    ThreadPriority::raiseForPlayback();
    bool first = true;
    for (;;) {
        markWaiting(kForever); // idle until told to play
        const int signalled =
            waitAny({&m_area.m_quitEvent, &m_area.m_stopEvent, &m_area.m_playEvent});
        markBusy();
        if (signalled == 0)
            break;
        if (signalled == 1) {
            m_area.m_stopEvent.reset();
            continue;
        }
        m_area.m_playEvent.reset();
        if (first) {
            first = false;
            WaitClock::TimePoint deadline = m_area.m_hub.clock().now() + kFirstItemDelay;
            waitStopUntil(deadline);
        }
        PlayCurrent();
    }
    m_area.m_quitEvent.reset();
    m_area.m_stopEvent.reset();
    m_area.m_playEvent.reset();
    m_area.m_threadEndedEvent.set();
}

bool PlayLoop::passOver(const CPropBase& item)
{
    const QDateTime now = m_area.wallTime();
    if (Schedule::of(item).allows(now))
        return false;
    m_area.reportSkipped(item, m_area.m_currentIndex.load(), "schedule");
    // Another item may play now: on to it. None may (or manual play stays here): the area shows
    // its background and looks again at the turn of the minute, never spinning.
    bool another = !m_area.manualPlay();
    if (another) {
        another = false;
        // Under the list's lock: with zones, an item of another zone may be removed meanwhile.
        const CAct& owner = m_area.itemsOwner();
        std::lock_guard lock(owner.m_itemsMutex);
        for (const auto& other : owner.m_items) {
            if (other.get() != &item && m_area.playsItem(*other) &&
                Schedule::of(*other).allows(now)) {
                another = true;
                break;
            }
        }
    }
    if (!another) {
        showBackground();
        const int toNextMinuteMs = 60000 - (now.time().second() * 1000 + now.time().msec());
        WaitClock::TimePoint deadline =
            m_area.m_hub.clock().now() + std::chrono::milliseconds(toNextMinuteMs);
        waitStopUntil(deadline);
    }
    return true;
}

void PlayLoop::showBackground()
{
    if (passGate())
        return;
    std::shared_lock sections(m_area.sectionsMutex());
    // The zone's part of each section (all of it without zones).
    const QRect zone = m_area.zoneRectLocked();
    m_area.forEachBand([&](SectionRecord& section, const QRect& band) {
        BackBuffer& child = *section.renderChild;
        const QRect part = (band & zone).translated(-band.topLeft());
        if (part.isEmpty())
            return;
        std::lock_guard lock(child.sectionMutex);
        if (QImage* buffer = child.GetBackBuffer()) {
            const QRgb back = colorRefToRgb(m_area.settings().backColor);
            const QRect inBuffer = part & buffer->rect();
            for (int y = inBuffer.top(); y <= inBuffer.bottom(); ++y) {
                auto* line = reinterpret_cast<QRgb*>(buffer->scanLine(y));
                std::fill(line + inBuffer.left(), line + inBuffer.right() + 1, back);
            }
            child.Present(FrameStamp{}, part);
        }
    });
}

void PlayLoop::PlayCurrent()
{
    CPropBase* current = m_area.m_currentItem.load();
    // An item of another zone (chosen before the zones were) is that zone's to play.
    if (current && !m_area.playsItem(*current)) {
        Advance();
        return;
    }
    if (current && passOver(*current)) {
        Advance();
        return;
    }
    if (CPropBase* item = current) {
        WaitClock& clock = m_area.m_hub.clock();
        const WaitClock::TimePoint started = clock.now();
        qCDebug(lcModel) << "item" << m_area.m_currentIndex.load() << item->className()
                         << item->filePath;
        m_area.m_stepInItem = 0;
        item->Play(m_area);
        if (clock.now() - started < kInstantItem) {
            WaitClock::TimePoint deadline = clock.now() + kInstantItemRest;
            waitStopUntil(deadline);
        }
    }
    Advance();
}

void PlayLoop::Advance()
{
    if (!m_area.m_isPlaying.load())
        return;
    if (m_area.m_keepCurrentOnce.exchange(false))
        return;
    {
        // Under the list's lock: a move on the GUI thread renumbers the current index, and the
        // next one is counted from where the item stands now.
        CAct& owner = m_area.itemsOwner();
        std::lock_guard lock(owner.m_itemsMutex);
        const auto& items = owner.m_items;
        const int count = static_cast<int>(items.size());
        if (count == 0)
            return;
        int index = m_area.m_currentIndex.load();
        // A zone's area that has played nothing yet starts at its zone's first item.
        const bool fresh = m_area.m_zoneParent && !m_area.m_currentItem.load();
        // The sync group's item, when it asked for one, else the next.
        if (const int asked = m_area.m_syncNext.exchange(-1); asked >= 0)
            index = asked;
        else if (!m_area.manualPlay() && !fresh)
            ++index;
        // Also keeps a manual index valid after the list shrank.
        if (index > count - 1 || index < 0)
            index = 0;
        // The next item of this area's zone from there; a zone without items plays nothing.
        int found = -1;
        for (int n = 0; n < count && found < 0; ++n) {
            const int k = (index + n) % count;
            if (m_area.playsItem(*items[static_cast<size_t>(k)]))
                found = k;
        }
        if (found < 0) {
            m_area.m_currentItem.store(nullptr);
            return;
        }
        m_area.m_currentIndex.store(found);
        m_area.m_currentItem.store(items[static_cast<size_t>(found)].get());
    }
    m_area.m_playEvent.set();
}
