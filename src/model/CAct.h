#pragma once

#include "AreaSettings.h"
#include "AreaZones.h"
#include "CMyText.h"
#include "CPropBase.h"
#include "Event.h"
#include "FieldVisitor.h"
#include "ItemKinds.h"
#include "PlayLoop.h"
#include "PlayObserver.h"
#include "SectionRecord.h"
#include "SyncGate.h"
#include "WaitClock.h"
#include "canvas/SectionLayout.h"

#include <QDateTime>
#include <QRect>
#include <QString>
#include <QStringList>

#include <atomic>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <vector>

class SectionHost;

// The area: one LED picture cut into sections, and the playlist played into it. There is one in
// the running program. It knows no settings store: the program reads and writes the area's
// place on the desktop (see the controller's geometry store).
//
// Threads: everything here is for the GUI thread unless it says otherwise. The play thread reads
// the playlist and the sections under their locks and the playback state through atomics; it
// changes that state only through the play loop.
class CAct
{
public:
    static constexpr int kDefaultWidth = AreaSettings::kDefaultWidth;
    static constexpr int kDefaultHeight = AreaSettings::kDefaultHeight;
    static constexpr int kDefaultFrameColor = AreaSettings::kDefaultFrameColor;

    CAct();
    CAct(const CAct&) = delete;
    CAct& operator=(const CAct&) = delete;
    ~CAct();

    // --- project file ---------------------------------------------------------------------
    // Saves the project; on failure the file that was there is left as it was and errorText
    // (if given) holds the message for the user.
    bool SaveProject(const QString& path, QString* errorText = nullptr);
    // Loads a project. A file that cannot be opened leaves the area as it was; a file that
    // fails while it is read leaves the area with no items and no sections.
    bool LoadProject(const QString& path, QString* errorText = nullptr);

    // Whether the file is a project before it is read: a regular file of at most
    // kMaxProjectFileBytes that begins as every project this program writes begins (see
    // FileSniff::isProjectHeader). A file of zeros is no project, nor is one the size of a film.
    static constexpr qint64 kMaxProjectFileBytes = 64 * 1024 * 1024;
    static bool checkProjectFile(const QString& path, QString* why = nullptr);
    // After it is read: false (and why) for an area without sections, which nothing can show.
    bool checkProjectShape(const QString& path, QString* why = nullptr) const;

    // Every file the items name (their files, background pictures and any other path field), in
    // playlist order, empty names left out.
    QStringList namedFiles() const;

    // The ten stored settings, in their stored order.
    void SerializeSettings(FieldVisitor& v);
    // Takes over the other area's stored settings, caption, items and sections; neither plays.
    void takeProject(CAct& other);

    // --- playlist -------------------------------------------------------------------------
    // The play thread reads the list while the GUI thread may add or move items: every change
    // and every read the thread makes goes through the list lock, so no half-changed list is
    // ever seen. Deleting items needs an area whose play thread has ended (the player may hold a
    // pointer): asserted.

    // Appends an item of the kind the file name asks for; its index, or -1 when no kind plays it.
    int AddFile(const QString& path);
    // A new item of the kind the file name asks for, with the file's path; null when none plays
    // it.
    static std::unique_ptr<CPropBase> makeItemForFile(const QString& path);
    int itemCount() const;
    CPropBase* item(int index) const; // null when out of range
    void appendItem(std::unique_ptr<CPropBase> item);
    void insertItem(int index, std::unique_ptr<CPropBase> item);
    std::unique_ptr<CPropBase> takeItem(int index);
    // Moves item `from` to position `to` in one step; the current index follows the item.
    bool moveItem(int from, int to);
    // Deletes every item, last to first.
    void ClearItems();

