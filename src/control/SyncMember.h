#pragma once

#include "remote/SyncGroup.h"

#include <QObject>
#include <QString>

#include <memory>

struct FleetSettings;
class ProjectController;

// This wall in a sync group: the group's gate in the area, the project's key and play state told
// to the group, commands forwarded to the leader while another leads, the leader's commands
// carried out while this one leads, and the leader's state and items followed while another does.
class SyncMember final : public QObject
{
    Q_OBJECT

public:
    explicit SyncMember(ProjectController& controller, QObject* parent = nullptr);
    ~SyncMember() override;

    // Joins the group the settings name (stopping and restarting the wall around it); false with
    // the reason when it cannot.
    bool start(const SyncSettings& settings, const FleetSettings& fleet, QString* error,
               qint64 clockShiftNs = 0);
    void stop();
    SyncGroup* group() const { return m_group.get(); }

    // The key of the project's items (kinds and file names, in order): two walls of one
    // project agree on it whatever folders their files are in.
    static QByteArray projectKey(const ProjectController& controller);

signals:
    // For the operator's status line: who leads now.
    void message(const QString& text);

private:
    void tellProject();
    void tellState();
    void followState(const QString& state);
    // Sets the gate with no play thread running, and plays again when the wall played.
    void swapGate(SyncGate* gate);

    ProjectController& m_controller;
    std::unique_ptr<SyncGroup> m_group;
    bool m_applying = false; // carrying out the leader's word: nothing goes back to it
};
