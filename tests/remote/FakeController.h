#pragma once

#include "remote/RemoteController.h"

#include <QImage>
#include <QJsonArray>
#include <QJsonObject>
#include <QStringList>

// The program as the server sees it, recording what it is asked.
class FakeController final : public RemoteController
{
public:
    QJsonObject status() const override
    {
        return QJsonObject{{"state", state}, {"itemCount", int(files.size())}};
    }
    QJsonArray items() const override
    {
        QJsonArray list;
        for (int i = 0; i < files.size(); ++i)
            list.append(QJsonObject{{"index", i}, {"file", files[i]}});
        return list;
    }
    bool command(const QString& name) override
    {
        commands << name;
        state = name == "stop" ? "stopped" : name == "pause" ? "paused" : "playing";
        return true;
    }
    bool playItem(int index) override
    {
        commands << QStringLiteral("item %1").arg(index);
        return index >= 0 && index < files.size();
    }
    QJsonArray zones() const override
    {
        return QJsonArray{QJsonObject{{"index", 0}, {"name", "main"}},
                          QJsonObject{{"index", 1}, {"name", "ticker"}}};
    }
    bool zoneCommand(int zone, const QString& name) override
    {
        commands << QStringLiteral("zone %1 %2").arg(zone).arg(name);
        return zone >= 0 && zone < 2;
    }
    int addFile(const QString& path, int zone) override
    {
        if (zone != 0)
            commands << QStringLiteral("upload into zone %1").arg(zone);
        files << path;
        return int(files.size()) - 1;
    }
    bool deleteItem(int index) override
    {
        if (index < 0 || index >= files.size())
            return false;
        files.removeAt(index);
        return true;
    }
    bool moveItem(int from, int to) override
    {
        if (from < 0 || from >= files.size() || to < 0 || to >= files.size())
            return false;
        files.move(from, to);
        return true;
    }
    bool openProject(const QString& path, QString* error) override
    {
        *error = path + ": cannot be read";
        return false;
    }
    bool saveProject(QString* error) override
    {
        *error = QStringLiteral("the project has no file yet");
        return false;
    }
    QImage ledPicture() const override
    {
        QImage image(48, 16, QImage::Format_RGB32);
        image.fill(qRgb(255, 128, 0));
        return image;
    }
    QImage wallPicture() const override { return wall; }

    QString state = QStringLiteral("playing");
    QStringList commands;
    QStringList files;
    QImage wall = [] {
        QImage image(96, 8, QImage::Format_RGB32);
        image.fill(qRgb(0, 128, 255));
        return image;
    }();
};