    // --- sections -------------------------------------------------------------------------
    // The host that makes the section windows; not owned, must outlive the area's sections.
    void setSectionHost(SectionHost* host) { m_sectionHost = host; }
    SectionHost* sectionHost() const { return m_sectionHost; }
    // Appends a section and makes its (hidden) window, titled "[显示段N]".
    SectionRecord* AddSection(int index, int length, int pos);
    // Makes the windows of sections that came from a project file, titled "[LedN]".
    void CreateSectionWindows();
    // Destroys every section, last to first.
    void ClearSections();
    // Copies the area's settings into every section, places and shows its window.
    void LayoutSections();
    // The desktop rectangle of section k's window, and of all of them: what the LED reads.
    QRect SectionWindowRect(int k) const;
    QRect DesktopRect() const;
    void ShowSections(bool show);
    // Fills every section's picture with black, as when nothing plays; only once the play
    // thread has ended, or it draws over it.
    void BlankSections();
    // Whether the first section's window is visible; false without sections.
    bool SectionsVisible() const;
    // The size of the whole picture, from the render children (origin 0,0).
    QRect TotalRect() const;
    // The picture this area's players draw (the size of its zone, origin 0,0), under the
    // sections' lock, for a player about to draw: empty when there are no sections or they are
    // being divided again (nothing to draw into).
    QRect pictureRect() const;
    // With the sections' lock held: where that picture lies in the whole one (the zone's
    // rectangle, cut to the sections; the whole picture without zones).
    QRect zoneRectLocked() const;
    // With the sections' lock held: `visit(section, band)` for every section in order, `band`
    // being its part of the whole picture.
    template <class Visit>
    void forEachBand(Visit&& visit) const
    {
        const bool stacked = SectionLayout::splitsHeight(settings().splitMode);
        int offset = 0;
        for (const auto& section : sections()) {
            const QSize size = section->renderChild->clientSize();
            visit(*section,
                  stacked ? QRect(QPoint(0, offset), size) : QRect(QPoint(offset, 0), size));
            offset += stacked ? size.height() : size.width();
        }
    }
    // Held shared by the play thread while it draws into sections and exclusively by the GUI
    // thread while it adds or removes them, so the list never changes under a drawing unit.
    std::shared_mutex& sectionsMutex() const
    {
        return m_zoneParent ? m_zoneParent->m_sectionsMutex : m_sectionsMutex;
    }

    // --- playback -------------------------------------------------------------------------
    // With zones, each acts on every zone's play thread.
    void Play();
    void Pause();
    void Stop();
    bool StopWithin(std::chrono::milliseconds timeout);
    // Ends only this area's own zone (not the zones a parent area holds), as StopWithin does.
    bool StopZoneWithin(std::chrono::milliseconds timeout) { return m_loop.StopWithin(timeout); }
    // A stop that did not wait for the thread's end, whose thread still runs.
    bool stopPending() const;
    // Makes item `index` current and plays on from it; the other zones play on, or start where
    // they stood.
    void playFrom(int index);
    // Nothing playing: every zone starts at its first item, the zone of item `index` (when
    // there is one) at that item.
    void playAllFrom(int index);
    // Plays the item once and then idles (a page's preview); the current index stays.
    void preview(CPropBase* item) { m_loop.SetCurrent(item, true); }
    // Makes item `index` current without playing it (the render tool plays items one by one);
    // only while stopped.
    void setCurrent(int index);
    bool hasPlayThread() const;
    // Whether the play thread makes progress (for the watchdog): not stuck in one drawing unit,
    // nor in a wait, more than `grace` past its deadline.
    bool playProgressing(std::chrono::nanoseconds grace) const;

    // Any thread: the playback state as the play thread last left it.
    bool isPlaying() const { return m_isPlaying.load(); }
    bool isPaused() const { return m_isPaused.load(); }
    int currentIndex() const { return m_currentIndex.load(); }
    CPropBase* currentItem() const { return m_currentItem.load(); }
    bool keepsCurrentOnce() const { return m_keepCurrentOnce.load(); }

