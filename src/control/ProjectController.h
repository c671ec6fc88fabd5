#pragma once

#include "model/AreaZones.h"
#include "model/PlayObserver.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <array>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <vector>

class CAct;
class CPropBase;
class PlaylistModel;
class RecentFileList;
class SectionHost;

// The program's one project and the meaning of every command on it, whoever gives the command:
// the toolbar, the keys, the manual keys, a page's preview, the start after a crash, the remote
// control and the fleet. It owns the area, the project's path and modified state and the
// playlist model; nothing else changes the area's items or playback. No widgets: the questions
// (save first? which file?) are the window's, the meaning is here.
//
// GUI thread only. No command blocks: a play thread that does not end within kStopWait (a long
// decode, say) is left to end by itself, and a command that needs it ended is refused with a
// message instead.
class ProjectController final : public QObject, private PlayObserver
{
    Q_OBJECT

public:
    enum class PlayState
    {
        Idle, // no items
        Stopped,
        Playing,
        Paused,
    };

    static constexpr std::chrono::milliseconds kStopWait{200};

    // `host` makes the section windows (the headless host in tests); it must outlive this.
    // `recentFiles` may be null (no list kept).
    explicit ProjectController(SectionHost* host, RecentFileList* recentFiles = nullptr,
                               QObject* parent = nullptr);
    ~ProjectController() override;

    CAct& area() { return *m_area; }
    const CAct& area() const { return *m_area; }
    PlaylistModel& playlist() { return *m_playlist; }

    // --- the project ----------------------------------------------------------------------
    const QString& projectPath() const { return m_projectPath; }
    bool isModified() const { return m_modified; }
    void setModified(bool modified);
    // An empty project: one section of the default size at the desktop's corner.
    bool newProject(QString* error = nullptr);
    // Whether an open may reach a file; false with the reason in `why`.
    using FileRule = std::function<bool(const QString& path, QString* why)>;
    // Reads the file aside first: a file that is no project (see CAct::checkProjectFile), or
    // that does not load, leaves the project as it was. With a rule (the remote's), the project
    // file and every file its items name must pass it; the first that does not is named.
    bool openProject(const QString& path, QString* error, const FileRule& allowed = {});
    // Writes the project whole or not at all; the path becomes the project's on success.
    bool saveProject(const QString& path, QString* error);
    // What the start does: after a crash or a power cut the project that was playing, from its
    // item; else the last project (played when Auto Play is on); else a new one.
    enum class Start
    {
        Resumed,
        Opened,
        New,
    };
    Start startSession();

    // --- the playlist ---------------------------------------------------------------------
    int itemCount() const;
    // The index of the item added, or -1 when no kind plays the file or the file is not what
    // its name says (PNG bytes in a .txt; the reason then in `why`). A file that is not there is
    // added, marked missing and told.
    // `zone`: the zone it plays in (the first when out of range).
    int addFile(const QString& path, QString* why = nullptr, int zone = 0);
    // Adds each file; those refused come back (the path, and the reason when it is not the
    // name), the index of the last added in `last`.
    QStringList addFiles(const QStringList& paths, int* last = nullptr, int zone = 0);
    // Appends a ready-made item (one a project file or a test made); its index.
    int appendItem(std::unique_ptr<CPropBase> item);
    // A text item that shows the date and the time, from clockFilePath().
    int addClock(QString* error);
    static QString clockFilePath();
    // Needs the play thread ended (the player may hold the item): refused while it finishes.
    // A playing wall goes on playing: the item after the removed one when that one played
    // (the first after the last; nothing when the list is empty), else the one that played.
    // A paused or stopped wall is left stopped.
    bool removeItem(int index, QString* error = nullptr);
    bool moveItem(int from, int to);

    // --- zones ----------------------------------------------------------------------------
    // 1 without zones.
    int zoneCount() const;
    // The zones as the area plays them: one over the whole LED without zones.
    std::vector<AreaZone> zones() const;
    // Takes zones that the LED allows (else false, why, nothing changed). Playback ends first
    // and starts again from every zone's first item when it played.
    bool setZones(std::vector<AreaZone> zones, QString* why = nullptr);
    // Zone `zone` (not the first) goes: its items join the first zone, the later zones' items
    // move down one with their zones.
    bool removeZone(int zone, QString* why = nullptr);
    // The zone item `index` plays in (0 for no such item).
    int zoneOfItem(int index) const;
    // Item `index` plays in zone `zone` from now on (it stays in the list where it is).
    bool setItemZone(int index, int zone, QString* why = nullptr);
    // The rows of zone `zone`'s items, in playlist order.
    std::vector<int> zoneRows(int zone) const;

