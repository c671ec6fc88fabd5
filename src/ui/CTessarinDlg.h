#pragma once

#include "ui/pages/CSubFormCollection.h"

#include <QDialog>
#include <QList>
#include <QRect>

#include <memory>
#include <optional>

class CAct;
class DialogPrompts;
class FleetClient;
class SyncMember;
struct FleetSettings;
struct SyncSettings;
class LedPreview;
class ManualKeys;
class ProjectController;
class QFrame;
class QLabel;
class QListView;
class QTimer;
class QToolButton;
class QMenu;
class RecentFileList;
class RemoteBridge;
class SectionWindowHost;
class UserPrompts;
class Watchdog;
class ZoneFilterModel;
class ZonePanel;

// The control window: toolbar, playlist and the page area of the selected item. The project and
// the meaning of every command are the controller's; this window asks the operator's questions
// (save first? which file?), shows the playlist model and the pages, and owns the controller,
// the remote bridge and the fleet client for the run.
class CTessarinDlg : public QDialog
{
    Q_OBJECT

public:
    // `prompts` answers the questions and file dialogs; null for the real dialogs.
    explicit CTessarinDlg(RecentFileList& recentFiles, UserPrompts* prompts = nullptr,
                          QWidget* parent = nullptr);
    ~CTessarinDlg() override;

    // Null once the window has closed.
    ProjectController* controller() const { return m_controller.get(); }
    CAct* area() const;
    bool isModified() const;
    void SetModified(bool modified);
    QString projectPath() const;
    bool editMode() const;
    QListView* fileList() const { return m_list; }
    ZonePanel* zonePanel() const { return m_zonePanel; }
    // The selected item's row in the project's list (the list shows the selected zone's items).
    int currentRow() const;
    void setCurrentRow(int row);
    CSubFormCollection& pageHost() { return m_pages; }
    QLabel* hintLabel() const { return m_hint; }
    RemoteBridge* remote() const { return m_remote.get(); }

    // The toolbar commands.
    void onNew();
    void onOpen();
    void onSave();
    // Saves under a name asked for; a cancel leaves the project modified.
    void onSaveAs();
    void onShowHidePlayWindows();
    void onEditToggle();
    void onPlay();
    void onPause();
    void onStop();
    void onAddFile();
    void onDeleteFile();
    void onMoveUpFile();
    void onMoveDownFile();
    // A text item that shows the date and time, from a small file in the data folder.
    void onAddClock();
    void onAbout();
    void onSettings();
    void onPreview();
    // A message for the operator in the status line (and its log, the tooltip).
    void showStatus(const QString& text);
    QLabel* statusLine() const { return m_status; }
    // A playing video's position ("1:05"), empty for the rest.
    QLabel* positionLabel() const { return m_position; }
    static QString positionText(qint64 positionUs);

    // A language was chosen in the settings: the program starts again once this window closed.
    bool restartRequested() const { return m_restart; }

    // Opens a project; one that cannot be read is reported and the project stays as it was.
    bool OpenProject(const QString& path);

    QToolButton* button(int controlId) const;

    // Where the LED's section windows stand, which stay on top of every other window.
    QList<QRect> ledRects() const;
    // Moves the window, frame and all, off the LED when the LED covers it and into its screen's
    // free area; called whenever the LED's rectangles change and once the window shows.
    void keepClearOfLed();
    // The first check once shown is done: from here on only a change of the LED moves the window.
    bool placementSettled() const { return m_settled; }

    // The window ends its own placing before it first shows.
    void setVisible(bool visible) override;

public slots:
    void done(int result) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    // In CTessarinDlgLayout.cpp: the widgets, and where the window stands.
    void buildWindow();
    void placeAtStart();
    void rememberPlace();
    QString placementKey() const;
    QRect currentFrame() const;

    // The fleet client as the settings now say (none without a broker), replacing the one before.
    void startFleet();
    // The sync group the settings name, on the fleet's broker.
    void startSync(const FleetSettings& fleet, const SyncSettings& sync);
    void updatePlayButtons();
    void setEditMode(bool on);
    void updateSelection();
    void addFiles(const QStringList& files);
    // The project's row `offset` rows from `row` in the list as it shows, -1 when there is none.
    int shownNeighbour(int row, int offset) const;
    void zoneSelected(int zone);
    // Before another project takes this one's place: stop, and offer to save what changed.
    // Asks about unsaved changes; false when the operator keeps the project (Cancel).
    bool leaveCurrentProject();
    bool saveCurrent();
    void updateTitle();
    // The Open button's menu of recent projects.
    void fillRecentMenu(QMenu* menu);
    void openRecent(const QString& path);
    bool saveTo(const QString& path);
    bool saveUnderNewName();
    // The controller and all that uses it go, the area's place written back first.
    void closeProject();
    static void markCleanExit();

    RecentFileList& m_recentFiles;
    std::unique_ptr<DialogPrompts> m_ownPrompts;
    UserPrompts* m_prompts;
    // Destroyed in the reverse order: the fleet and the remote bridge before the controller they
    // command, the controller (and with it the area and its windows) before the section host.
    std::unique_ptr<SectionWindowHost> m_sectionHost;
    std::unique_ptr<ProjectController> m_controller;
    std::unique_ptr<RemoteBridge> m_remote;
    std::unique_ptr<FleetClient> m_fleet; // null without a broker in the settings
    std::unique_ptr<SyncMember> m_sync;   // null without a sync group in the settings
    std::unique_ptr<ManualKeys> m_manualKeys;
    Watchdog* m_watchdog = nullptr; // tells the service manager we live, once the windows show
    LedPreview* m_preview = nullptr;
    CSubFormCollection m_pages;

    QWidget* m_toolbar = nullptr;
    QWidget* m_body = nullptr;
    QListView* m_list = nullptr;
    ZonePanel* m_zonePanel = nullptr;
    ZoneFilterModel* m_zoneFilter = nullptr; // the playlist's rows of the selected zone
    QFrame* m_pageArea = nullptr;
    QLabel* m_hint = nullptr;
    QLabel* m_status = nullptr;
    QLabel* m_position = nullptr;
    QStringList m_statusLog;
    bool m_placed = false; // placed beside the LED before its first showing
    bool m_watchdogStarted = false;
    // Checked again once shown, with the window manager's frame.
    bool m_settled = false;
    bool m_settling = false;             // waiting for the window manager's frame
    std::optional<QPoint> m_wantedFrame; // where the frame goes once it is known
    QTimer* m_clearCheck = nullptr;      // one check for a burst of section placements
    QSize m_fullSize;
    bool m_restart = false;
};
