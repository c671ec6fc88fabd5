#include "CTessarinDlg.h"

#include "CDlgSeting.h"
#include "ControlIds.h"
#include "LedPreview.h"
#include "SectionWindowHost.h"
#include "ZoneEditor.h"
#include "ZoneFilterModel.h"
#include "ZonePanel.h"
#include "base/RecentFileList.h"
#include "base/ResumeState.h"
#include "base/StringTable.h"
#include "control/AreaGeometryStore.h"
#include "control/ManualKeys.h"
#include "control/PlaylistModel.h"
#include "control/ProjectController.h"
#include "control/RemoteBridge.h"
#include "control/SyncMember.h"
#include "control/Watchdog.h"
#include "model/CAct.h"
#include "model/CPropBase.h"
#include "model/ItemKinds.h"
#include "remote/FleetClient.h"
#include "ui/pages/GifPage.h"
#include "ui/pages/PicturePage.h"
#include "ui/pages/RichTextPage.h"
#include "ui/pages/TextPage.h"
#include "ui/pages/VideoPage.h"
#include "ui/widgets/UserPrompts.h"
#include "ui/widgets/WindowPlacement.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QListView>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QScreen>
#include <QTimer>
#include <QToolButton>
#include <QUrl>

namespace {

const char kProjectFilter[] = "Led Files (*.zpm)|*.zpm||";
const char kOpenFilter[] = "Led Files (*.zpm)|*.zpm|All Files (*.*)|*.*||";

// The name a typed save path becomes: the file name in lower case with ".zpm" added when it
// lacks it. Folders stay as typed, since this file system tells their case apart.
QString projectSavePath(const QString& chosen)
{
    const QFileInfo info(chosen);
    QString name = info.fileName().toLower();
    if (!name.endsWith(QLatin1String(".zpm")))
        name += QLatin1String(".zpm");
    return info.dir().filePath(name);
}

} // namespace

CTessarinDlg::CTessarinDlg(RecentFileList& recentFiles, UserPrompts* prompts, QWidget* parent)
    : QDialog(parent), m_recentFiles(recentFiles),
      m_ownPrompts(prompts ? nullptr : std::make_unique<DialogPrompts>()),
      m_prompts(prompts ? prompts : m_ownPrompts.get()),
      m_sectionHost(std::make_unique<SectionWindowHost>(this)),
      m_controller(std::make_unique<ProjectController>(m_sectionHost.get(), &recentFiles))
{
    updateTitle();
    // A window of its own that can be minimised (a dialog cannot, under most window managers);
    // a right click on the LED brings it back.
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setAcceptDrops(true);
    setWindowIcon(QIcon(QStringLiteral(":/tessarin.svg")));
    CAct& area = m_controller->area();
    AreaGeometryStore::load(area);
    // Scrolling text takes one step per refresh of the screen the LED is on.
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        area.setRefreshMilliHz(static_cast<int>(screen->refreshRate() * 1000));
    buildWindow();
    if (m_ownPrompts)
        m_ownPrompts->setCovered([this] { return ledRects(); });
    // When the LED moves or changes size (the settings, a project opened), it may land on this
    // window: the window steps aside.
    m_clearCheck = new QTimer(this);
    m_clearCheck->setSingleShot(true);
    m_clearCheck->setInterval(0);
    connect(m_clearCheck, &QTimer::timeout, this, &CTessarinDlg::keepClearOfLed);
    m_sectionHost->setRectsChanged([this] { m_clearCheck->start(); });
    connect(m_controller.get(), &ProjectController::message, this, &CTessarinDlg::showStatus);
    connect(m_controller.get(), &ProjectController::playStateChanged, this,
            &CTessarinDlg::updatePlayButtons);
    connect(m_controller.get(), &ProjectController::projectReplaced, this, [this] {
        setCurrentRow(m_controller->itemCount() > 0 ? 0 : -1);
        updateSelection();
        updateTitle();
    });
    connect(m_controller.get(), &ProjectController::modifiedChanged, this,
            &CTessarinDlg::updateTitle);

    // Each page serves the classes the kinds table stores; an item of another class shows none.
    ProjectController* controller = m_controller.get();
    const PageContext context{[this] { SetModified(true); },
                              [controller](CPropBase& item) { controller->preview(item); },
                              m_prompts};
    m_pages.AddSubForm(std::make_unique<RichTextPage>(context), {"CPropRtf"}, m_pageArea);
    m_pages.AddSubForm(std::make_unique<TextPage>(context), {"CPropText"}, m_pageArea);
    m_pages.AddSubForm(std::make_unique<PicturePage>(context), {"CPropImage"}, m_pageArea);
    m_pages.AddSubForm(std::make_unique<GifPage>(context), {"CPropGif"}, m_pageArea);
    m_pages.AddSubForm(std::make_unique<VideoPage>(context), {"CPropVideo"}, m_pageArea);

    m_manualKeys = std::make_unique<ManualKeys>(*m_controller);
    // The digits count wherever the focus is in this window: the list, a page or the window.
    qApp->installEventFilter(this);

    updatePlayButtons();
    button(IdShowHide)->setChecked(true);
    button(IdEdit)->setChecked(true);
    onEditToggle();
    // A wall that plays from the start (Auto Play, or after a crash) shows the compact strip.
    if (m_controller->startSession() != ProjectController::Start::New &&
        m_controller->playState() == ProjectController::PlayState::Playing)
        setEditMode(false);
    // Remote control, when the settings turn it on.
    m_remote = std::make_unique<RemoteBridge>(*m_controller);
    m_remote->applySettings();
    m_watchdog = new Watchdog(area, this);
    startFleet();
}

