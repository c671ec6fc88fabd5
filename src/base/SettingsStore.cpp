#include "SettingsStore.h"

#include "Notifications.h"
#include "SafeFile.h"

#include <QFileInfo>
#include <QSettings>

#include <atomic>
#include <sys/statvfs.h>

namespace SettingsStore {
namespace {

std::atomic<bool> g_failureTold{false};

QSettings open()
{
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, kCompany, kApplication);
}

// The store rewrites its whole file on every change, and on a full disk the rewrite can leave it
// empty: a change is only made where the file fits again, with room to spare.
bool hasRoomFor(const QString& fileName)
{
    struct statvfs disk = {};
    const QFileInfo file(fileName);
    if (::statvfs(QFile::encodeName(file.absolutePath()).constData(), &disk) != 0)
        return true; // a store not made yet: the write tells
    const qint64 free = qint64(disk.f_bavail) * qint64(disk.f_frsize);
    return free >= file.size() + 64 * 1024;
}

// Tells the operator of the first failure to keep a setting, not of every one after it.
void tell(SafeFile::Error error, const QString& fileName)
{
    if (!g_failureTold.exchange(true))
        Notifications::post(SafeFile::message(error, fileName));
}

bool write(const QString& keyPath, const QVariant& value)
{
    QSettings settings = open();
    if (settings.value(keyPath) == value)
        return true;
    if (!hasRoomFor(settings.fileName())) {
        tell(SafeFile::Error::DiskFull, settings.fileName());
        return false;
    }
    settings.setValue(keyPath, value);
    settings.sync();
    if (settings.status() != QSettings::NoError) {
        tell(SafeFile::Error::AccessDenied, settings.fileName());
        return false;
    }
    g_failureTold = false;
    return true;
}

QString keyPath(const QString& section, const QString& key)
{
    return section + QLatin1Char('/') + key;
}

} // namespace

int readInt(const QString& section, const QString& key, int defaultValue)
{
    const QVariant value = open().value(keyPath(section, key));
    bool ok = false;
    const int result = value.toInt(&ok);
    return ok ? result : defaultValue;
}

bool writeInt(const QString& section, const QString& key, int value)
{
    return write(keyPath(section, key), value);
}

QString readString(const QString& section, const QString& key, const QString& defaultValue)
{
    const QVariant value = open().value(keyPath(section, key));
    return value.isValid() ? value.toString() : defaultValue;
}

bool writeString(const QString& section, const QString& key, const QString& value)
{
    return write(keyPath(section, key), value);
}

} // namespace SettingsStore

QString SettingsStore::folder()
{
    return QFileInfo(open().fileName()).absolutePath();
}
