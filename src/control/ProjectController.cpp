#include "ProjectController.h"

#include "ControlLog.h"
#include "PlaylistModel.h"
#include "base/FileSniff.h"
#include "base/Notifications.h"
#include "base/RecentFileList.h"
#include "base/ResumeState.h"
#include "base/SafeFile.h"
#include "base/SettingsStore.h"
#include "base/StringTable.h"
#include "model/CAct.h"
#include "model/CPropText.h"
#include "model/ItemSettings.h"
#include "players/PlayerFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <algorithm>

namespace {

constexpr int kWatchMs = 300;

} // namespace

ProjectController::ProjectController(SectionHost* host, RecentFileList* recentFiles,
                                     QObject* parent)
    : QObject(parent), m_recentFiles(recentFiles), m_area(std::make_unique<CAct>()),
      m_playlist(std::make_unique<PlaylistModel>(*m_area))
{
    m_area->setSectionHost(host);
    // Before anything can play: the play thread reads the observer without a lock.
    m_area->setPlayObserver(this);
    // The play thread tells of files that went or came back; the list marks them.
    connect(&Notifications::Relay::instance(), &Notifications::Relay::fileMissingChanged,
            m_playlist.get(), &PlaylistModel::setMissing);
    m_watch.setInterval(kWatchMs);
    connect(&m_watch, &QTimer::timeout, this, &ProjectController::watchPlayback);
    m_watch.start();
}

ProjectController::~ProjectController()
{
    m_watch.stop();
    // The area ends its play thread (and then forgets its observer) before this object goes;
    // the model that reads the area goes after it is empty.
    m_area->Stop();
    m_area->setPlayObserver(nullptr);
    m_playlist->beginReset();
    m_area->ClearItems();
    m_playlist->endReset();
}

void ProjectController::setModified(bool modified)
{
    if (modified == m_modified)
        return;
    m_modified = modified;
    emit modifiedChanged(modified);
}

bool ProjectController::stopBounded(QString* error)
{
    return m_area->StopWithin(kStopWait) || stopUnfinished(-1, error);
}

bool ProjectController::stopZoneBounded(int zone, QString* error)
{
    return m_area->zoneArea(zone).StopZoneWithin(kStopWait) || stopUnfinished(zone, error);
}

bool ProjectController::stopUnfinished(int zone, QString* error)
{
    if (error)
        *error = QStringLiteral("the player is still finishing its step");
    if (zone >= 0)
        qCInfo(lcControl) << "zone" << zone << "stop not finished within" << kStopWait.count()
                          << "ms";
    else
        qCInfo(lcControl) << "stop not finished within" << kStopWait.count() << "ms";
    emit message(dialogText("Stopping: the player is still finishing its step.",
                            "正在停止：播放线程仍在完成当前步骤。"));
    return false;
}

// --- the project ----------------------------------------------------------------------------

void ProjectController::resetToNew()
{
    m_playlist->beginReset();
    m_area->ClearItems();
    m_playlist->endReset();
    m_area->ClearSections();
    m_area->changeSettings([](AreaSettings& s) {
        s.splitMode = 0;
        s.posX = 0;
        s.posY = 0;
        s.ledWidth = CAct::kDefaultWidth;
        s.ledHeight = CAct::kDefaultHeight;
    });
    m_area->AddSection(0, CAct::kDefaultWidth, 0);
    m_area->LayoutSections();
    m_projectPath.clear();
    setModified(false); // nothing in it yet: closing it loses nothing
    emit projectReplaced();
    emit playStateChanged();
}

bool ProjectController::newProject(QString* error)
{
    if (!stopBounded(error))
        return false;
    resetToNew();
    return true;
}

