#pragma once

#include "ui/pages/CSubFormCollection.h"

#include <QDialog>
#include <QRect>
#include <QTimer>

#include <memory>

class CAct;
class LedPreview;
class RemoteBridge;
class Watchdog;
class FleetClient;
class QFrame;
class QLabel;
class QListWidget;
class QToolButton;
class RecentFileList;
class SectionWindowHost;
class UserPrompts;

// The control window: toolbar, playlist and the page area of the selected item. It owns the
// project's one area for the whole run; closing it deletes the area, which writes the area
// geometry back to the settings store.
class CTessarinDlg : public QDialog
{
    Q_OBJECT

public:
    // `prompts` answers the questions and file dialogs; null for the real dialogs.
    explicit CTessarinDlg(RecentFileList& recentFiles, UserPrompts* prompts = nullptr,
                          QWidget* parent = nullptr);
    ~CTessarinDlg() override;

    CAct* area() const { return m_area.get(); }
    bool isModified() const { return m_modified; }
    void SetModified(bool modified) { m_modified = modified; }
    const QString& projectPath() const { return m_projectPath; }
    bool editMode() const;
    QListWidget* fileList() const { return m_list; }
    CSubFormCollection& pageHost() { return m_pages; }
    QLabel* hintLabel() const { return m_hint; }

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
    static QString clockFilePath();
    void onAbout();
    void onSettings();
    // A message for the operator in the status line (and its log, the tooltip).
    void showStatus(const QString& text);
    QLabel* statusLine() const { return m_status; }

    // Remote control: the toolbar's and the manual keys' commands without questions.
    void resume();
    bool playItem(int index);             // stop, make it current and play on from it
    int addItemFile(const QString& path); // -1 when no kind plays it
    bool removeItem(int index);
    bool moveItemTo(int from, int to);
    bool saveProjectTo(const QString& path, QString* error);
    RemoteBridge* remote() const { return m_remote.get(); }
    void onPreview();

    // A language was chosen in the settings: the program starts again once this window closed.
    bool restartRequested() const { return m_restart; }

    // Opens a project; a project that cannot be read is reported and a new one takes its place.
    bool OpenProject(const QString& path);

    QToolButton* button(int controlId) const;

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
    void buildWindow();
    void start();
    void newProjectBody();
    void setPlayButtons(bool play, bool pause, bool stop);
    void setEditMode(bool on);
    void updateSelection();
    void refillList();
    bool saveTo(const QString& path);
    void handleManualKey(int key);
    void cancelPendingKey();
    static QString lineFor(const QString& filePath);

    RecentFileList& m_recentFiles;
    std::unique_ptr<UserPrompts> m_ownPrompts;
    UserPrompts* m_prompts;
    // The host outlives the area: the area destroys its section windows through it.
    std::unique_ptr<SectionWindowHost> m_sectionHost;
    std::unique_ptr<CAct> m_area;
    // After the area: it goes first, and with it the server that reads the area.
    std::unique_ptr<RemoteBridge> m_remote;
    LedPreview* m_preview = nullptr;
    Watchdog* m_watchdog = nullptr; // tells the service manager we live, once the windows show
    FleetClient* m_fleet = nullptr; // null without a broker in the settings
    CSubFormCollection m_pages;

    QWidget* m_toolbar = nullptr;
    QWidget* m_body = nullptr;
    QListWidget* m_list = nullptr;
    QFrame* m_pageArea = nullptr;
    QLabel* m_hint = nullptr;
    QLabel* m_status = nullptr;
    QStringList m_statusLog;
    int m_markedRow = -1; // the list line marked as playing
    void updatePlayingMark();
    void addFiles(const QStringList& files);
    // Before another project takes this one's place: stop, and offer to save what changed.
    void leaveCurrentProject();
    bool saveUnderNewName();
    bool m_placed = false; // placed beside the LED at its first showing
    // Where the window stands at start: where the operator left it on this screen, else beside
    // the LED rectangle.
    void placeAtStart();
    static void markCleanExit();
    QString placementKey() const;
    QSize m_fullSize;

    QString m_projectPath;
    bool m_modified = false;
    bool m_restart = false;
    bool m_keyPending = false;
    int m_pendingKey = 0;
    QTimer m_keyTimer; // cancels a pending key after 1000 ms
};
