#pragma once

#include "CActWnd.h"
#include "CMyText.h"
#include "CPropBase.h"
#include "Event.h"
#include "FieldVisitor.h"
#include "ItemKind.h"
#include "PlayLoop.h"
#include "PlayObserver.h"
#include "WaitClock.h"

#include <QDateTime>
#include <QRect>
#include <QString>

#include <atomic>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <vector>

class SectionHost;

// The area: one LED picture cut into sections, and the playlist played into it. There is one in
// the running program. Its geometry comes from the settings store when it is made and goes back
// there when it is destroyed.
class CAct
{
public:
    static constexpr int kDefaultWidth = 480;
    static constexpr int kDefaultHeight = 360;
    static constexpr int kDefaultFrameColor = 0x00FF0000; // blue

    // Whether the area takes its geometry from the settings store and writes it back when it
    // goes. Tools and tests that only read or write project files use a detached area.
    enum class Binding
    {
        SettingsStore,
        Detached,
    };

    explicit CAct(Binding binding = Binding::SettingsStore);
    CAct(const CAct&) = delete;
    CAct& operator=(const CAct&) = delete;
    ~CAct();

    // Writes "PosX", "PosY", "Width", "Hight", "XY" of section "Window", in that order.
    void SaveGeometry() const;

    // --- project file ---------------------------------------------------------------------
    // Saves the project; on failure the file that was there is left as it was and errorText
    // (if given) holds the message for the user.
    bool SaveProject(const QString& path, QString* errorText = nullptr);
    // Loads a project. A file that cannot be opened leaves the area as it was; a file that
    // fails while it is read leaves the area with no items and no sections.
    bool LoadProject(const QString& path, QString* errorText = nullptr);

    // The ten stored settings, in their stored order.
    void SerializeSettings(FieldVisitor& v);
    // Takes over the other area's stored settings, caption, items and sections.
    void takeProject(CAct& other);

    // --- playlist -------------------------------------------------------------------------
    // The play thread reads the list while the GUI thread may add or move items: every change
    // and every read the thread makes goes through the list lock, so no half-changed list is
    // ever seen. Deleting items needs a stopped area (the player may hold a pointer).

    // Appends an item of the kind the file name asks for; its index, or -1 when no kind plays it.
    int AddFile(const QString& path);
    int itemCount() const;
    CPropBase* item(int index) const; // null when out of range
    void appendItem(std::unique_ptr<CPropBase> item);
    void insertItem(int index, std::unique_ptr<CPropBase> item);
    std::unique_ptr<CPropBase> takeItem(int index);
    // Moves item `from` to position `to` in one step.
    bool moveItem(int from, int to);
    // Deletes every item, last to first.
    void ClearItems();

    // The animated-GIF test used by AddFile: the GIF reader's unless a test puts another.
    static void setAnimatedGifTest(AnimatedGifTest test);

    // --- sections -------------------------------------------------------------------------
    // The host that makes the section windows; not owned, must outlive the area's sections.
    void setSectionHost(SectionHost* host) { m_sectionHost = host; }
    SectionHost* sectionHost() const { return m_sectionHost; }
    // Appends a section and makes its (hidden) window, titled "[显示段N]".
    CActWnd* AddSection(int index, int length, int pos);
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
    // Whether the first section's window is visible; false without sections.
    bool SectionsVisible() const;
    // The size of the whole picture, from the render children (origin 0,0).
    QRect TotalRect() const;
    // The same under the sections' lock, for a player about to draw: empty when there are no
    // sections or they are being divided again (nothing to draw into).
    QRect pictureRect() const;
    // Held shared by the play thread while it draws into sections and exclusively by the GUI
    // thread while it adds or removes them, so the list never changes under a drawing unit.
    std::shared_mutex& sectionsMutex() const { return m_sectionsMutex; }