void CTessarinDlg::startFleet()
{
    if (m_remote) {
        m_remote->setFleet(nullptr);
        m_remote->setSync(nullptr);
    }
    m_sync.reset();
    m_fleet.reset();
    // A fleet on an MQTT broker, when the settings name one.
    const FleetSettings fleet = FleetSettings::load();
    const SyncSettings sync = SyncSettings::load();
    if (fleet.url.isEmpty() || !m_remote) {
        if (!sync.group.isEmpty())
            showStatus(dialogText("The sync group needs the fleet's broker (Settings, Fleet).",
                                  "同步组需要集群的代理服务器（设置，集群）。"));
        return;
    }
    startSync(fleet, sync);
    m_fleet = std::make_unique<FleetClient>(*m_remote);
    m_remote->setFleet(m_fleet.get()); // the remote status tells the broker connection
    // Each change of the broker connection (refused, lost, back) once in the status line.
    connect(m_fleet.get(), &FleetClient::connectionChanged, this,
            [this](bool, const QString& message) { showStatus(message); });
    QString error;
    if (!m_fleet->start(fleet, &error))
        showStatus(error);
}

void CTessarinDlg::startSync(const FleetSettings& fleet, const SyncSettings& sync)
{
    if (sync.group.isEmpty() || !m_controller)
        return;
    m_sync = std::make_unique<SyncMember>(*m_controller);
    connect(m_sync.get(), &SyncMember::message, this, &CTessarinDlg::showStatus);
    // Benchmarks and tests of a group on one PC move a member's clock as another PC's would be.
    const qint64 shiftNs =
        qEnvironmentVariableIntValue("TESSARIN_SYNC_CLOCK_SHIFT_MS") * 1'000'000LL;
    QString error;
    if (!m_sync->start(sync, fleet, &error, shiftNs)) {
        showStatus(error);
        m_sync.reset();
        return;
    }
    m_remote->setSync(m_sync.get());
}

CTessarinDlg::~CTessarinDlg()
{
    qApp->removeEventFilter(this);
    m_sectionHost->setRectsChanged({});
    rememberPlace(); // ended by a signal, not closed: the place is kept all the same
    closeProject();
    markCleanExit(); // an orderly end, whichever way the window went
}

