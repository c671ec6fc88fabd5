#include "CTessarinDlg.h"

#include "CDlgSeting.h"
#include "LedPreview.h"
#include "RemoteBridge.h"
#include "SectionWindowHost.h"
#include "base/Notifications.h"
#include "base/RecentFileList.h"
#include "base/ResumeState.h"
#include "base/SafeFile.h"
#include "base/SettingsStore.h"
#include "base/StringTable.h"
#include "canvas/SectionLayout.h"
#include "model/CAct.h"
#include "model/CPropText.h"
#include "model/ItemSettings.h"
#include "remote/FleetClient.h"
#include "remote/Watchdog.h"
#include "ui/pages/CDlgPropGif.h"
#include "ui/pages/CDlgPropImage.h"
#include "ui/pages/CDlgPropRtf.h"
#include "ui/pages/CDlgPropText.h"
#include "ui/widgets/UserPrompts.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QFrame>
#include <QHBoxLayout>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QScreen>
#include <QShortcut>
#include <QStandardPaths>
#include <QStyle>
#include <QTime>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

namespace {

// Control ids of the window's buttons.
enum ControlId
{
    IdNew = 1057,
    IdOpen = 1005,
    IdSave = 1009,
    IdShowHide = 1098,
    IdEdit = 1020,
    IdSettings = 1058,
    IdPlay = 1141,
    IdPause = 1137,
    IdStop = 1011,
    IdAddFile = 1062,
    IdDeleteFile = 1012,
    IdMoveUp = 1064,
    IdMoveDown = 1065,
    IdAddClock = 1303,
    IdPreview = 1304,
};

constexpr int kManualKeyMs = 1000;
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
      m_sectionHost(std::make_unique<SectionWindowHost>(this)), m_area(std::make_unique<CAct>())
{
    setWindowTitle(QStringLiteral("Kalvenore6.22"));
    // A window of its own that can be minimised (a dialog cannot, under most window managers);
    // a right click on the LED brings it back.
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setAcceptDrops(true);
    setWindowIcon(QIcon(QStringLiteral(":/tessarin.svg")));
    buildWindow();
    m_area->setSectionHost(m_sectionHost.get());
    // Scrolling text takes one step per refresh of the screen the LED is on.
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        m_area->setRefreshMilliHz(static_cast<int>(screen->refreshRate() * 1000));
    const PageContext context{[this] { m_modified = true; }, [this] { return m_area.get(); },
                              m_prompts};
    m_pages.AddSubForm(std::make_unique<CDlgPropRtf>(context), CDlgPropRtf::kTemplateId,
                       m_pageArea);
    m_pages.AddSubForm(std::make_unique<CDlgPropText>(context), CDlgPropText::kTemplateId,
                       m_pageArea);
    m_pages.AddSubForm(std::make_unique<CDlgPropImage>(context), CDlgPropImage::kTemplateId,
                       m_pageArea);
    m_pages.AddSubForm(std::make_unique<CDlgPropGif>(context), CDlgPropGif::kTemplateId,
                       m_pageArea);

    m_keyTimer.setSingleShot(true);
    m_keyTimer.setInterval(kManualKeyMs);
    connect(&m_keyTimer, &QTimer::timeout, this, [this] { m_keyPending = false; });
    // The digits count wherever the focus is in this window: the list, a page or the window.
    qApp->installEventFilter(this);

    setPlayButtons(false, false, false);
    button(IdShowHide)->setChecked(true);
    button(IdEdit)->setChecked(true);
    onEditToggle();
    start();
    // Remote control, when the settings turn it on.
    m_remote = std::make_unique<RemoteBridge>(*this);
    m_remote->applySettings();
    m_watchdog = new Watchdog(*m_area, this);
    // A fleet on an MQTT broker, when the settings name one.
    const FleetSettings fleet = FleetSettings::load();
    if (!fleet.url.isEmpty()) {
        m_fleet = new FleetClient(*m_remote, this);
        QString error;
        if (!m_fleet->start(fleet, &error))
            showStatus(error);
    }
}

CTessarinDlg::~CTessarinDlg()
{
    // Before the bridge it answers through goes.
    delete m_fleet;
    m_fleet = nullptr;
    qApp->removeEventFilter(this);
    markCleanExit(); // an orderly end, whichever way the window went
}

void CTessarinDlg::onPreview()
{
    m_preview->setVisible(button(IdPreview)->isChecked());
}

void CTessarinDlg::resume()
{
    setPlayButtons(false, true, true);
    m_area->Play();
}

bool CTessarinDlg::playItem(int index)
{
    if (index < 0 || index >= m_area->itemCount())
        return false;
    setPlayButtons(false, true, true);
    setEditMode(false);
    m_area->Stop();
    m_area->currentIndex = index;
    m_area->SetCurrent(m_area->item(index), false);
    return true;
}

int CTessarinDlg::addItemFile(const QString& path)
{
    const int index = m_area->AddFile(path);
    if (index < 0)
        return -1;
    m_list->addItem(lineFor(path));
    m_modified = true;
    updateSelection();
    return index;
}

bool CTessarinDlg::removeItem(int index)
{
    if (index < 0 || index >= m_list->count())
        return false;
    m_list->setCurrentRow(index);
    onDeleteFile();
    return true;
}

bool CTessarinDlg::moveItemTo(int from, int to)
{
    const int count = m_list->count();
    if (from < 0 || from >= count || to < 0 || to >= count)
        return false;
    if (from != to) {
        m_area->moveItem(from, to);
        m_list->insertItem(to, m_list->takeItem(from));
        m_modified = true;
    }
    m_list->setCurrentRow(to);
    updateSelection();
    return true;
}

bool CTessarinDlg::saveProjectTo(const QString& path, QString* error)
{
    if (!m_area->SaveProject(path, error))
        return false;
    m_modified = false;
    return true;
}

void CTessarinDlg::buildWindow()
{
    struct ButtonSpec
    {
        int id;
        QStyle::StandardPixmap icon;
        StringId tip;
        bool toggle;
        void (CTessarinDlg::*command)();
    };
    const ButtonSpec toolbar[] = {
        {IdNew, QStyle::SP_FileIcon, StringId::TipNew, false, &CTessarinDlg::onNew},
        {IdOpen, QStyle::SP_DialogOpenButton, StringId::TipOpen, false, &CTessarinDlg::onOpen},
        {IdSave, QStyle::SP_DialogSaveButton, StringId::TipSave, false, &CTessarinDlg::onSave},
        {IdShowHide, QStyle::SP_ComputerIcon, StringId::TipHidePlayWindow, true,
         &CTessarinDlg::onShowHidePlayWindows},
        {IdEdit, QStyle::SP_FileDialogDetailedView, StringId::TipDisableEdit, true,
         &CTessarinDlg::onEditToggle},
        {IdSettings, QStyle::SP_FileDialogInfoView, StringId::TipNew, false,
         &CTessarinDlg::onSettings},
        {IdPlay, QStyle::SP_MediaPlay, StringId::TipPlay, false, &CTessarinDlg::onPlay},
        {IdPause, QStyle::SP_MediaPause, StringId::TipPause, false, &CTessarinDlg::onPause},
        {IdStop, QStyle::SP_MediaStop, StringId::TipStop, false, &CTessarinDlg::onStop},
        {IdPreview, QStyle::SP_DesktopIcon, StringId::TipNew, true, &CTessarinDlg::onPreview},
    };
    const ButtonSpec listButtons[] = {
        {IdAddFile, QStyle::SP_FileDialogNewFolder, StringId::TipAddFile, false,
         &CTessarinDlg::onAddFile},
        {IdDeleteFile, QStyle::SP_TrashIcon, StringId::TipDeleteFile, false,
         &CTessarinDlg::onDeleteFile},
        {IdMoveUp, QStyle::SP_ArrowUp, StringId::TipMoveUpFile, false, &CTessarinDlg::onMoveUpFile},
        {IdMoveDown, QStyle::SP_ArrowDown, StringId::TipMoveDownFile, false,
         &CTessarinDlg::onMoveDownFile},
        {IdAddClock, QStyle::SP_BrowserReload, StringId::TipAddFile, false,
         &CTessarinDlg::onAddClock},
    };
    const auto makeButton = [this](const ButtonSpec& entry, QWidget* parent) {
        auto* b = new QToolButton(parent);
        b->setObjectName(QString::number(entry.id));
        // Our own icons where the style's say nothing clear (an "i" for the settings, a list
        // for edit mode, a bin that looks the same disabled).
        const char* own = entry.id == IdSettings     ? ":/icons/settings.svg"
                          : entry.id == IdEdit       ? ":/icons/edit.svg"
                          : entry.id == IdDeleteFile ? ":/icons/delete.svg"
                          : entry.id == IdAddClock   ? ":/icons/clock.svg"
                                                     : nullptr;
        b->setIcon(own ? QIcon(QString::fromLatin1(own)) : style()->standardIcon(entry.icon));
        b->setIconSize(QSize(24, 24));
        b->setAutoRaise(true);
        b->setCheckable(entry.toggle);
        b->setFocusPolicy(Qt::NoFocus);
        b->setToolTip(entry.id == IdSettings   ? dialogText("Settings", "设置")
                      : entry.id == IdAddClock ? dialogText("Add clock", "添加时钟")
                      : entry.id == IdPreview  ? dialogText("LED preview", "LED预览")
                                               : loadString(entry.tip));
        if (entry.command)
            connect(b, &QToolButton::clicked, this, entry.command);
        return b;
    };

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(4, 4, 4, 4);
    m_toolbar = new QWidget(this);
    auto* bar = new QHBoxLayout(m_toolbar);
    bar->setContentsMargins(0, 0, 0, 0);
    bar->setSpacing(2);
    for (const ButtonSpec& entry : toolbar)
        bar->addWidget(makeButton(entry, m_toolbar));
    // What went wrong while playing: the latest message, the recent ones in its tooltip. Never a
    // box per message: an item that fails on every pass must not bury the desktop in them.
    m_status = new QLabel(m_toolbar);
    m_status->setObjectName(QStringLiteral("status"));
    m_status->setTextFormat(Qt::PlainText);
    m_status->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    // Room to read it in the toolbar strip of play mode as well.
    m_status->setMinimumWidth(m_status->fontMetrics().averageCharWidth() * 32);
    bar->addWidget(m_status, 1);
    connect(&Notifications::Relay::instance(), &Notifications::Relay::posted, this,
            &CTessarinDlg::showStatus);
    outer->addWidget(m_toolbar);
    // The LED picture, live, while the toolbar's preview button is down.
    m_preview = new LedPreview(*m_area, this);
    m_preview->hide();
    outer->addWidget(m_preview);

    m_body = new QWidget(this);
    auto* body = new QHBoxLayout(m_body);
    body->setContentsMargins(0, 0, 0, 0);
    auto* left = new QVBoxLayout;
    left->addWidget(new QLabel(dialogText("File", "文件"), m_body));
    m_list = new QListWidget(m_body);
    m_list->setMinimumWidth(160);
    connect(m_list, &QListWidget::currentRowChanged, this, [this] { updateSelection(); });
    left->addWidget(m_list);
    auto* listBar = new QHBoxLayout;
    for (const ButtonSpec& entry : listButtons)
        listBar->addWidget(makeButton(entry, m_body));
    listBar->addStretch();
    left->addLayout(listBar);
    body->addLayout(left);
    m_pageArea = new QFrame(m_body);
    m_pageArea->setFrameShape(QFrame::StyledPanel);
    m_pageArea->setMinimumSize(440, 260);
    m_hint = new QLabel(dialogText("Please add file to play.", "请加入要播放的文件。"), m_pageArea);
    m_hint->move(16, 16);
    m_hint->adjustSize();
    body->addWidget(m_pageArea, 1);
    outer->addWidget(m_body, 1);

    // The keys users of playback programs reach for.
    const struct
    {
        QKeySequence keys;
        void (CTessarinDlg::*command)();
    } shortcuts[] = {
        {QKeySequence::New, &CTessarinDlg::onNew},
        {QKeySequence::Open, &CTessarinDlg::onOpen},
        {QKeySequence::Save, &CTessarinDlg::onSave},
        {QKeySequence::SaveAs, &CTessarinDlg::onSaveAs},
        {QKeySequence(Qt::Key_F5), &CTessarinDlg::onPlay},
        {QKeySequence(Qt::Key_F6), &CTessarinDlg::onPause},
        {QKeySequence(Qt::Key_F8), &CTessarinDlg::onStop},
        {QKeySequence(Qt::CTRL | Qt::Key_Comma), &CTessarinDlg::onSettings},
    };
    for (const auto& shortcut : shortcuts)
        connect(new QShortcut(shortcut.keys, this), &QShortcut::activated, this, shortcut.command);
    // The line that plays is marked.
    auto* mark = new QTimer(this);
    connect(mark, &QTimer::timeout, this, &CTessarinDlg::updatePlayingMark);
    mark->start(300);

    adjustSize();
    m_fullSize = size();
    // Pages fill the page area, 2 pixels inside its frame.
    m_pages.setPlacement(QRect(QPoint(2, 2), m_pageArea->size() - QSize(4, 4)), true);
    // The page follows the page area, which grows with the window.
    m_pageArea->installEventFilter(this);
}

void CTessarinDlg::showStatus(const QString& text)
{
    constexpr int kKept = 50;
    m_statusLog.append(QTime::currentTime().toString(QStringLiteral("HH:mm:ss ")) + text);
    while (m_statusLog.size() > kKept)
        m_statusLog.removeFirst();
    m_status->setText(text);
    m_status->setToolTip(m_statusLog.join(QLatin1Char('\n')));
}

QToolButton* CTessarinDlg::button(int controlId) const
{
    return findChild<QToolButton*>(QString::number(controlId));
}

bool CTessarinDlg::editMode() const
{
    return button(IdEdit)->isChecked();
}

void CTessarinDlg::start()
{
    // After a crash or a power cut: the project that was playing, from the item that played.
    const ResumeState resume = ResumeState::load();
    if (resume.shouldResume() && QFileInfo(resume.project).isFile() &&
        OpenProject(resume.project) && m_area->itemCount() > 0) {
        playItem(std::min(resume.item, m_area->itemCount() - 1));
        return;
    }
    const QString last =
        SettingsStore::readString(QStringLiteral("open"), QStringLiteral("Resent file"));
    if (!last.isEmpty() && QFileInfo(last).isFile()) {
        if (OpenProject(last) &&
            SettingsStore::readInt(QStringLiteral("Tessarin"), QStringLiteral("AutoPlay"), 0) != 0)
            onPlay();
        return;
    }
    onNew();
}

// --- commands ----------------------------------------------------------------------------

void CTessarinDlg::onNew()
{
    onStop();
    button(IdEdit)->setChecked(true);
    onEditToggle();
    if (m_modified && m_prompts->askYesNo(this, loadString(StringId::AskSaveCurrent)))
        onSave();
    newProjectBody();
}

void CTessarinDlg::newProjectBody()
{
    m_area->Stop(); // nothing may play the records that go
    m_projectPath.clear();
    m_modified = false; // nothing in it yet: closing it loses nothing
    m_area->splitMode = 0;
    m_area->ClearItems();
    m_list->clear();
    updateSelection();
    m_area->ClearSections();
    m_area->AddSection(0, CAct::kDefaultWidth, 0);
    m_area->posX = 0;
    m_area->posY = 0;
    m_area->ledWidth = CAct::kDefaultWidth;
    m_area->ledHeight = CAct::kDefaultHeight;
    m_area->LayoutSections();
    button(IdPlay)->setEnabled(true);
}

void CTessarinDlg::leaveCurrentProject()
{
    onStop();
    if (m_modified && m_prompts->askYesNo(this, loadString(StringId::AskSaveCurrent)))
        onSave();
}

void CTessarinDlg::onOpen()
{
    leaveCurrentProject();
    const QString path = m_prompts->openFile(this, QString::fromLatin1(kOpenFilter));
    if (!path.isEmpty()) {
        m_recentFiles.add(path);
        OpenProject(path);
    }
    m_modified = false;
}

bool CTessarinDlg::OpenProject(const QString& path)
{
    onStop();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    m_projectPath = path;
    m_area->ClearSections();
    QString error;
    const bool loaded = m_area->LoadProject(path, &error);
    QApplication::restoreOverrideCursor();
    if (!loaded) {
        // The LED must not stay without windows: a new project takes the place of the lost one.
        m_prompts->showError(this, error);
        newProjectBody();
        m_modified = false;
        return false;
    }
    m_recentFiles.add(path);
    SettingsStore::writeString(QStringLiteral("open"), QStringLiteral("Resent file"), path);
    m_area->CreateSectionWindows();
    refillList();
    m_list->setCurrentRow(m_list->count() > 0 ? 0 : -1);
    updateSelection();
    m_area->LayoutSections();
    button(IdPlay)->setEnabled(true);
    m_modified = false;
    return true;
}

void CTessarinDlg::onSave()
{
    onStop();
    if (!m_projectPath.isEmpty() &&
        m_prompts->askYesNo(this, loadString(StringId::AskReplaceCurrent))) {
        if (saveTo(m_projectPath))
            m_modified = false;
        return;
    }
    if (!saveUnderNewName())
        m_modified = false; // a cancelled Save clears the flag, as it always has
}

void CTessarinDlg::onSaveAs()
{
    onStop();
    saveUnderNewName(); // cancelled: the project stays modified
}

bool CTessarinDlg::saveUnderNewName()
{
    const QString chosen =
        m_prompts->saveFile(this, m_projectPath, QString::fromLatin1(kProjectFilter));
    if (chosen.isEmpty())
        return false;
    const QString path = projectSavePath(chosen);
    if (!saveTo(path))
        return true; // told; not a cancel
    m_recentFiles.add(path);
    SettingsStore::writeString(QStringLiteral("open"), QStringLiteral("Resent file"), path);
    m_projectPath = path;
    m_modified = false;
    return true;
}

bool CTessarinDlg::saveTo(const QString& path)
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    QString error;
    const bool saved = m_area->SaveProject(path, &error);
    QApplication::restoreOverrideCursor();
    if (!saved)
        m_prompts->showError(this, error);
    return saved;
}

