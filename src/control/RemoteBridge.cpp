#include "RemoteBridge.h"

#include "ProjectController.h"
#include "SyncMember.h"
#include "base/SettingsStore.h"
#include "model/CAct.h"
#include "model/CPropBase.h"
#include "remote/FleetClient.h"
#include "remote/RemoteServer.h"
#include "remote/RemoteSettings.h"
#include "render/DesktopImage.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>

#include <cmath>
#include <shared_mutex>

namespace {

// Seconds with two decimals, null when no video frame shows.
QJsonValue positionSeconds(qint64 us)
{
    if (us < 0)
        return QJsonValue();
    return std::round(double(us) / 10'000.0) / 100.0;
}

} // namespace

RemoteBridge::RemoteBridge(ProjectController& controller, QObject* parent)
    : QObject(parent), m_controller(controller), m_server(std::make_unique<RemoteServer>(*this))
{}

RemoteBridge::~RemoteBridge() = default;

void RemoteBridge::applySettings()
{
    const RemoteSettings settings = RemoteSettings::load();
    if (!settings.enabled || settings.token.isEmpty()) {
        m_server->stop();
        return;
    }
    QString error;
    if (!m_server->start(settings, &error))
        emit m_controller.message(error);
}

void RemoteBridge::setFleet(FleetClient* fleet)
{
    m_fleet = fleet;
}

void RemoteBridge::setSync(SyncMember* sync)
{
    m_sync = sync;
}

QJsonObject RemoteBridge::status() const
{
    using State = ProjectController::PlayState;
    const CAct& area = m_controller.area();
    const State state = m_controller.playState();
    const int index = m_controller.playingIndex();
    const QString name = state == State::Idle      ? QStringLiteral("idle")
                         : state == State::Stopped ? QStringLiteral("stopped")
                         : state == State::Paused  ? QStringLiteral("paused")
                                                   : QStringLiteral("playing");
    QJsonObject led{{QStringLiteral("width"), area.settings().ledWidth},
                    {QStringLiteral("height"), area.settings().ledHeight}};
    {
        std::shared_lock lock(area.sectionsMutex());
        led.insert(QStringLiteral("sections"), int(area.sections().size()));
    }
    const CPropBase* item = index >= 0 ? area.item(index) : nullptr;
    QJsonObject status{
        {QStringLiteral("state"), name},
        {QStringLiteral("item"), item ? QJsonValue(index) : QJsonValue()},
        {QStringLiteral("itemCount"), m_controller.itemCount()},
        {QStringLiteral("file"), item ? QJsonValue(item->filePath) : QJsonValue()},
        {QStringLiteral("page"), item ? m_controller.shownPage() : 0},
        {QStringLiteral("position"), positionSeconds(m_controller.shownPositionUs())},
        {QStringLiteral("project"), m_controller.projectPath()},
        {QStringLiteral("modified"), m_controller.isModified()},
        {QStringLiteral("led"), led},
        {QStringLiteral("version"), QStringLiteral(TESSARIN_VERSION)},
    };
    if (m_controller.zoneCount() > 1)
        status.insert(QStringLiteral("zones"), zones());
    if (m_fleet)
        status.insert(QStringLiteral("fleet"),
                      QJsonObject{{QStringLiteral("connected"), m_fleet->isConnected()},
                                  {QStringLiteral("error"), m_fleet->connectionError()}});
    if (m_sync && m_sync->group())
        status.insert(QStringLiteral("sync"), m_sync->group()->status());
    return status;
}

QJsonArray RemoteBridge::items() const
{
    const CAct& area = m_controller.area();
    const bool zoned = m_controller.zoneCount() > 1;
    QJsonArray list;
    for (int i = 0; i < area.itemCount(); ++i) {
        const CPropBase* item = area.item(i);
        const int zone = m_controller.zoneOfItem(i);
        QJsonObject line{{QStringLiteral("index"), i},
                         {QStringLiteral("file"), item->filePath},
                         {QStringLiteral("class"), QLatin1String(item->className())},
                         {QStringLiteral("playing"), i == m_controller.playingIndex(zone)},
                         // As the playlist marks it: a remote operator sees it too.
                         {QStringLiteral("missing"),
                          !item->filePath.isEmpty() && !QFileInfo::exists(item->filePath)}};
        if (zoned)
            line.insert(QStringLiteral("zone"), zone);
        list.append(line);
    }
    return list;
}

QJsonArray RemoteBridge::zones() const
{
    const CAct& area = m_controller.area();
    const std::vector<AreaZone> zones = m_controller.zones();
    QJsonArray list;
    for (int k = 0; k < int(zones.size()); ++k) {
        const QRect& rect = zones[size_t(k)].rect;
        const int index = m_controller.playingIndex(k);
        const CPropBase* item = index >= 0 ? area.item(index) : nullptr;
        list.append(QJsonObject{
            {QStringLiteral("index"), k},
            {QStringLiteral("name"), zones[size_t(k)].name},
            {QStringLiteral("rect"), QJsonArray{rect.x(), rect.y(), rect.width(), rect.height()}},
            {QStringLiteral("item"), item ? QJsonValue(index) : QJsonValue()},
            {QStringLiteral("file"), item ? QJsonValue(item->filePath) : QJsonValue()},
            {QStringLiteral("page"), item ? m_controller.shownPage(k) : 0},
            {QStringLiteral("position"), positionSeconds(m_controller.shownPositionUs(k))},
        });
    }
    return list;
}

bool RemoteBridge::zoneCommand(int zone, const QString& name)
{
    ProjectController& c = m_controller;
    if (zone < 0 || zone >= c.zoneCount())
        return false;
    // Those that move act on the zone; the rest on every zone.
    if (name == QLatin1String("next"))
        return c.next(zone);
    if (name == QLatin1String("previous"))
        return c.previous(zone);
    if (name == QLatin1String("first"))
        return c.first(zone);
    if (name == QLatin1String("last"))
        return c.last(zone);
    if (name == QLatin1String("play"))
        return c.playOrResume();
    if (name == QLatin1String("restart"))
        return c.restart();
    if (name == QLatin1String("pause")) {
        c.pause();
        return true;
    }
    if (name == QLatin1String("resume")) {
        c.resume();
        return true;
    }
    if (name == QLatin1String("stop"))
        return c.stop();
    return false;
}

bool RemoteBridge::playZoneItem(int zone, int index)
{
    return index >= 0 && index < m_controller.itemCount() &&
           m_controller.zoneOfItem(index) == zone && m_controller.playItem(index);
}

bool RemoteBridge::command(const QString& name)
{
    return zoneCommand(0, name);
}

bool RemoteBridge::playItem(int index)
{
    return m_controller.playItem(index);
}

int RemoteBridge::addFile(const QString& path, int zone)
{
    return m_controller.addFile(path, nullptr, zone);
}

namespace {

// The canonical form of a path for comparing two names of one file; the path itself when it
// names nothing (any more).
QString sameFileKey(const QString& path)
{
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return canonical.isEmpty() ? QFileInfo(path).absoluteFilePath() : canonical;
}

} // namespace

bool RemoteBridge::deleteItem(int index)
{
    const CPropBase* item = m_controller.area().item(index);
    const QString file = item ? item->filePath : QString();
    if (!m_controller.removeItem(index))
        return false;
    // The file goes with its item when it was uploaded (it lies in the media folder) and no other
    // item names it; anything outside the media folder is the operator's and stays.
    RemoteSettings media = RemoteSettings::load();
    media.projectsDir.clear();
    if (file.isEmpty() || !media.allowsFile(file))
        return true;
    const QString key = sameFileKey(file);
    for (const QString& other : m_controller.area().namedFiles())
        if (sameFileKey(other) == key)
            return true;
    QFile::remove(file);
    QFile::remove(file + QStringLiteral(".RT~")); // the office converter's cache beside it
    return true;
}

bool RemoteBridge::moveItem(int from, int to)
{
    return m_controller.moveItem(from, to);
}

bool RemoteBridge::openProject(const QString& path, QString* error)
{
    // The network names only what lies in the media and projects folders: the project file and
    // every file its items show. The clock item's file is the program's own.
    const RemoteSettings settings = RemoteSettings::load();
    const QString clock = ProjectController::clockFilePath();
    const auto allowed = [&](const QString& file, QString* why) {
        if (settings.allowsFile(file) || (file != path && file == clock))
            return true;
        if (why)
            *why = QStringLiteral("%1 is outside the media and projects folders")
                       .arg(QDir::toNativeSeparators(file));
        return false;
    };
    // A wall that was playing, or any wall with Auto Play on, plays the new project from its
    // first item.
    const bool play =
        m_controller.playState() == ProjectController::PlayState::Playing ||
        SettingsStore::readBool(QStringLiteral("Tessarin"), QStringLiteral("AutoPlay"), false);
    if (!m_controller.openProject(path, error, allowed))
        return false;
    if (play && m_controller.itemCount() > 0)
        m_controller.restart();
    return true;
}

bool RemoteBridge::saveProject(QString* error)
{
    if (m_controller.projectPath().isEmpty()) {
        *error = QStringLiteral("the project has no file yet: save it once at the wall");
        return false;
    }
    return m_controller.saveProject(m_controller.projectPath(), error);
}

QImage RemoteBridge::ledPicture() const
{
    return composeDesktop(m_controller.area());
}

QImage RemoteBridge::wallPicture() const
{
    return composeWall(m_controller.area());
}