void CTessarinDlg::closeProject()
{
    m_sync.reset(); // its gate leaves the area before the controller goes
    m_fleet.reset();
    m_remote.reset(); // its server waits for the pictures it is making
    delete m_watchdog;
    m_watchdog = nullptr;
    m_manualKeys.reset();
    if (!m_controller)
        return;
    AreaGeometryStore::save(m_controller->area());
    m_pages.ShowSubForm(-1);
    m_controller.reset(); // ends the play thread, then the area and its windows go
}

CAct* CTessarinDlg::area() const
{
    return m_controller ? &m_controller->area() : nullptr;
}

bool CTessarinDlg::isModified() const
{
    return m_controller && m_controller->isModified();
}

void CTessarinDlg::SetModified(bool modified)
{
    if (m_controller)
        m_controller->setModified(modified);
}

void CTessarinDlg::updateTitle()
{
    // The program's name, then the project's file (or "untitled") and a mark of unsaved changes.
    QString title = QStringLiteral("Kalvenore6.22");
    if (m_controller) {
        const QString path = m_controller->projectPath();
        title += QStringLiteral(" - ") +
                 (path.isEmpty() ? dialogText("untitled", "未命名") : QFileInfo(path).fileName());
        if (m_controller->isModified())
            title += QStringLiteral(" *");
    }
    setWindowTitle(title);
}

QString CTessarinDlg::projectPath() const
{
    return m_controller ? m_controller->projectPath() : QString();
}

int CTessarinDlg::currentRow() const
{
    const QModelIndex current = m_zoneFilter->mapToSource(m_list->currentIndex());
    return current.isValid() ? current.row() : -1;
}

void CTessarinDlg::setCurrentRow(int row)
{
    QAbstractItemModel* model = m_zoneFilter->sourceModel();
    if (!model || row < 0 || row >= model->rowCount()) {
        m_list->setCurrentIndex(QModelIndex());
        return;
    }
    // A row of another zone: that zone is selected first, so that the list shows it.
    if (m_controller && m_controller->zoneOfItem(row) != m_zoneFilter->zone())
        m_zonePanel->editor()->setSelectedZone(m_controller->zoneOfItem(row));
    m_list->setCurrentIndex(m_zoneFilter->mapFromSource(model->index(row, 0)));
}

int CTessarinDlg::shownNeighbour(int row, int offset) const
{
    QAbstractItemModel* model = m_zoneFilter->sourceModel();
    if (!model || row < 0 || row >= model->rowCount())
        return -1;
    const QModelIndex shown = m_zoneFilter->mapFromSource(model->index(row, 0));
    const int at = shown.row() + offset;
    if (!shown.isValid() || at < 0 || at >= m_zoneFilter->rowCount())
        return -1;
    return m_zoneFilter->mapToSource(m_zoneFilter->index(at, 0)).row();
}

void CTessarinDlg::zoneSelected(int zone)
{
    const int row = currentRow();
    m_zoneFilter->setZone(zone);
    if (m_manualKeys)
        m_manualKeys->setZone(zone);
    // The selection stays when it is in the zone, else the zone's first item.
    if (row < 0 || !m_controller || m_controller->zoneOfItem(row) != zone)
        m_list->setCurrentIndex(m_zoneFilter->index(0, 0));
    updateSelection();
}

void CTessarinDlg::onPreview()
{
    m_preview->setVisible(button(IdPreview)->isChecked());
}

void CTessarinDlg::updatePlayButtons()
{
    using State = ProjectController::PlayState;
    const State state = m_controller ? m_controller->playState() : State::Idle;
    button(IdPlay)->setEnabled(state != State::Playing);
    button(IdPause)->setEnabled(state == State::Playing);
    button(IdStop)->setEnabled(state == State::Playing || state == State::Paused);
}

// --- commands ----------------------------------------------------------------------------

void CTessarinDlg::onNew()
{
    if (!leaveCurrentProject())
        return;
    button(IdEdit)->setChecked(true);
    onEditToggle();
    QString error;
    if (!m_controller->newProject(&error))
        showStatus(error);
}