void CTessarinDlg::onShowHidePlayWindows()
{
    const bool visible = m_area->SectionsVisible();
    m_area->ShowSections(!visible);
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
    m_body->setVisible(on);
    if (on) {
        setMinimumSize(0, 0);
        resize(m_fullSize);
        onStop();
    } else {
        // The toolbar strip alone.
        const QSize strip = m_toolbar->sizeHint() + QSize(8, 8);
        setMinimumSize(0, 0);
        resize(strip);
    }
}

void CTessarinDlg::setPlayButtons(bool play, bool pause, bool stop)
{
    button(IdPlay)->setEnabled(play);
    button(IdPause)->setEnabled(pause);
    button(IdStop)->setEnabled(stop);
}

void CTessarinDlg::onPlay()
{
    if (m_area->itemCount() == 0)
        return;
    setPlayButtons(false, true, true);
    setEditMode(false);
    m_area->Stop();
    m_area->currentIndex = 0;
    m_area->SetCurrent(m_area->item(0), false);
}

void CTessarinDlg::onPause()
{
    setPlayButtons(true, false, true);
    m_area->Pause();
}

void CTessarinDlg::onStop()
{
    // Never hangs: a play thread busy with a long decode ends by itself.
    if (!m_area->StopWithin(std::chrono::milliseconds(200)))
        showStatus(dialogText("Stopping: the player is still finishing its step.",
                              "正在停止：播放线程仍在完成当前步骤。"));
    setPlayButtons(true, false, false);
}

