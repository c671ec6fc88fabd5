#include "TestSettings.h"

#include "base/SettingsStore.h"

#include <QSettings>
#include <QTemporaryDir>

#include <memory>

namespace TestSettings {
namespace {

std::unique_ptr<QTemporaryDir>& dir()
{
    static std::unique_ptr<QTemporaryDir> d;
    return d;
}

} // namespace

void redirect()
{
    dir() = std::make_unique<QTemporaryDir>();
    qputenv("XDG_CONFIG_HOME", dir()->path().toLocal8Bit());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir()->path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir()->path());
}

void clear()
{
    QSettings(QSettings::NativeFormat, QSettings::UserScope, SettingsStore::kCompany,
              SettingsStore::kApplication)
        .clear();
}

QString folder()
{
    return dir()->path();
}

} // namespace TestSettings
