#include "ResumeState.h"

#include "SafeFile.h"
#include "SettingsStore.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>

QString ResumeState::path()
{
    return SettingsStore::folder() + QStringLiteral("/Tessarin.state");
}

ResumeState ResumeState::load()
{
    ResumeState state;
    QByteArray bytes;
    if (SafeFile::readAll(path(), &bytes, 64 * 1024) != SafeFile::ReadError::None)
        return state;
    const QJsonObject object = QJsonDocument::fromJson(bytes).object();
    state.project = object.value(QStringLiteral("project")).toString();
    state.item = std::max(0, object.value(QStringLiteral("item")).toInt());
    state.playing = object.value(QStringLiteral("playing")).toBool();
    state.clean = object.value(QStringLiteral("clean")).toBool(true);
    return state;
}

bool ResumeState::save() const
{
    QDir().mkpath(SettingsStore::folder());
    const QJsonObject object{{QStringLiteral("project"), project},
                             {QStringLiteral("item"), item},
                             {QStringLiteral("playing"), playing},
                             {QStringLiteral("clean"), clean}};
    return SafeFile::write(path(), QJsonDocument(object).toJson(QJsonDocument::Compact)) ==
           SafeFile::Error::None;
}