bool CTessarinDlg::leaveCurrentProject()
{
    // Unsaved changes: Yes saves (a save that fails or is cancelled keeps the project), No lets
    // them go, Cancel or a dismissed box keeps everything as it is, the wall playing on.
    if (isModified()) {
        switch (m_prompts->askYesNoCancel(this, loadString(StringId::AskSaveCurrent))) {
        case UserPrompts::Choice::Yes:
            if (!saveCurrent())
                return false;
            break;
        case UserPrompts::Choice::No:
            break;
        case UserPrompts::Choice::Cancel:
            return false;
        }
    }
    onStop();
    return true;
}

bool CTessarinDlg::saveCurrent()
{
    onStop();
    const QString path = projectPath();
    if (!path.isEmpty() && m_prompts->askYesNo(this, loadString(StringId::AskReplaceCurrent)))
        return saveTo(path);
    const QString chosen =
        m_prompts->saveFile(this, projectPath(), QString::fromLatin1(kProjectFilter));
    return !chosen.isEmpty() && saveTo(projectSavePath(chosen));
}

void CTessarinDlg::fillRecentMenu(QMenu* menu)
{
    menu->clear();
    m_recentFiles.load();
    for (const QString& path : m_recentFiles.entries()) {
        QAction* action = menu->addAction(QDir::toNativeSeparators(path));
        action->setEnabled(QFileInfo::exists(path));
        connect(action, &QAction::triggered, this, [this, path] { openRecent(path); });
    }
    if (menu->isEmpty())
        menu->addAction(dialogText("No recent projects", "没有最近的节目"))->setEnabled(false);
}

void CTessarinDlg::openRecent(const QString& path)
{
    if (leaveCurrentProject())
        OpenProject(path);
}

void CTessarinDlg::onOpen()
{
    if (!leaveCurrentProject())
        return;
    const QString path = m_prompts->openFile(this, QString::fromLatin1(kOpenFilter));
    if (!path.isEmpty())
        OpenProject(path);
    SetModified(false); // what was not saved above was let go
}

bool CTessarinDlg::OpenProject(const QString& path)
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    QString error;
    const bool opened = m_controller->openProject(path, &error);
    QApplication::restoreOverrideCursor();
    if (!opened)
        m_prompts->showError(this, error);
    return opened;
}

void CTessarinDlg::onSave()
{
    onStop();
    const QString path = projectPath();
    if (!path.isEmpty() && m_prompts->askYesNo(this, loadString(StringId::AskReplaceCurrent))) {
        saveTo(path);
        return;
    }
    if (!saveUnderNewName())
        SetModified(false); // a cancelled Save clears the flag, as it always has
}

void CTessarinDlg::onSaveAs()
{
    onStop();
    saveUnderNewName(); // cancelled: the project stays modified
}

bool CTessarinDlg::saveUnderNewName()
{
    const QString chosen =
        m_prompts->saveFile(this, projectPath(), QString::fromLatin1(kProjectFilter));
    if (chosen.isEmpty())
        return false;
    saveTo(projectSavePath(chosen));
    return true; // saved, or told why not: not a cancel
}

bool CTessarinDlg::saveTo(const QString& path)
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    QString error;
    const bool saved = m_controller->saveProject(path, &error);
    QApplication::restoreOverrideCursor();
    if (!saved)
        m_prompts->showError(this, error);
    return saved;
}

void CTessarinDlg::onShowHidePlayWindows()
{
    CAct& area = m_controller->area();
    const bool visible = area.SectionsVisible();
    area.ShowSections(!visible);
    QToolButton* b = button(IdShowHide);
    b->setChecked(!visible);
    b->setToolTip(loadString(visible ? StringId::TipShowPlayWindow : StringId::TipHidePlayWindow));
}

void CTessarinDlg::onEditToggle()
{
    setEditMode(button(IdEdit)->isChecked());
}

