// The control window's widgets and where it stands on the screen.
#include "CTessarinDlg.h"

#include "ControlIds.h"
#include "LedPreview.h"
#include "SectionWindowHost.h"
#include "ZoneFilterModel.h"
#include "ZonePanel.h"
#include "base/Notifications.h"
#include "base/SettingsStore.h"
#include "base/StringTable.h"
#include "canvas/SectionLayout.h"
#include "control/PlaylistModel.h"
#include "control/ProjectController.h"
#include "control/Watchdog.h"
#include "model/CAct.h"
#include "ui/widgets/WindowPlacement.h"

#include <QContextMenuEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QIcon>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QMessageBox>
#include <QScreen>
#include <QShortcut>
#include <QStyle>
#include <QTime>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWindow>

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
    // Open keeps the recent projects under its arrow, as the store lists them.
    auto* recent = new QMenu(this);
    recent->setObjectName(QStringLiteral("recentProjects"));
    connect(recent, &QMenu::aboutToShow, this, [this, recent] { fillRecentMenu(recent); });
    button(IdOpen)->setMenu(recent);
    button(IdOpen)->setPopupMode(QToolButton::MenuButtonPopup);
    // What went wrong while playing: the latest message, the recent ones in its tooltip. Never a
    // box per message: an item that fails on every pass must not bury the desktop in them.
    m_status = new QLabel(m_toolbar);
    m_status->setObjectName(QStringLiteral("status"));
    m_status->setTextFormat(Qt::PlainText);
    m_status->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    // Room to read it in the toolbar strip of play mode as well.
    m_status->setMinimumWidth(m_status->fontMetrics().averageCharWidth() * 32);
    bar->addWidget(m_status, 1);
    // Where a playing video is, beside the messages (which it never overwrites).
    m_position = new QLabel(m_toolbar);
    m_position->setObjectName(QStringLiteral("position"));
    m_position->setTextFormat(Qt::PlainText);
    bar->addWidget(m_position);
    auto* positionTick = new QTimer(this);
    positionTick->setInterval(250);
    connect(positionTick, &QTimer::timeout, this, [this] {
        const QString text = positionText(m_controller->shownPositionUs());
        if (m_position->text() != text)
            m_position->setText(text);
    });
    positionTick->start();
    connect(&Notifications::Relay::instance(), &Notifications::Relay::posted, this,
            &CTessarinDlg::showStatus);
    // A message that no longer holds ("converting...") leaves the line; its tooltip keeps it.
    connect(&Notifications::Relay::instance(), &Notifications::Relay::withdrawn, this,
            [this](const QString& text) {
                if (m_status->text() == text)
                    m_status->clear();
            });
    outer->addWidget(m_toolbar);
    // The LED picture, live, while the toolbar's preview button is down.
    m_preview = new LedPreview(m_controller->area(), this);
    m_preview->hide();
    outer->addWidget(m_preview);

    m_body = new QWidget(this);
    auto* body = new QHBoxLayout(m_body);
    body->setContentsMargins(0, 0, 0, 0);
    auto* left = new QVBoxLayout;
    // The zones over the wall's picture; the list shows the selected zone's items.
    m_zonePanel = new ZonePanel(*m_controller, m_body);
    left->addWidget(m_zonePanel);
    connect(m_zonePanel, &ZonePanel::message, this, &CTessarinDlg::showStatus);
    connect(m_zonePanel, &ZonePanel::selectedZoneChanged, this, &CTessarinDlg::zoneSelected);
    left->addWidget(new QLabel(dialogText("File", "文件"), m_body));
    m_list = new QListView(m_body);
    m_list->setMinimumWidth(180);
    // The list takes the height the page area leaves: the zones above it never make the
    // window taller.
    m_list->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Ignored);
    m_list->setMinimumHeight(60);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setUniformItemSizes(true);
    // The area's own list, through the controller's model; the playing line is marked there.
    PlaylistModel& playlist = m_controller->playlist();
    playlist.setPlayingIcon(style()->standardIcon(QStyle::SP_MediaPlay));
    m_zoneFilter = new ZoneFilterModel(this);
    m_zoneFilter->setSourceModel(&playlist);
    m_list->setModel(m_zoneFilter);
    connect(m_list->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this] { updateSelection(); });
    left->addWidget(m_list, 1);
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
        // Not every desktop gives SaveAs a key: Ctrl+Shift+S always.
        {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S), &CTessarinDlg::onSaveAs},
        {QKeySequence(Qt::Key_F5), &CTessarinDlg::onPlay},
        {QKeySequence(Qt::Key_F6), &CTessarinDlg::onPause},
        {QKeySequence(Qt::Key_F8), &CTessarinDlg::onStop},
        {QKeySequence(Qt::CTRL | Qt::Key_Comma), &CTessarinDlg::onSettings},
    };
    for (const auto& shortcut : shortcuts)
        connect(new QShortcut(shortcut.keys, this), &QShortcut::activated, this, shortcut.command);
    adjustSize();
    m_fullSize = size();
    // Pages fill the page area, 2 pixels inside its frame.
    m_pages.setPlacement(QRect(QPoint(2, 2), m_pageArea->size() - QSize(4, 4)), true);
    // The page follows the page area, which grows with the window.
    m_pageArea->installEventFilter(this);
}