bool ProjectController::openProject(const QString& path, QString* error, const FileRule& allowed)
{
    QString ignored;
    QString& why = error ? *error : ignored;
    if (allowed && !allowed(path, &why))
        return false;
    if (!QFileInfo(path).isFile()) {
        why = QStringLiteral("%1: no such file").arg(QDir::toNativeSeparators(path));
        return false;
    }
    // Looked at before it is read, then read aside: a file that is no project, or does not
    // load, leaves the wall as it is.
    if (!CAct::checkProjectFile(path, &why))
        return false;
    CAct loaded;
    if (!loaded.LoadProject(path, &why)) {
        // The reader names the fault as the archive layer sees it; the operator is told in
        // words what happened, and that nothing was lost.
        if (QFileInfo(path).isReadable())
            why = dialogText("%1 is damaged or not a whole project and was not opened; the open "
                             "project stays as it was. (%2)",
                             "%1 已损坏或不是完整的节目文件，未打开；当前节目保持不变。（%2）")
                      .arg(QDir::toNativeSeparators(path), why);
        return false;
    }
    if (!loaded.checkProjectShape(path, &why))
        return false;
    if (allowed) {
        for (const QString& file : loaded.namedFiles()) {
            QString reason;
            if (!allowed(file, &reason)) {
                why = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), reason);
                return false;
            }
        }
    }
    if (!stopBounded(&why))
        return false;
    m_playlist->beginReset();
    m_area->takeProject(loaded);
    m_playlist->endReset();
    for (int i = 0; i < m_area->itemCount(); ++i)
        if (const CPropBase* item = m_area->item(i))
            checkFile(item->filePath);
    m_area->CreateSectionWindows();
    m_area->LayoutSections();
    m_projectPath = path;
    setModified(false);
    rememberRecent(path);
    qCInfo(lcControl) << "opened" << path << m_area->itemCount() << "items";
    emit projectReplaced();
    emit playStateChanged();
    return true;
}

bool ProjectController::saveProject(const QString& path, QString* error)
{
    if (!m_area->SaveProject(path, error))
        return false;
    m_projectPath = path;
    setModified(false);
    rememberRecent(path);
    return true;
}

void ProjectController::rememberRecent(const QString& path)
{
    if (m_recentFiles)
        m_recentFiles->add(path);
    SettingsStore::writeString(QStringLiteral("open"), QStringLiteral("Resent file"), path);
}

ProjectController::Start ProjectController::startSession()
{
    const ResumeState resume = ResumeState::load();
    if (resume.shouldResume() && openProject(resume.project, nullptr) && itemCount() > 0) {
        playItem(std::min(resume.item, itemCount() - 1));
        return Start::Resumed;
    }
    const QString last =
        SettingsStore::readString(QStringLiteral("open"), QStringLiteral("Resent file"));
    QString error;
    if (!last.isEmpty() && QFileInfo(last).isFile()) {
        if (openProject(last, &error)) {
            if (SettingsStore::readBool(QStringLiteral("Tessarin"), QStringLiteral("AutoPlay"),
                                        false))
                play();
            return Start::Opened;
        }
        emit message(error);
    }
    newProject();
    return Start::New;
}

// --- the playlist ---------------------------------------------------------------------------

int ProjectController::itemCount() const
{
    return m_area->itemCount();
}

int ProjectController::addFile(const QString& path, QString* why, int zone)
{
    std::unique_ptr<CPropBase> item = CAct::makeItemForFile(path);
    if (!item)
        return -1;
    if (zone > 0 && zone < zoneCount())
        ItemSettings::write(*item, AreaZones::kZoneKey, zone);
    // What is there is looked at first: a file whose bytes are not what its name says would
    // play as garbage or as a blank page.
    if (QFileInfo(path).isFile()) {
        QFile file(path);
        QString reason;
        if (file.open(QIODevice::ReadOnly) &&
            !PlayerFile::matches(path, file.read(FileSniff::kHeadBytes), &reason)) {
            if (why)
                *why = reason;
            return -1;
        }
    }
    const int index = appendItem(std::move(item));
    checkFile(path);
    return index;
}

QStringList ProjectController::addFiles(const QStringList& paths, int* last, int zone)
{
    QStringList refused;
    int added = -1;
    for (const QString& path : paths) {
        QString why;
        const int index = addFile(path, &why, zone);
        if (index < 0) {
            const QString name = QDir::toNativeSeparators(path);
            refused << (why.isEmpty() ? name : QStringLiteral("%1 (%2)").arg(name, why));
            continue;
        }
        added = index;
    }
    if (last)
        *last = added;
    return refused;
}

