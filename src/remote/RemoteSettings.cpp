#include "RemoteSettings.h"

#include "base/SettingsStore.h"

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
    s.enabled = SettingsStore::readInt(kGroup, QStringLiteral("Enabled"), 0) != 0;
    s.address = SettingsStore::readString(kGroup, QStringLiteral("Address"), s.address);
    s.port = SettingsStore::readInt(kGroup, QStringLiteral("Port"), s.port);
    s.token = SettingsStore::readString(kGroup, QStringLiteral("Token"));
    s.mediaDir = SettingsStore::readString(kGroup, QStringLiteral("MediaDir"), defaultMediaDir());
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

bool RemoteSettings::listensBeyondThisMachine() const
{
    const QHostAddress host(address);
    return host.isNull() || !host.isLoopback();
}