QString CTessarinDlg::positionText(qint64 positionUs)
{
    if (positionUs < 0)
        return {};
    const qint64 seconds = positionUs / 1000000;
    const QChar zero(u'0');
    if (seconds >= 3600)
        return QStringLiteral("%1:%2:%3")
            .arg(seconds / 3600)
            .arg(seconds / 60 % 60, 2, 10, zero)
            .arg(seconds % 60, 2, 10, zero);
    return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, zero);
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
    if (!here || !m_controller)
        return;
    const QRect available = here->availableGeometry();
    // The frame's size is not known before the window manager frames the window.
    QRect frame(QPoint(), size().expandedTo(sizeHint()));
    const QString stored =
        SettingsStore::readString(QStringLiteral("Window"), placementKey(), QString());
    const QStringList xy = stored.split(QLatin1Char(','));
    if (xy.size() == 2) {
        frame.moveTopLeft(QPoint(xy[0].toInt(), xy[1].toInt()));
    } else {
        frame.moveTopLeft(SectionLayout::controlWindowPosition(
            available, m_controller->area().DesktopRect(), frame.size(), available.topLeft()));
    }
    m_wantedFrame = WindowPlacement::clearOf(available, ledRects(), frame);
    move(*m_wantedFrame);
}

void CTessarinDlg::setVisible(bool visible)
{
    if (visible && !m_placed) {
        m_placed = true;
        placeAtStart();
    }
    QDialog::setVisible(visible);
    if (visible && !m_settled && !m_settling) {
        // Not every platform takes a position given before the first showing as the frame's
        // (X11 takes it as the client area's: the title bar went above that point). Once the
        // window manager has framed the window, its frame goes where it was meant to.
        m_settling = true;
        WindowPlacement::whenFramed(this, [this] {
            m_settled = true;
            keepClearOfLed();
        });
    }
}

QList<QRect> CTessarinDlg::ledRects() const
{
    return m_sectionHost ? m_sectionHost->windowRects() : QList<QRect>();
}

QRect CTessarinDlg::currentFrame() const
{
    return WindowPlacement::frameOf(this);
}

void CTessarinDlg::keepClearOfLed()
{
    const QScreen* here = screen();
    // Before the window manager framed the window its frame is not known: the first check
    // waits for it.
    if (!here || !m_settled || !isVisible() || isMinimized())
        return;
    const QRect frame = currentFrame();
    QRect wanted = frame;
    if (m_wantedFrame)
        wanted.moveTopLeft(*m_wantedFrame);
    m_wantedFrame.reset();
    const QPoint to = WindowPlacement::clearOf(here->availableGeometry(), ledRects(), wanted);
    WindowPlacement::moveFrameTo(this, to);
}

void CTessarinDlg::rememberPlace()
{
    if (!m_placed || !isVisible())
        return;
    // The frame's corner: the next start puts the frame back there. Until the window manager
    // has framed the window its frame is not known yet: the place it is meant to have is kept.
    const QPoint at = !m_settled && m_wantedFrame ? *m_wantedFrame : currentFrame().topLeft();
    SettingsStore::writeString(QStringLiteral("Window"), placementKey(),
                               QStringLiteral("%1,%2").arg(at.x()).arg(at.y()));
}

void CTessarinDlg::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    // The windows show: ready, and the heartbeats begin.
    if (m_watchdog && !m_watchdogStarted) {
        m_watchdogStarted = true;
        m_watchdog->start();
    }
}

void CTessarinDlg::moveEvent(QMoveEvent* event)
{
    QDialog::moveEvent(event);
    if (m_controller)
        m_controller->area().LayoutSections();
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
    // Over an item of the list, with zones: the zone it plays in.
    const int row = currentRow();
    if (m_controller && m_controller->zoneCount() > 1 && row >= 0 &&
        m_list->viewport()->rect().contains(
            m_list->viewport()->mapFromGlobal(event->globalPos()))) {
        QMenu* zones = menu.addMenu(dialogText("Play in zone", "播放分区"));
        const std::vector<AreaZone> all = m_controller->zones();
        for (int k = 0; k < int(all.size()); ++k) {
            QAction* action =
                zones->addAction(AreaZones::nameOf(all[size_t(k)], k), this, [this, row, k] {
                    QString why;
                    if (!m_controller->setItemZone(row, k, &why))
                        showStatus(why);
                });
            action->setCheckable(true);
            action->setChecked(m_controller->zoneOfItem(row) == k);
        }
    }
    menu.addAction(QString(about).replace(QLatin1String("(&A)"), QString()), this,
                   &CTessarinDlg::onAbout);
    menu.exec(event->globalPos());
}

void CTessarinDlg::onAbout()
{
    QMessageBox about(
        QMessageBox::Information,
        loadString(StringId::AboutBox).remove(QLatin1String("(&A)")).remove(QLatin1String("...")),
        QStringLiteral("Tessarin 6.22\nLED display wall player"), QMessageBox::Ok, this);
    about.setIconPixmap(windowIcon().pixmap(48, 48));
    WindowPlacement::placeDialog(&about, this, ledRects());
    about.exec();
}
