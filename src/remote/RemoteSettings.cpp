#include "RemoteSettings.h"

#include "base/SettingsStore.h"

#include <QDir>
#include <QFileInfo>
#include <QHostAddress>
#include <QRandomGenerator>
#include <QStandardPaths>

#include <array>

namespace {

const QString kGroup = QStringLiteral("Remote");

} // namespace

RemoteSettings RemoteSettings::load()
{
    RemoteSettings s;
    s.enabled = SettingsStore::readBool(kGroup, QStringLiteral("Enabled"), false);
    s.address = SettingsStore::readString(kGroup, QStringLiteral("Address"), s.address);
    s.port = SettingsStore::readInt(kGroup, QStringLiteral("Port"), s.port);
    s.token = SettingsStore::readString(kGroup, QStringLiteral("Token"));
    s.mediaDir = SettingsStore::readString(kGroup, QStringLiteral("MediaDir"), defaultMediaDir());
    s.projectsDir =
        SettingsStore::readString(kGroup, QStringLiteral("ProjectsDir"), defaultProjectsDir());
    s.allowedHosts = SettingsStore::readString(kGroup, QStringLiteral("AllowedHosts"))
                         .split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (QString& host : s.allowedHosts)
        host = host.trimmed().toLower();
    const int megabytes = SettingsStore::readInt(kGroup, QStringLiteral("MaxUploadMB"), 512);
    s.maxUploadBytes = qint64(std::max(1, megabytes)) * 1024 * 1024;
    return s;
}

bool RemoteSettings::save() const
{
    bool ok = SettingsStore::writeInt(kGroup, QStringLiteral("Enabled"), enabled ? 1 : 0);
    ok = SettingsStore::writeString(kGroup, QStringLiteral("Address"), address) && ok;
    ok = SettingsStore::writeInt(kGroup, QStringLiteral("Port"), port) && ok;
    ok = SettingsStore::writeString(kGroup, QStringLiteral("Token"), token) && ok;
    return ok;
}

QString RemoteSettings::makeToken()
{
    std::array<quint32, 8> words{};
    QRandomGenerator::system()->fillRange(words.data(), words.size());
    QString hex;
    for (quint32 w : words)
        hex += QStringLiteral("%1").arg(w, 8, 16, QLatin1Char('0'));
    return hex;
}

QString RemoteSettings::defaultMediaDir()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/Morvo/Tessarin/media");
}

QString RemoteSettings::defaultProjectsDir()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/Morvo/Tessarin/projects");
}

QStringList RemoteSettings::allowedFolders() const
{
    QStringList folders;
    for (const QString& folder : {mediaDir, projectsDir})
        if (!folder.isEmpty())
            folders << folder;
    return folders;
}

bool RemoteSettings::allowsFile(const QString& path) const
{
    // Links resolved on both sides: a link in the media folder to /etc is outside it. A file
    // that is not there (yet) is judged by its folder.
    const QFileInfo info(path);
    if (!info.isAbsolute())
        return false;
    QString file = info.canonicalFilePath();
    if (file.isEmpty()) {
        const QString folder = info.absoluteDir().canonicalPath();
        if (folder.isEmpty() || info.fileName() == QLatin1String(".."))
            return false;
        file = folder + QLatin1Char('/') + info.fileName();
    }
    for (const QString& folder : allowedFolders()) {
        const QString root = QFileInfo(folder).canonicalFilePath();
        if (!root.isEmpty() && file.startsWith(root + QLatin1Char('/')))
            return true;
    }
    return false;
}

bool RemoteSettings::listensBeyondThisMachine() const
{
    const QHostAddress host(address);
    return host.isNull() || !host.isLoopback();
}