void CTessarinDlg::onAddFile()
{
    const QStringList files = m_prompts->openFiles(this, loadString(StringId::AddFileFilter));
    if (files.isEmpty())
        return;
    addFiles(files);
}

QString CTessarinDlg::clockFilePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/Morvo/Tessarin/clock.txt");
}

void CTessarinDlg::onAddClock()
{
    // The date and the time, kept in the program's data folder so that no one writes a file by
    // hand; an edited file is kept as it is.
    const QString path = clockFilePath();
    if (!QFileInfo::exists(path)) {
        QDir().mkpath(QFileInfo(path).absolutePath());
        const SafeFile::Error error =
            SafeFile::write(path, QByteArrayView("{date} {weekday}\n{time}\n"));
        if (error != SafeFile::Error::None) {
            m_prompts->showMessage(this, SafeFile::message(error, path));
            return;
        }
    }
    const int index = m_area->AddFile(path);
    auto* item = dynamic_cast<CPropText*>(m_area->item(index));
    if (!item)
        return;
    {
        std::lock_guard lock(item->fieldsMutex());
        ItemSettings::write(*item, QStringLiteral("fields"), true);
        item->alignCenter = 1;
        item->alignVCenter = 1;
        item->effect = 1;
        item->holdTime = 600;
    }
    m_list->addItem(lineFor(path));
    m_modified = true;
    m_list->setCurrentRow(m_list->count() - 1);
    updateSelection();
}

