#pragma once

#include "remote/RemoteController.h"

#include <QObject>
#include <QPointer>

#include <memory>

class FleetClient;
class ProjectController;
class SyncMember;
class RemoteServer;

// The project controller as the remote server and the fleet client see it: status, playlist,
// the LED pictures and the commands, each carried out by the controller exactly as the toolbar's.
// Owns the server and starts or stops it as the settings say.
class RemoteBridge final : public QObject, public RemoteController
{
    Q_OBJECT

public:
    explicit RemoteBridge(ProjectController& controller, QObject* parent = nullptr);
    ~RemoteBridge() override;

    // Listens, or stops listening, as the settings store says now; a failure is told through
    // the controller's message.
    void applySettings();
    RemoteServer* server() const { return m_server.get(); }
    // The fleet client whose connection the status tells, while it lives.
    void setFleet(FleetClient* fleet);
    // The sync group whose state the status tells, while it lives.
    void setSync(SyncMember* sync);

    QJsonObject status() const override;
    QJsonArray items() const override;
    bool command(const QString& name) override;
    bool playItem(int index) override;
    int addFile(const QString& path, int zone) override;
    QJsonArray zones() const override;
    bool zoneCommand(int zone, const QString& name) override;
    bool playZoneItem(int zone, int index) override;
    bool deleteItem(int index) override;
    bool moveItem(int from, int to) override;
    bool openProject(const QString& path, QString* error) override;
    bool saveProject(QString* error) override;
    QImage ledPicture() const override;
    QImage wallPicture() const override;

private:
    ProjectController& m_controller;
    std::unique_ptr<RemoteServer> m_server;
    QPointer<FleetClient> m_fleet;
    QPointer<SyncMember> m_sync;
};