void ProjectController::checkFile(const QString& path)
{
    if (path.isEmpty())
        return;
    const bool missing = !QFileInfo::exists(path);
    m_playlist->setMissing(path, missing);
    if (missing)
        Notifications::fileMissing(path);
    else
        Notifications::fileFound(path);
}

int ProjectController::appendItem(std::unique_ptr<CPropBase> item)
{
    m_playlist->beginAppend(1);
    m_area->appendItem(std::move(item));
    m_playlist->endAppend();
    setModified(true);
    return itemCount() - 1;
}

QString ProjectController::clockFilePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/Morvo/Tessarin/clock.txt");
}

int ProjectController::addClock(QString* error)
{
    // The date and the time, kept in the program's data folder so that no one writes a file by
    // hand; an edited file is kept as it is.
    const QString path = clockFilePath();
    if (!QFileInfo::exists(path)) {
        QDir().mkpath(QFileInfo(path).absolutePath());
        const SafeFile::Error failure =
            SafeFile::write(path, QByteArrayView("{date} {weekday}\n{time}\n"));
        if (failure != SafeFile::Error::None) {
            if (error)
                *error = SafeFile::message(failure, path);
            return -1;
        }
    }
    const int index = addFile(path);
    if (auto* item = dynamic_cast<CPropText*>(m_area->item(index))) {
        std::lock_guard lock(item->fieldsMutex());
        ItemSettings::write(*item, QStringLiteral("fields"), true);
        item->alignCenter = 1;
        item->alignVCenter = 1;
        item->effect = 1;
        item->holdTime = 600;
    }
    return index;
}

bool ProjectController::removeItem(int index, QString* error)
{
    if (index < 0 || index >= itemCount()) {
        if (error)
            *error = QStringLiteral("no such item");
        return false;
    }
    const bool wasPlaying = playState() == PlayState::Playing;
    if (zoneCount() > 1) {
        // Only the item's zone needs its thread ended; the others play on undisturbed.
        const int zone = zoneOfItem(index);
        if (otherZonePlays(zone)) {
            const bool resume = wasPlaying && m_area->zoneArea(zone).isPlaying();
            if (!stopZoneBounded(zone, error))
                return false;
            m_playlist->beginRemove(index);
            m_area->takeItem(index);
            m_playlist->endRemove();
            setModified(true);
            // The removed item's place now holds the one after it.
            if (resume)
                playZoneAfter(zone, index);
            watchPlayback();
            return true;
        }
    }
    const int playing = playingIndex();
    if (!stopBounded(error))
        return false;
    m_playlist->beginRemove(index);
    m_area->takeItem(index);
    m_playlist->endRemove();
    setModified(true);
    watchPlayback();
    const int count = itemCount();
    if (wasPlaying && count > 0) {
        // The removed item's place now holds the one after it; the one that played moved up a
        // line when it stood after the removed one.
        const int next = playing == index ? (index < count ? index : 0)
                                          : (playing > index ? playing - 1 : playing);
        playItem(next);
    }
    return true;
}

bool ProjectController::moveItem(int from, int to)
{
    const int count = itemCount();
    if (from < 0 || from >= count || to < 0 || to >= count)
        return false;
    if (from == to)
        return true;
    // Allowed while playing: the item that plays keeps playing and stays marked, and the loop
    // goes on from where it stands now.
    const bool moving = m_playlist->beginMove(from, to);
    m_area->moveItem(from, to);
    if (moving)
        m_playlist->endMove();
    setModified(true);
    watchPlayback();
    return true;
}

// --- playback -------------------------------------------------------------------------------

ProjectController::PlayState ProjectController::playState() const
{
    if (itemCount() == 0)
        return PlayState::Idle;
    bool playing = false;
    bool paused = false;
    for (int zone = 0; zone < zoneCount(); ++zone) {
        const CAct& area = m_area->zoneArea(zone);
        playing = playing || area.isPlaying();
        paused = paused || (area.isPlaying() && area.isPaused());
    }
    if (!playing)
        return PlayState::Stopped;
    return paused ? PlayState::Paused : PlayState::Playing;
}