void CTessarinDlg::addFiles(const QStringList& files)
{
    int lastAdded = -1;
    QStringList refused;
    for (const QString& file : files) {
        const int index = m_area->AddFile(file);
        if (index < 0) {
            refused << QDir::toNativeSeparators(file);
            continue;
        }
        m_list->addItem(lineFor(file));
        lastAdded = m_list->count() - 1;
    }
    // A file of a kind nothing plays is said, not dropped without a word.
    if (!refused.isEmpty())
        m_prompts->showMessage(this,
                               dialogText("These files cannot be played:", "以下文件无法播放：") +
                                   QLatin1Char('\n') + refused.join(QLatin1Char('\n')));
    m_modified = true;
    if (lastAdded >= 0)
        m_list->setCurrentRow(lastAdded);
    updateSelection();
}

void CTessarinDlg::onDeleteFile()
{
    const int row = m_list->currentRow();
    if (row < 0)
        return;
    m_area->Stop();
    m_area->takeItem(row);
    delete m_list->takeItem(row);
    const int count = m_list->count();
    m_list->setCurrentRow(count == 0 ? -1 : row - (row >= count ? 1 : 0));
    updateSelection();
    m_modified = true;
}

void CTessarinDlg::onMoveUpFile()
{
    const int row = m_list->currentRow();
    if (row < 1)
        return;
    m_area->moveItem(row, row - 1);
    m_list->insertItem(row - 1, m_list->takeItem(row));
    m_list->setCurrentRow(row - 1);
    updateSelection();
    m_modified = true;
}