void CTessarinDlg::setEditMode(bool on)
{
    QToolButton* b = button(IdEdit);
    b->setChecked(on);
    b->setToolTip(loadString(on ? StringId::TipDisableEdit : StringId::TipEnableEdit));
    if (!on && m_body->isVisible())
        m_fullSize = size(); // the size the operator gave the full window comes back with it
    m_body->setVisible(on);
    setMinimumSize(0, 0);
    if (on) {
        // At least as large as the page shown needs: a page made while the strip showed (or
        // larger than the window first was) is not cut off below.
        layout()->activate();
        resize(m_fullSize.expandedTo(minimumSizeHint()));
        onStop();
    } else {
        resize(m_toolbar->sizeHint() + QSize(8, 8)); // the toolbar strip alone
    }
}

void CTessarinDlg::onPlay()
{
    if (m_controller->itemCount() == 0)
        return;
    setEditMode(false);
    m_controller->play();
}

void CTessarinDlg::onPause()
{
    m_controller->pause();
}

void CTessarinDlg::onStop()
{
    // Never hangs: a play thread busy with a long decode ends by itself (the controller says so).
    if (m_controller)
        m_controller->stop();
}

namespace {

// The Add File filter with its first entry, the one shown first, naming every extension an
// item kind plays (the table's own first entry leaves out documents and some pictures).
QString addFileFilter()
{
    QStringList entries = loadString(StringId::AddFileFilter).split(QLatin1Char('|'));
    QStringList patterns;
    for (const ItemKindInfo* kind : ItemKinds::all())
        for (const QString& extension : kind->extensions)
            if (const QString pattern = QStringLiteral("*.") + extension.toLower();
                !patterns.contains(pattern))
                patterns << pattern;
    if (entries.size() > 1 && !patterns.isEmpty())
        entries[1] = patterns.join(QLatin1Char(';'));
    return entries.join(QLatin1Char('|'));
}

} // namespace

void CTessarinDlg::onAddFile()
{
    const QStringList files = m_prompts->openFiles(this, addFileFilter());
    if (!files.isEmpty())
        addFiles(files);
}

void CTessarinDlg::onAddClock()
{
    QString error;
    const int index = m_controller->addClock(&error);
    if (index < 0) {
        m_prompts->showMessage(this, error);
        return;
    }
    m_controller->setItemZone(index, m_zoneFilter->zone());
    setCurrentRow(index);
    updateSelection();
}

void CTessarinDlg::addFiles(const QStringList& files)
{
    int last = -1;
    const QStringList refused = m_controller->addFiles(files, &last, m_zoneFilter->zone());
    // A file of a kind nothing plays is said, not dropped without a word.
    if (!refused.isEmpty())
        m_prompts->showMessage(this,
                               dialogText("These files cannot be played:", "以下文件无法播放：") +
                                   QLatin1Char('\n') + refused.join(QLatin1Char('\n')));
    if (last >= 0)
        setCurrentRow(last);
    updateSelection();
}

void CTessarinDlg::onDeleteFile()
{
    const int row = currentRow();
    const int shown = m_list->currentIndex().row();
    QString error;
    if (row < 0)
        return;
    if (!m_controller->removeItem(row, &error)) {
        showStatus(error);
        return;
    }
    // The line that took its place in the list as it shows, else the one above.
    const int shownRows = m_zoneFilter->rowCount();
    m_list->setCurrentIndex(
        shownRows == 0 ? QModelIndex() : m_zoneFilter->index(std::min(shown, shownRows - 1), 0));
    updateSelection();
}

void CTessarinDlg::onMoveUpFile()
{
    // Past the line above as the list shows it (with zones, other zones' items lie between).
    const int row = currentRow();
    const int above = shownNeighbour(row, -1);
    if (above >= 0 && m_controller->moveItem(row, above))
        setCurrentRow(above);
    updateSelection();
}

void CTessarinDlg::onMoveDownFile()
{
    const int row = currentRow();
    const int below = shownNeighbour(row, 1);
    if (below >= 0 && m_controller->moveItem(row, below))
        setCurrentRow(below);
    updateSelection();
}