bool ProjectController::anyZonePlaying() const
{
    return otherZonePlays(-1);
}

bool ProjectController::otherZonePlays(int zone) const
{
    for (int other = 0; other < zoneCount(); ++other)
        if (other != zone && m_area->zoneArea(other).isPlaying())
            return true;
    return false;
}

const ProjectController::Shown& ProjectController::shownOf(int zone) const
{
    return m_shown[size_t(std::clamp(zone, 0, AreaZones::kMostZones - 1))];
}

int ProjectController::playingIndex(int zone) const
{
    const CAct& area = m_area->zoneArea(zone);
    return area.isPlaying() ? area.currentIndex() : -1;
}

int ProjectController::currentIndex(int zone) const
{
    return m_area->zoneArea(zone).currentIndex();
}

int ProjectController::shownPage(int zone) const
{
    const int index = playingIndex(zone);
    const Shown& shown = shownOf(zone);
    return index >= 0 && shown.pageItem.load() == index ? shown.page.load() : 0;
}

qint64 ProjectController::shownPositionUs(int zone) const
{
    // The item first, then the time: a time stored before its item was, never an older one.
    const int index = playingIndex(zone);
    const Shown& shown = shownOf(zone);
    if (index < 0 || shown.positionItem.load(std::memory_order_acquire) != index)
        return -1;
    return shown.positionUs.load(std::memory_order_relaxed);
}

void ProjectController::positionShown(const CPropBase&, qint64 ptsUs)
{
    // On the play thread, at the frame rate: only atomics.
    const int zone = CAct::playThreadZone();
    Shown& shown = m_shown[size_t(zone)];
    shown.positionUs.store(ptsUs, std::memory_order_relaxed);
    shown.positionItem.store(m_area->zoneArea(zone).currentIndex(), std::memory_order_release);
}

void ProjectController::pictureShown(const CPropBase&, const QJsonObject& details)
{
    // On the play thread: only atomics.
    const int zone = CAct::playThreadZone();
    Shown& shown = m_shown[size_t(zone)];
    if (details.value(QStringLiteral("phase")) == QStringLiteral("cleared"))
        shown.positionItem.store(-1); // the zone's last frame is gone
    if (!details.contains(QStringLiteral("page")))
        return;
    shown.page.store(details.value(QStringLiteral("page")).toInt());
    shown.pageItem.store(m_area->zoneArea(zone).currentIndex());
}

bool ProjectController::startAt(int index)
{
    if (index >= itemCount() || itemCount() == 0)
        return false;
    if (!stopBounded())
        return false;
    m_area->playAllFrom(index);
    qCDebug(lcControl) << "playing from item" << index;
    watchPlayback();
    return true;
}

bool ProjectController::startZoneAt(int index)
{
    const CPropBase* item = m_area->item(index);
    if (!item)
        return false;
    const int zone = zoneOfItem(index);
    if (!otherZonePlays(zone))
        return startAt(index);
    if (!stopZoneBounded(zone))
        return false;
    m_area->playFrom(index);
    qCDebug(lcControl) << "zone" << zone << "playing from item" << index;
    watchPlayback();
    return true;
}

bool ProjectController::play()
{
    if (forwarded(QStringLiteral("play")))
        return true;
    if (playState() == PlayState::Paused) {
        resume();
        return true;
    }
    return startAt(-1);
}

bool ProjectController::playOrResume()
{
    if (forwarded(QStringLiteral("resume")))
        return true;
    switch (playState()) {
    case PlayState::Paused:
        resume();
        return true;
    case PlayState::Playing:
        return true;
    case PlayState::Stopped:
        return startAt(-1);
    case PlayState::Idle:
        return false;
    }
    return false;
}

bool ProjectController::restart()
{
    if (forwarded(QStringLiteral("restart")))
        return true;
    return startAt(-1);
}

void ProjectController::pause()
{
    if (forwarded(QStringLiteral("pause")))
        return;
    if (playState() != PlayState::Playing)
        return;
    m_area->Pause();
    watchPlayback();
}

void ProjectController::resume()
{
    if (forwarded(QStringLiteral("resume")))
        return;
    if (playState() != PlayState::Paused)
        return;
    m_area->Play(); // opens the gate; the thread goes on where it was
    watchPlayback();
}