void CTessarinDlg::onMoveDownFile()
{
    const int row = m_list->currentRow();
    if (row < 0 || row >= m_list->count() - 1)
        return;
    m_area->moveItem(row, row + 1);
    m_list->insertItem(row + 1, m_list->takeItem(row));
    m_list->setCurrentRow(row + 1);
    updateSelection();
    m_modified = true;
}

void CTessarinDlg::onAbout()
{
    QMessageBox::about(
        this,
        loadString(StringId::AboutBox).remove(QLatin1String("(&A)")).remove(QLatin1String("...")),
        QStringLiteral("Tessarin 6.22\nLED display wall player"));
}

void CTessarinDlg::onSettings()
{
    CDlgSeting settings(*m_area, *m_prompts, this);
    // The settings are project data: closing or switching the language asks to keep them.
    connect(&settings, &CDlgSeting::projectChanged, this, [this] { m_modified = true; });
    connect(&settings, &CDlgSeting::remoteChanged, this, [this] {
        if (m_remote)
            m_remote->applySettings();
    });
    settings.exec();
    if (settings.languageChosen() != 0) {
        // The new language shows after a restart; this window closes the usual way first.
        m_restart = true;
        done(QDialog::Accepted);
    }
}

void CTessarinDlg::updateSelection()
{
    if (!m_area)
        return;
    const int row = m_list->currentRow();
    const bool selected = row >= 0 && row < m_list->count();
    button(IdDeleteFile)->setEnabled(selected);
    button(IdMoveUp)->setEnabled(selected && row > 0);
    button(IdMoveDown)->setEnabled(selected && row < m_list->count() - 1);
    m_hint->setVisible(!selected);
    if (!selected) {
        m_pages.ShowSubForm(-1);
        return;
    }
    if (CPropBase* item = m_area->item(row))
        item->ShowProperties(m_pages);
}