    // On the play thread: waits `ms` milliseconds on the stop event; true when stopped.
    bool WaitStop(int ms);
    // On the play thread: waits until the deadline, which a pause moves on; true when stopped.
    bool WaitStopUntil(WaitClock::TimePoint& deadline) { return m_loop.waitStopUntil(deadline); }
    // On the play thread, before each drawing unit: blocks while paused; true when stopped.
    bool PassPauseGate() { return m_loop.passGate(); }
    // Any thread: whether the play thread was told to stop; players poll it in long reads.
    bool stopRequested() const { return m_stopEvent.isSet(); }
    // The stop event itself, for waits on several events (and tests that stop a player).
    Event& stopSignal() { return m_stopEvent; }
    WaitClock& clock() const { return m_hub.clock(); }
    // Who hears of every picture shown (the controller, the render tool); not owned. Set before
    // playback starts and cleared only once the play thread has ended, so the play thread never
    // calls a freed observer.
    void setPlayObserver(PlayObserver* observer);
    void reportShown(const CPropBase& item, const QJsonObject& details)
    {
        if (PlayObserver* observer = m_observer.load(std::memory_order_acquire))
            observer->pictureShown(item, details);
    }
    void reportPosition(const CPropBase& item, qint64 ptsUs)
    {
        if (PlayObserver* observer = m_observer.load(std::memory_order_acquire))
            observer->positionShown(item, ptsUs);
    }
    void reportSkipped(const CPropBase& item, int index, const char* reason)
    {
        if (PlayObserver* observer = m_observer.load(std::memory_order_acquire))
            observer->itemSkipped(item, index, reason);
    }
    // Tests put a virtual clock here; it must outlive the area.
    void setClock(WaitClock& clock);
    // The sync group's gate every entry passes (null: the wall plays alone); not owned. Set and
    // cleared only while no play thread runs, as the observer.
    void setSyncGate(SyncGate* gate);
    // On the play thread, before a page, picture or pass enters with `effect`: `at` is when it
    // starts (now without a group), `effect` the one to show. True when the item is to end (a
    // stop, or the group plays another item, which then follows).
    bool enterStep(int& effect, WaitClock::TimePoint& at);

    // The wall clock that live text shows: the system's, or one that starts at `start` now and
    // runs with the area's clock (the render tool's --clock; virtual under --fast).
    void setWallClockStart(const QDateTime& start);
    QDateTime wallTime() const;
    // How often the display shows a new picture, in millihertz (60 Hz unless the screen says).
    void setRefreshMilliHz(int milliHz);
    int refreshMilliHz() const { return m_refreshMilliHz.load(); }

    // --- zones ----------------------------------------------------------------------------
    // Any thread. The zones of the LED picture; empty for an area without them (one zone over
    // the whole LED, which is how every project without zones plays).
    std::vector<AreaZone> zones() const;
    // GUI thread, nothing playing. Takes zones that AreaZones::check allows on this LED; one
    // zone over the whole LED is kept as none. False (and why), changing nothing, otherwise.
    bool setZones(std::vector<AreaZone> zones, QString* why = nullptr);
    // Reading a project: the zones the first item's settings hold, taken into the area (and
    // out of the item: the area writes them back into whichever item is first when it is
    // saved). Zones that do not fit the LED are left where they are and not used.
    void takeStoredZones();
    // The zone this area plays: 0 for the area itself, which plays the first zone.
    int zoneIndex() const { return m_zoneIndex; }
    // The areas that play the other zones beside this one, made by setZones: each shares this
    // area's sections, settings, items, clock and observer, and plays the items of its zone.
    // Empty without zones.
    const std::vector<std::unique_ptr<CAct>>& zoneAreas() const { return m_zoneAreas; }
    // On a play thread: the zone it plays (0 elsewhere), for observers that keep a zone's state.
    static int playThreadZone();
    // How many zones play: 1 without zones.
    int zoneCount() const { return m_zones.empty() ? 1 : int(m_zones.size()); }
    // The area that plays zone `zone` (0: this one); this one for a zone out of range.
    CAct& zoneArea(int zone);
    const CAct& zoneArea(int zone) const;
    // The area that plays the item: this one, or the area of the item's zone.
    CAct& areaFor(const CPropBase& item);
    // GUI thread, no play thread: the area's background over the whole LED (what the parts no
    // zone covers show).
    void fillBackground();
    // Any thread: whether the item plays in this area's zone (its "zone" setting).
    bool playsItem(const CPropBase& item) const;