void CTessarinDlg::onSettings()
{
    CDlgSeting settings(m_controller->area(), *m_prompts, this);
    WindowPlacement::placeDialog(&settings, this, ledRects());
    // The settings are project data: closing or switching the language asks to keep them.
    connect(&settings, &CDlgSeting::projectChanged, this, [this] { SetModified(true); });
    connect(&settings, &CDlgSeting::remoteChanged, this, [this] {
        if (m_remote)
            m_remote->applySettings();
    });
    settings.exec();
    // A new LED size: the zones are shown on it, and told when they no longer fit (they play
    // cut to the LED until they are moved).
    m_zonePanel->reload();
    if (m_controller && m_controller->zoneCount() > 1) {
        const AreaSettings& area = m_controller->area().settings();
        const QString why =
            AreaZones::check(m_controller->area().zones(), QSize(area.ledWidth, area.ledHeight));
        if (!why.isEmpty())
            showStatus(dialogText("The zones do not fit the LED: ", "分区超出LED：") + why);
    }
    if (settings.fleetChanged() && m_controller)
        startFleet(); // the broker settings hold from now on
    if (settings.languageChosen() != 0) {
        // The new language shows after a restart; this window closes the usual way first.
        m_restart = true;
        done(QDialog::Accepted);
    }
}

void CTessarinDlg::updateSelection()
{
    if (!m_controller)
        return;
    const int row = currentRow();
    const int count = m_controller->itemCount();
    const bool selected = row >= 0 && row < count;
    button(IdDeleteFile)->setEnabled(selected);
    button(IdMoveUp)->setEnabled(selected && shownNeighbour(row, -1) >= 0);
    button(IdMoveDown)->setEnabled(selected && shownNeighbour(row, 1) >= 0);
    m_hint->setVisible(!selected);
    if (!selected) {
        m_pages.ShowSubForm(-1);
        return;
    }
    if (CPropBase* item = m_controller->area().item(row))
        item->ShowProperties(m_pages);
}

// --- keys, drops and the window -------------------------------------------------------------

bool CTessarinDlg::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_pageArea && event->type() == QEvent::Resize) {
        m_pages.setPlacement(QRect(QPoint(2, 2), m_pageArea->size() - QSize(4, 4)), false);
        m_pages.relayout();
    }
    if (event->type() == QEvent::KeyPress && m_manualKeys) {
        // A key goes first to the focus widget, then up through its parents while nobody takes
        // it: it counts once, at its first receiver in this window.
        QWidget* focus = QApplication::focusWidget();
        const bool focusInside = focus && (focus == this || isAncestorOf(focus));
        if (watched == (focusInside ? static_cast<QObject*>(focus) : this)) {
            const auto* key = static_cast<QKeyEvent*>(event);
            if (!key->isAutoRepeat())
                m_manualKeys->press(key->key(), key->modifiers().testFlag(Qt::KeypadModifier));
        }
    }
    return QDialog::eventFilter(watched, event);
}

void CTessarinDlg::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void CTessarinDlg::dropEvent(QDropEvent* event)
{
    QStringList files;
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile())
            files << url.toLocalFile();
    if (files.isEmpty())
        return;
    event->acceptProposedAction();
    // A project dropped on the window opens; files are added to the playlist.
    if (files.size() == 1 && files.first().endsWith(QLatin1String(".zpm"), Qt::CaseInsensitive)) {
        if (leaveCurrentProject())
            OpenProject(files.first());
        return;
    }
    addFiles(files);
}

void CTessarinDlg::done(int result)
{
    rememberPlace();
    if (m_controller) {
        if (!leaveCurrentProject()) {
            m_restart = false;
            return; // the window stays open, the project as it was
        }
        closeProject();
    }
    markCleanExit();
    QDialog::done(result);
}

void CTessarinDlg::markCleanExit()
{
    ResumeState state = ResumeState::load();
    state.clean = true;
    state.save();
}