void CTessarinDlg::refillList()
{
    const QSignalBlocker block(m_list);
    m_list->clear();
    for (int i = 0; i < m_area->itemCount(); ++i)
        m_list->addItem(lineFor(m_area->item(i)->filePath));
}

QString CTessarinDlg::lineFor(const QString& filePath)
{
    // The file name: what follows the last separator of either kind.
    const qsizetype cut =
        std::max(filePath.lastIndexOf(QLatin1Char('\\')), filePath.lastIndexOf(QLatin1Char('/')));
    return filePath.mid(cut + 1);
}

// --- manual play keys ----------------------------------------------------------------------

bool CTessarinDlg::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_pageArea && event->type() == QEvent::Resize) {
        m_pages.setPlacement(QRect(QPoint(2, 2), m_pageArea->size() - QSize(4, 4)), false);
        m_pages.relayout();
    }
    if (event->type() == QEvent::KeyPress) {
        // A key goes first to the focus widget, then up through its parents while nobody takes
        // it: it counts once, at its first receiver in this window.
        QWidget* focus = QApplication::focusWidget();
        const bool focusInside = focus && (focus == this || isAncestorOf(focus));
        if (watched == (focusInside ? static_cast<QObject*>(focus) : this)) {
            const auto* key = static_cast<QKeyEvent*>(event);
            if (!key->isAutoRepeat())
                handleManualKey(key->modifiers().testFlag(Qt::KeypadModifier) ? -1 : key->key());
        }
    }
    return QDialog::eventFilter(watched, event);
}

