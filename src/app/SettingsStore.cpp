#include "SettingsStore.h"

#include <QSettings>

namespace SettingsStore {
namespace {

QSettings open()
{
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, kCompany, kApplication);
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

void writeInt(const QString& section, const QString& key, int value)
{
    open().setValue(keyPath(section, key), value);
}

QString readString(const QString& section, const QString& key, const QString& defaultValue)
{
    const QVariant value = open().value(keyPath(section, key));
    return value.isValid() ? value.toString() : defaultValue;
}

void writeString(const QString& section, const QString& key, const QString& value)
{
    open().setValue(keyPath(section, key), value);
}

} // namespace SettingsStore