bool ProjectController::stop()
{
    if (forwarded(QStringLiteral("stop")))
        return true;
    const bool ended = stopBounded();
    // The last picture stays on the wall unless the operator asked for a black wall at a stop
    // (a live clock would show a wrong time). A thread still finishing its step would draw over
    // the black, so only an ended one is blanked.
    if (ended &&
        SettingsStore::readBool(QStringLiteral("Tessarin"), QStringLiteral("BlankOnStop"), false))
        m_area->BlankSections();
    watchPlayback();
    return ended;
}

bool ProjectController::playItem(int index)
{
    if (forwarded(QStringLiteral("item %1").arg(index)))
        return true;
    return startZoneAt(index);
}

bool ProjectController::next(int zone)
{
    if (forwarded(QStringLiteral("next %1").arg(zone)))
        return true;
    const std::vector<int> rows = zoneRows(zone);
    if (rows.empty())
        return false;
    const auto at = std::find(rows.begin(), rows.end(), currentIndex(zone));
    return startZoneAt(at == rows.end() || at + 1 == rows.end() ? rows.front() : *(at + 1));
}

bool ProjectController::previous(int zone)
{
    if (forwarded(QStringLiteral("previous %1").arg(zone)))
        return true;
    const std::vector<int> rows = zoneRows(zone);
    if (rows.empty())
        return false;
    const auto at = std::find(rows.begin(), rows.end(), currentIndex(zone));
    return startZoneAt(at == rows.end() || at == rows.begin() ? rows.back() : *(at - 1));
}

bool ProjectController::first(int zone)
{
    if (forwarded(QStringLiteral("first %1").arg(zone)))
        return true;
    const std::vector<int> rows = zoneRows(zone);
    return !rows.empty() && startZoneAt(rows.front());
}

bool ProjectController::last(int zone)
{
    if (forwarded(QStringLiteral("last %1").arg(zone)))
        return true;
    const std::vector<int> rows = zoneRows(zone);
    return !rows.empty() && startZoneAt(rows.back());
}

bool ProjectController::runCommand(const QString& command)
{
    const QStringList words = command.split(u' ', Qt::SkipEmptyParts);
    if (words.isEmpty() || words.size() > 2)
        return false;
    const QString& verb = words[0];
    int number = 0;
    if (words.size() == 2) {
        bool ok = false;
        number = words[1].toInt(&ok);
        if (!ok || number < 0)
            return false;
    }
    if (words.size() == 1) {
        if (verb == u"play")
            return play();
        if (verb == u"resume")
            return playOrResume();
        if (verb == u"restart")
            return restart();
        if (verb == u"stop")
            return stop();
        if (verb == u"pause") {
            pause();
            return true;
        }
        return false;
    }
    if (verb == u"item")
        return number < itemCount() && playItem(number);
    if (number >= zoneCount())
        return false;
    if (verb == u"next")
        return next(number);
    if (verb == u"previous")
        return previous(number);
    if (verb == u"first")
        return first(number);
    if (verb == u"last")
        return last(number);
    return false;
}

// --- zones ----------------------------------------------------------------------------------

int ProjectController::zoneCount() const
{
    return m_area->zoneCount();
}

std::vector<AreaZone> ProjectController::zones() const
{
    std::vector<AreaZone> zones = m_area->zones();
    if (zones.empty())
        zones = AreaZones::whole(QSize(m_area->settings().ledWidth, m_area->settings().ledHeight));
    return zones;
}

bool ProjectController::setZones(std::vector<AreaZone> zones, QString* why)
{
    const QSize led(m_area->settings().ledWidth, m_area->settings().ledHeight);
    const QString refused = AreaZones::check(zones, led);
    if (!refused.isEmpty()) {
        if (why)
            *why = refused;
        return false;
    }
    if (zones == this->zones())
        return true;
    const bool wasPlaying = playState() == PlayState::Playing;
    if (!stopBounded(why))
        return false;
    if (!m_area->setZones(std::move(zones), why))
        return false;
    m_playlist->zonesChanged();
    setModified(true);
    emit zonesChanged();
    watchPlayback();
    if (wasPlaying && itemCount() > 0)
        restart();
    return true;
}