void CTessarinDlg::handleManualKey(int key)
{
    if (!m_area)
        return;
    const bool digit = key >= Qt::Key_1 && key <= Qt::Key_4;
    if (!m_area->isPlaying || std::atomic_ref<int>(m_area->manualPlay).load() == 0) {
        cancelPendingKey();
    } else if (digit && !m_keyPending) {
        m_pendingKey = key;
        m_keyPending = true;
        m_keyTimer.start();
    } else if (m_keyPending && key == m_pendingKey) {
        cancelPendingKey();
        m_area->Stop();
        const int count = m_area->itemCount();
        int index = m_area->currentIndex;
        switch (key) {
        case Qt::Key_1:
            index = index <= 0 ? count - 1 : index - 1;
            break;
        case Qt::Key_2:
            index = index >= count - 1 ? 0 : index + 1;
            break;
        case Qt::Key_3:
            index = 0;
            break;
        default:
            index = count - 1;
            break;
        }
        m_area->currentIndex = std::max(0, index);
        if (count > 0)
            m_area->SetCurrent(m_area->item(m_area->currentIndex), false);
    } else {
        cancelPendingKey();
    }
}

void CTessarinDlg::cancelPendingKey()
{
    m_keyTimer.stop();
    m_keyPending = false;
}

// --- window ------------------------------------------------------------------------------

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
        leaveCurrentProject();
        m_recentFiles.add(files.first());
        OpenProject(files.first());
        return;
    }
    addFiles(files);
}

