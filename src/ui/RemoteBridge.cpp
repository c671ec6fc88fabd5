#include "RemoteBridge.h"

#include "CTessarinDlg.h"
#include "model/CAct.h"
#include "model/CPropBase.h"
#include "remote/RemoteServer.h"
#include "remote/RemoteSettings.h"
#include "render/DesktopImage.h"

#include <QFileInfo>
#include <QJsonArray>

#include <shared_mutex>

RemoteBridge::RemoteBridge(CTessarinDlg& window)
    : m_window(window), m_server(std::make_unique<RemoteServer>(*this))
{
    m_window.area()->setPlayObserver(this);
}

RemoteBridge::~RemoteBridge()
{
    if (CAct* area = m_window.area())
        area->setPlayObserver(nullptr);
}

void RemoteBridge::applySettings()
{
    const RemoteSettings settings = RemoteSettings::load();
    if (!settings.enabled || settings.token.isEmpty()) {
        m_server->stop();
        return;
    }
    QString error;
    if (!m_server->start(settings, &error))
        m_window.showStatus(error);
}

void RemoteBridge::pictureShown(const CPropBase&, const QJsonObject& details)
{
    if (!details.contains(QStringLiteral("page")))
        return;
    m_page.store(details.value(QStringLiteral("page")).toInt());
    m_pageItem.store(m_window.area()->currentIndex.load());
}

QJsonObject RemoteBridge::status() const
{
    const CAct& area = *m_window.area();
    const int count = area.itemCount();
    const int index = area.currentIndex.load();
    const bool playing = area.isPlaying.load();
    const QString state = count == 0             ? QStringLiteral("idle")
                          : !playing             ? QStringLiteral("stopped")
                          : area.isPaused.load() ? QStringLiteral("paused")
                                                 : QStringLiteral("playing");
    const bool current = playing && index >= 0 && index < count;
    QJsonObject led{{QStringLiteral("width"), area.ledWidth},
                    {QStringLiteral("height"), area.ledHeight}};
    {
        std::shared_lock lock(area.sectionsMutex());
        led.insert(QStringLiteral("sections"), int(area.sections.size()));
    }
    const CPropBase* item = current ? area.item(index) : nullptr;
    return QJsonObject{
        {QStringLiteral("state"), state},
        {QStringLiteral("item"), current ? QJsonValue(index) : QJsonValue()},
        {QStringLiteral("itemCount"), count},
        {QStringLiteral("file"), item ? QJsonValue(item->filePath) : QJsonValue()},
        {QStringLiteral("page"), current && m_pageItem.load() == index ? m_page.load() : 0},
        {QStringLiteral("project"), m_window.projectPath()},
        {QStringLiteral("modified"), m_window.isModified()},
        {QStringLiteral("led"), led},
        {QStringLiteral("version"), QStringLiteral(TESSARIN_VERSION)},
    };
}

QJsonArray RemoteBridge::items() const
{
    const CAct& area = *m_window.area();
    const int playing = area.isPlaying.load() ? area.currentIndex.load() : -1;
    QJsonArray list;
    for (int i = 0; i < area.itemCount(); ++i) {
        const CPropBase* item = area.item(i);
        list.append(QJsonObject{{QStringLiteral("index"), i},
                                {QStringLiteral("file"), item->filePath},
                                {QStringLiteral("class"), QLatin1String(item->className())},
                                {QStringLiteral("playing"), i == playing}});
    }
    return list;
}

bool RemoteBridge::command(const QString& name)
{
    CAct& area = *m_window.area();
    const int count = area.itemCount();
    const int index = area.currentIndex.load();
    if (name == QLatin1String("play")) {
        if (area.isPaused.load())
            area.Pause(); // a second pause goes on, as the toolbar's does
        else
            m_window.onPlay();
    } else if (name == QLatin1String("pause")) {
        if (area.isPlaying.load() && !area.isPaused.load())
            m_window.onPause();
    } else if (name == QLatin1String("stop")) {
        m_window.onStop();
    } else if (name == QLatin1String("next")) {
        return count > 0 && playItem(index >= count - 1 ? 0 : index + 1);
    } else if (name == QLatin1String("previous")) {
        return count > 0 && playItem(index <= 0 ? count - 1 : index - 1);
    } else if (name == QLatin1String("first")) {
        return count > 0 && playItem(0);
    } else if (name == QLatin1String("last")) {
        return count > 0 && playItem(count - 1);
    } else {
        return false;
    }
    return true;
}

bool RemoteBridge::playItem(int index)
{
    return m_window.playItem(index);
}

int RemoteBridge::addFile(const QString& path)
{
    return m_window.addItemFile(path);
}

bool RemoteBridge::deleteItem(int index)
{
    return m_window.removeItem(index);
}

bool RemoteBridge::moveItem(int from, int to)
{
    return m_window.moveItemTo(from, to);
}

bool RemoteBridge::openProject(const QString& path, QString* error)
{
    if (!QFileInfo(path).isFile()) {
        *error = QStringLiteral("%1: no such file").arg(path);
        return false;
    }
    // Read once aside first: a file that does not load leaves the wall as it is.
    CAct trial(CAct::Binding::Detached);
    if (!trial.LoadProject(path, error))
        return false;
    return m_window.OpenProject(path);
}

bool RemoteBridge::saveProject(QString* error)
{
    if (m_window.projectPath().isEmpty()) {
        *error = QStringLiteral("the project has no file yet: save it once at the wall");
        return false;
    }
    return m_window.saveProjectTo(m_window.projectPath(), error);
}

QImage RemoteBridge::ledPicture() const
{
    return composeDesktop(*m_window.area());
}