    // --- stored settings ------------------------------------------------------------------
    // GUI thread. The play thread reads them under the sections' lock (a player that draws) or
    // through the accessors below.
    const AreaSettings& settings() const
    {
        return m_zoneParent ? m_zoneParent->m_settings : m_settings;
    }
    // Takes the settings whole, under the sections' lock; the windows follow at the next
    // LayoutSections().
    void setSettings(const AreaSettings& settings);
    template <class Change>
    void changeSettings(Change&& change)
    {
        AreaSettings changed = m_settings;
        change(changed);
        setSettings(changed);
    }
    // Any thread.
    bool manualPlay() const;

    // The area's own text block (stored with the project; nothing shows it).
    CMyText& caption() { return *m_caption; }
    const CMyText& caption() const { return *m_caption; }

    // The sections, in section order. Changed only on the GUI thread, under sectionsMutex();
    // the play thread reads them under the same lock, shared.
    const std::vector<std::unique_ptr<SectionRecord>>& sections() const
    {
        return m_zoneParent ? m_zoneParent->m_sections : m_sections;
    }
    // A section record read from a project file (or made by a test), without a window yet.
    void adoptSection(std::unique_ptr<SectionRecord> section);
    // Section k's length along the stacking axis and its offset across it; false without it.
    bool setSectionPlace(int k, int length, int pos);

private:
    friend class PlayLoop;
    // An area that plays zone `zoneIndex` of `parent`.
    CAct(CAct& parent, int zoneIndex);
    QString sectionTitle(const char* format, int index) const;
    // The play thread names its zone once it starts.
    static void setPlayThreadZone(int zone);
    // The area whose items these are: the parent of a zone's area, else this one.
    CAct& itemsOwner() { return m_zoneParent ? *m_zoneParent : *this; }
    const CAct& itemsOwner() const { return m_zoneParent ? *m_zoneParent : *this; }
    void makeZoneAreas();
    // This area and the areas of its other zones.
    std::vector<CAct*> zonesAndThis();
    // `visit(loop)` for this area's play loop and each zone's.
    template <class Visit>
    void forEachLoop(Visit&& visit) const
    {
        visit(m_loop);
        for (const auto& zone : m_zoneAreas)
            visit(zone->m_loop);
    }
    template <class Visit>
    void forEachLoop(Visit&& visit)
    {
        visit(m_loop);
        for (const auto& zone : m_zoneAreas)
            visit(zone->m_loop);
    }

    CAct* m_zoneParent = nullptr;
    int m_zoneIndex = 0;

    EventHub m_hub{SteadyWaitClock::instance()};
    Event m_quitEvent{m_hub, Event::Reset::Manual};
    Event m_stopEvent{m_hub, Event::Reset::Manual};
    Event m_playEvent{m_hub, Event::Reset::Manual};
    Event m_threadEndedEvent{m_hub, Event::Reset::Auto};
    std::atomic<CPropBase*> m_currentItem{nullptr};
    std::atomic<int> m_currentIndex{0};
    std::atomic<bool> m_isPlaying{false};
    std::atomic<bool> m_isPaused{false};
    std::atomic<bool> m_keepCurrentOnce{false};

    AreaSettings m_settings;
    // The play thread's copy of manual play, read without the sections' lock.
    std::atomic<int> m_manualPlay{0};
    std::unique_ptr<CMyText> m_caption; // never null
    std::vector<AreaZone> m_zones;      // under the sections' lock
    std::vector<std::unique_ptr<SectionRecord>> m_sections;
    SectionHost* m_sectionHost = nullptr;
    std::atomic<PlayObserver*> m_observer{nullptr};
    std::atomic<SyncGate*> m_syncGate{nullptr};
    // The play thread's count of entries since its item began, and the item the group asked
    // for in its place (-1: none).
    int m_stepInItem = 0;
    std::atomic<int> m_syncNext{-1};
    mutable std::mutex m_wallMutex;
    QDateTime m_wallStart; // invalid: the system's clock
    WaitClock::TimePoint m_wallStartAt{};
    std::atomic<int> m_refreshMilliHz{60000};
    mutable std::shared_mutex m_sectionsMutex;
    mutable std::mutex m_itemsMutex;
    std::vector<std::unique_ptr<CPropBase>> m_items;
    // After the items: a zone's play thread uses them.
    std::vector<std::unique_ptr<CAct>> m_zoneAreas;
    // Last: the play thread ends before anything it uses goes.
    PlayLoop m_loop{*this};
};