bool ProjectController::removeZone(int zone, QString* why)
{
    std::vector<AreaZone> zones = this->zones();
    if (zone < 1 || zone >= int(zones.size())) {
        if (why)
            *why = QStringLiteral("no such zone");
        return false;
    }
    const bool wasPlaying = playState() == PlayState::Playing;
    if (!stopBounded(why))
        return false;
    // Nothing plays: the items' zones are written as they are, told once by setZones.
    for (int i = 0; i < itemCount(); ++i) {
        const int at = zoneOfItem(i);
        if (at >= zone)
            writeItemZone(*m_area->item(i), at == zone ? 0 : at - 1);
    }
    zones.erase(zones.begin() + zone);
    const bool taken = setZones(std::move(zones), why);
    if (wasPlaying && itemCount() > 0 && !anyZonePlaying())
        restart();
    return taken;
}

int ProjectController::zoneOfItem(int index) const
{
    const CPropBase* item = m_area->item(index);
    return item ? AreaZones::zoneOf(*item, zoneCount()) : 0;
}

bool ProjectController::setItemZone(int index, int zone, QString* why)
{
    CPropBase* item = m_area->item(index);
    if (!item || zone < 0 || zone >= AreaZones::kMostZones) {
        if (why)
            *why = QStringLiteral("no such item or zone");
        return false;
    }
    const int from = zoneOfItem(index);
    if (zone == from && zone < zoneCount())
        return true;
    // The player may hold the item when it is its zone's current one: that zone's thread ends
    // first and goes on with its next item; the item's new zone plays it from its next turn.
    const bool held = m_area->zoneArea(from).currentItem() == item;
    const bool resume =
        held && m_area->zoneArea(from).isPlaying() && playState() == PlayState::Playing;
    if (held && !stopZoneBounded(from, why))
        return false;
    if (!writeItemZone(*item, zone)) {
        if (why)
            *why = QStringLiteral("the item's settings are not ours to change");
        return false;
    }
    m_playlist->zonesChanged();
    setModified(true);
    emit zonesChanged();
    if (resume)
        playZoneAfter(from, index);
    watchPlayback();
    return true;
}

bool ProjectController::writeItemZone(CPropBase& item, int zone)
{
    std::lock_guard lock(item.fieldsMutex());
    return ItemSettings::write(item, AreaZones::kZoneKey,
                               zone == 0 ? QJsonValue() : QJsonValue(zone));
}

void ProjectController::playZoneAfter(int zone, int row)
{
    const std::vector<int> rows = zoneRows(zone);
    if (rows.empty())
        return; // the zone shows what it showed
    const auto next = std::find_if(rows.begin(), rows.end(), [row](int r) { return r >= row; });
    startZoneAt(next == rows.end() ? rows.front() : *next);
}

std::vector<int> ProjectController::zoneRows(int zone) const
{
    std::vector<int> rows;
    for (int i = 0; i < itemCount(); ++i)
        if (zoneOfItem(i) == zone)
            rows.push_back(i);
    return rows;
}

bool ProjectController::preview(CPropBase& item)
{
    if (!stopBounded())
        return false;
    m_area->preview(&item);
    watchPlayback();
    return true;
}

void ProjectController::watchPlayback()
{
    const PlayState state = playState();
    const int playing = playingIndex();
    if (state != m_lastState) {
        m_lastState = state;
        emit playStateChanged();
    }
    std::vector<int> rows(size_t(zoneCount()), -1);
    for (int zone = 0; zone < zoneCount(); ++zone)
        rows[size_t(zone)] = playingIndex(zone);
    m_playlist->setPlayingRows(rows);
    if (playing == m_lastPlaying)
        return;
    m_lastPlaying = playing;
    emit playingIndexChanged(playing);
    // What plays now, for a start after a crash; a stop is kept as a stop.
    ResumeState resume;
    resume.project = m_projectPath;
    resume.item = std::max(playing, 0);
    resume.playing = playing >= 0;
    resume.clean = false;
    resume.save();
}
