#include "SettingsStore.h"

#include "Notifications.h"
#include "SafeFile.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

#include <atomic>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

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

// The store holds the remote token and the fleet's password: only its owner may read it. The
// file is made so before the first write puts anything in it, and made so again after every
// write (the store rewrites its file through a new one, and something else may have widened it).
constexpr mode_t kOwnerOnly = S_IRUSR | S_IWUSR;

void keepPrivate(const QString& fileName)
{
    const QByteArray name = QFile::encodeName(fileName);
    struct stat status = {};
    if (::stat(name.constData(), &status) == 0 && (status.st_mode & 07777) != kOwnerOnly)
        ::chmod(name.constData(), kOwnerOnly);
}

void createPrivate(const QString& fileName)
{
    if (QFileInfo::exists(fileName))
        return;
    QDir().mkpath(QFileInfo(fileName).absolutePath());
    const int fd = ::open(QFile::encodeName(fileName).constData(),
                          O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kOwnerOnly);
    if (fd >= 0)
        ::close(fd);
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
    createPrivate(settings.fileName());
    settings.setValue(keyPath, value);
    settings.sync();
    keepPrivate(settings.fileName());
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

bool readBool(const QString& section, const QString& key, bool defaultValue)
{
    const QVariant value = open().value(keyPath(section, key));
    if (!value.isValid())
        return defaultValue;
    const QString text = value.toString().trimmed().toLower();
    for (const char* on : {"true", "yes", "on"})
        if (text == QLatin1String(on))
            return true;
    for (const char* off : {"false", "no", "off"})
        if (text == QLatin1String(off))
            return false;
    bool ok = false;
    const int number = text.toInt(&ok);
    return ok ? number != 0 : defaultValue;
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