    // --- playback -------------------------------------------------------------------------
    void Play() { m_loop.Play(); }
    void Pause() { m_loop.Pause(); }
    void Stop() { m_loop.Stop(); }
    bool StopWithin(std::chrono::milliseconds timeout) { return m_loop.StopWithin(timeout); }
    // Makes the item current and plays it; with keep, plays it once and then idles (preview).
    void SetCurrent(CPropBase* item, bool keep) { m_loop.SetCurrent(item, keep); }
    bool hasPlayThread() const { return m_loop.hasThread(); }
    // Whether the play thread makes progress (for the watchdog): not stuck in one drawing unit,
    // nor in a wait, more than `grace` past its deadline.
    bool playProgressing(std::chrono::nanoseconds grace) const { return m_loop.progressing(grace); }

    // On the play thread: waits `ms` milliseconds on the stop event; true when stopped.
    bool WaitStop(int ms);
    // On the play thread: waits until the deadline, which a pause moves on; true when stopped.
    bool WaitStopUntil(WaitClock::TimePoint& deadline) { return m_loop.waitStopUntil(deadline); }
    // On the play thread, before each drawing unit: blocks while paused; true when stopped.
    bool PassPauseGate() { return m_loop.passGate(); }
    WaitClock& clock() const { return hub.clock(); }
    // Who hears of every picture shown (the render tool); not owned, may be null.
    void setPlayObserver(PlayObserver* observer) { m_observer = observer; }
    void reportShown(const CPropBase& item, const QJsonObject& details)
    {
        if (m_observer)
            m_observer->pictureShown(item, details);
    }
    void reportSkipped(const CPropBase& item, int index, const char* reason)
    {
        if (m_observer)
            m_observer->itemSkipped(item, index, reason);
    }
    // Tests put a virtual clock here; it must outlive the area.
    void setClock(WaitClock& clock) { hub.setClock(clock); }

    // The wall clock that live text shows: the system's, or one that starts at `start` now and
    // runs with the area's clock (the render tool's --clock; virtual under --fast).
    void setWallClockStart(const QDateTime& start);
    QDateTime wallTime() const;
    // How often the display shows a new picture, in millihertz (60 Hz unless the screen says).
    void setRefreshMilliHz(int milliHz) { m_refreshMilliHz.store(milliHz > 0 ? milliHz : 60000); }
    int refreshMilliHz() const { return m_refreshMilliHz.load(); }

    EventHub hub{SteadyWaitClock::instance()};
    Event quitEvent{hub, Event::Reset::Manual};
    Event stopEvent{hub, Event::Reset::Manual};
    Event playEvent{hub, Event::Reset::Manual};
    Event threadEndedEvent{hub, Event::Reset::Auto};
    std::atomic<CPropBase*> currentItem{nullptr};
    std::atomic<int> currentIndex{0};
    std::atomic<bool> isPlaying{false};
    std::atomic<bool> isPaused{false};
    std::atomic<bool> keepCurrentOnce{false};

    // --- stored settings ------------------------------------------------------------------
    int splitMode = 0; // 0 = split horizontally (rows), 1 = split vertically (columns)
    int reserved1 = 32;
    int frameLines = 0; // 0..3, list 150
    int frameColor = kDefaultFrameColor;
    int posX = 0;
    int posY = 0;
    int ledWidth = kDefaultWidth;
    int ledHeight = kDefaultHeight;
    int backColor = 0;
    int manualPlay = 0;
    // Settings store only: the start offset of the first section along the stacking axis.
    int firstOffset = 0;

    // The area's own text block; never null.
    std::unique_ptr<CMyText> caption;
    // The sections, in section order. Changed only on the GUI thread, under sectionsMutex()
    // while the area may be playing.
    std::vector<std::unique_ptr<CActWnd>> sections;

private:
    QString sectionTitle(const char* format, int index) const;

    const Binding m_binding;
    SectionHost* m_sectionHost = nullptr;
    PlayObserver* m_observer = nullptr;
    mutable std::mutex m_wallMutex;
    QDateTime m_wallStart; // invalid: the system's clock
    WaitClock::TimePoint m_wallStartAt{};
    std::atomic<int> m_refreshMilliHz{60000};
    mutable std::shared_mutex m_sectionsMutex;
    mutable std::mutex m_itemsMutex;
    std::vector<std::unique_ptr<CPropBase>> m_items;
    // Last: the play thread ends before anything it uses goes.
    PlayLoop m_loop{*this};
};