void CTessarinDlg::updatePlayingMark()
{
    const int row = m_area && m_area->isPlaying.load() ? m_area->currentIndex.load() : -1;
    if (row == m_markedRow)
        return;
    for (const int changed : {m_markedRow, row}) {
        if (QListWidgetItem* line = changed >= 0 ? m_list->item(changed) : nullptr) {
            QFont font = line->font();
            font.setBold(changed == row);
            line->setFont(font);
            line->setIcon(changed == row ? style()->standardIcon(QStyle::SP_MediaPlay) : QIcon());
        }
    }
    m_markedRow = row;
    // What plays now, for a start after a crash; a stop is kept as a stop.
    ResumeState state;
    state.project = m_projectPath;
    state.item = std::max(row, 0);
    state.playing = row >= 0;
    state.clean = false;
    state.save();
}

void CTessarinDlg::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!m_placed) {
        m_placed = true;
        placeAtStart();
        // The windows show: ready, and the heartbeats begin.
        if (m_watchdog)
            m_watchdog->start();
    }
}

QString CTessarinDlg::placementKey() const
{
    const QScreen* here = screen();
    if (!here)
        return {};
    const QRect size = here->geometry();
    return QStringLiteral("Control %1 %2x%3")
        .arg(here->name())
        .arg(size.width())
        .arg(size.height());
}

void CTessarinDlg::placeAtStart()
{
    const QScreen* here = screen();
    if (!here || !m_area)
        return;
    const QRect available = here->availableGeometry();
    const QSize frame = frameGeometry().size().expandedTo(sizeHint());
    const QString stored =
        SettingsStore::readString(QStringLiteral("Window"), placementKey(), QString());
    const QStringList xy = stored.split(QLatin1Char(','));
    if (xy.size() == 2) {
        const QPoint at(xy[0].toInt(), xy[1].toInt());
        if (available.intersects(QRect(at, frame))) {
            move(at);
            return;
        }
    }
    move(SectionLayout::controlWindowPosition(available, m_area->DesktopRect(), frame,
                                              frameGeometry().topLeft()));
}

void CTessarinDlg::moveEvent(QMoveEvent* event)
{
    QDialog::moveEvent(event);
    if (m_area)
        m_area->LayoutSections();
}

void CTessarinDlg::keyPressEvent(QKeyEvent* event)
{
    // Escape must not close the program of an unattended LED wall.
    if (event->key() == Qt::Key_Escape || event->key() == Qt::Key_Return ||
        event->key() == Qt::Key_Enter)
        return;
    QDialog::keyPressEvent(event);
}

void CTessarinDlg::contextMenuEvent(QContextMenuEvent* event)
{
    const QString about = loadString(StringId::AboutBox);
    if (about.isEmpty())
        return;
    QMenu menu(this);
    menu.addAction(QString(about).replace(QLatin1String("(&A)"), QString()), this,
                   &CTessarinDlg::onAbout);
    menu.exec(event->globalPos());
}

void CTessarinDlg::done(int result)
{
    if (m_placed && isVisible()) {
        const QPoint at = frameGeometry().topLeft();
        SettingsStore::writeString(QStringLiteral("Window"), placementKey(),
                                   QStringLiteral("%1,%2").arg(at.x()).arg(at.y()));
    }
    if (m_area) {
        m_area->Stop();
        if (m_modified && m_prompts->askYesNo(this, loadString(StringId::AskSaveCurrent)))
            onSave();
        // Deleting the area writes its geometry back before the window goes.
        m_area.reset();
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