    // --- playback -------------------------------------------------------------------------
    PlayState playState() const;
    // The line that plays in the zone, -1 when nothing plays there.
    int playingIndex(int zone = 0) const;
    int currentIndex(int zone = 0) const;
    // The page the zone's playing item shows now (0 before its first), for status answers.
    int shownPage(int zone = 0) const;
    // The presentation time of the frame the zone's playing video item shows, in microseconds;
    // -1 when no video item shows a frame there.
    qint64 shownPositionUs(int zone = 0) const;

    // The toolbar's Play: resumes a paused wall, else starts from the first item.
    bool play();
    // The remote's and the fleet's play: resumes a paused wall, starts a stopped one from the
    // first item and leaves a playing one alone.
    bool playOrResume();
    // Starts from the first item, whatever plays now.
    bool restart();
    void pause();
    void resume();
    // Ends playback within kStopWait; false (and a message) when the thread is still busy.
    bool stop();
    // Plays item `index` and goes on from it; false when there is no such item. With zones
    // only the item's zone starts again while the others play on.
    bool playItem(int index);
    // Within the zone's items, which the other zones do not feel.
    bool next(int zone = 0);
    bool previous(int zone = 0);
    bool first(int zone = 0);
    bool last(int zone = 0);
    // A page's play button: the item once, then the wall idles.
    bool preview(CPropBase& item);

    // Where commands go instead of playing here (a sync group's leader carries them out for the
    // group): told each command as text ("play", "next 0", "item 3", ...), it says whether it
    // took it. None: every command plays here.
    using CommandForwarder = std::function<bool(const QString& command)>;
    void setCommandForwarder(CommandForwarder forward) { m_forward = std::move(forward); }
    // Carries out a command given as text (as forwarded); false for an unknown one.
    bool runCommand(const QString& command);

signals:
    void playStateChanged();
    void playingIndexChanged(int index);
    // The zones or the items' zones changed.
    void zonesChanged();
    void modifiedChanged(bool modified);
    // A new project took the place of the old (new, open): sections and items are new.
    void projectReplaced();
    // For the operator's status line.
    void message(const QString& text);

private:
    // Waits at most kStopWait for the play thread; false (and a message, and `error` for the
    // caller's answer) when it still runs.
    bool stopBounded(QString* error = nullptr);
    // Every zone from its first item, the zone of `index` from that item (-1: none).
    bool startAt(int index);
    // Only the item's zone, when another plays; else as startAt.
    bool startZoneAt(int index);
    // The zone's play thread ended within kStopWait; false (and a message) when it still runs.
    bool stopZoneBounded(int zone, QString* error = nullptr);
    // Tells a stop that did not end in time (of zone `zone`, or -1 for all); false.
    bool stopUnfinished(int zone, QString* error);
    bool anyZonePlaying() const;
    // Whether a zone other than `zone` plays.
    bool otherZonePlays(int zone) const;
    // The item plays in zone `zone` (0: no setting); false when its settings are not ours.
    static bool writeItemZone(CPropBase& item, int zone);
    // Starts zone `zone` again at its first item at or after `row` (its first when none).
    void playZoneAfter(int zone, int row);
    void resetToNew();
    bool forwarded(const QString& command) const { return m_forward && m_forward(command); }
    void watchPlayback();
    void rememberRecent(const QString& path);
    // Marks the file's rows missing or not, and tells a missing one (once until it is found).
    void checkFile(const QString& path);
    void pictureShown(const CPropBase& item, const QJsonObject& details) override;
    void positionShown(const CPropBase& item, qint64 ptsUs) override;

    RecentFileList* m_recentFiles;
    QString m_projectPath;
    bool m_modified = false;
    // Written by the play thread (as the observer); declared before the area, which ends the
    // play thread when it goes.
    // A zone's at its index.
    struct Shown
    {
        std::atomic<int> pageItem{-1};
        std::atomic<int> page{0};
        std::atomic<int> positionItem{-1};
        std::atomic<qint64> positionUs{0};
    };
    std::array<Shown, AreaZones::kMostZones> m_shown;
    const Shown& shownOf(int zone) const;
    std::unique_ptr<CAct> m_area;
    std::unique_ptr<PlaylistModel> m_playlist;
    CommandForwarder m_forward;
    QTimer m_watch; // follows the play thread's item and state
    int m_lastPlaying = -1;
    PlayState m_lastState = PlayState::Idle;
};
