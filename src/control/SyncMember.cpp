#include "SyncMember.h"

#include "ControlLog.h"
#include "PlaylistModel.h"
#include "ProjectController.h"
#include "model/CAct.h"
#include "model/CPropBase.h"

#include <QCryptographicHash>
#include <QFileInfo>
#include <QScopedValueRollback>

SyncMember::SyncMember(ProjectController& controller, QObject* parent)
    : QObject(parent), m_controller(controller)
{}

SyncMember::~SyncMember()
{
    stop();
}

QByteArray SyncMember::projectKey(const ProjectController& controller)
{
    QCryptographicHash hash(QCryptographicHash::Sha1);
    const CAct& area = controller.area();
    for (int i = 0; i < area.itemCount(); ++i) {
        const CPropBase* item = area.item(i);
        hash.addData(QByteArray(item->className()) + '\n' +
                     QFileInfo(item->filePath).fileName().toUtf8() + '\n');
    }
    return hash.result().toHex().left(16);
}

void SyncMember::swapGate(SyncGate* gate)
{
    CAct& area = m_controller.area();
    const bool playing = m_controller.playState() == ProjectController::PlayState::Playing ||
                         m_controller.playState() == ProjectController::PlayState::Paused;
    const QScopedValueRollback applying(m_applying, true); // this wall's own stop and play
    if (area.hasPlayThread()) {
        m_controller.stop();
        area.Stop(); // a gate changes only with no play thread
    }
    area.setSyncGate(gate);
    if (playing)
        m_controller.play();
}

bool SyncMember::start(const SyncSettings& settings, const FleetSettings& fleet, QString* error,
                       qint64 clockShiftNs)
{
    stop();
    if (settings.group.isEmpty())
        return true;
    auto group = std::make_unique<SyncGroup>(settings);
    group->setProject(projectKey(m_controller));
    if (!group->start(fleet, error, clockShiftNs))
        return false;
    m_group = std::move(group);
    SyncGroup* g = m_group.get();
    connect(g, &SyncGroup::leaderChanged, this, [this](const QString& leader) {
        emit message(leader.isEmpty() ? tr("Sync group: nobody leads")
                                      : tr("Sync group: %1 leads").arg(leader));
        tellState();
    });
    connect(g, &SyncGroup::commandArrived, this, [this](const QString& command) {
        qCInfo(lcControl).noquote() << "sync: a member's command:" << command;
        m_controller.runCommand(command);
    });
    connect(g, &SyncGroup::leaderStateChanged, this, &SyncMember::followState);
    connect(g, &SyncGroup::itemAsked, this, [this](int, int item) {
        if (m_controller.playState() != ProjectController::PlayState::Playing)
            return;
        const QScopedValueRollback applying(m_applying, true);
        m_controller.playItem(item);
    });
    connect(&m_controller, &ProjectController::playStateChanged, this, &SyncMember::tellState);
    connect(&m_controller, &ProjectController::projectReplaced, this, &SyncMember::tellProject);
    PlaylistModel& list = m_controller.playlist();
    for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(&list, signal, this, &SyncMember::tellProject);
    connect(&list, &QAbstractItemModel::rowsMoved, this, &SyncMember::tellProject);
    connect(&list, &QAbstractItemModel::modelReset, this, &SyncMember::tellProject);
    m_controller.setCommandForwarder([this](const QString& command) {
        if (m_applying || !m_group || !m_group->follows())
            return false;
        m_group->sendCommand(command);
        return true;
    });
    tellState();
    swapGate(g);
    return true;
}

void SyncMember::stop()
{
    if (!m_group)
        return;
    m_controller.setCommandForwarder({});
    disconnect(&m_controller, nullptr, this, nullptr);
    disconnect(&m_controller.playlist(), nullptr, this, nullptr);
    swapGate(nullptr);
    m_group.reset();
}

void SyncMember::tellProject()
{
    if (m_group)
        m_group->setProject(projectKey(m_controller));
}

void SyncMember::tellState()
{
    if (!m_group)
        return;
    switch (m_controller.playState()) {
    case ProjectController::PlayState::Playing:
        m_group->setPlayState(QStringLiteral("playing"));
        break;
    case ProjectController::PlayState::Paused:
        m_group->setPlayState(QStringLiteral("paused"));
        break;
    case ProjectController::PlayState::Stopped:
    case ProjectController::PlayState::Idle:
        m_group->setPlayState(QStringLiteral("stopped"));
        break;
    }
}

void SyncMember::followState(const QString& state)
{
    using State = ProjectController::PlayState;
    const State now = m_controller.playState();
    const QScopedValueRollback applying(m_applying, true);
    if (state == u"playing") {
        if (now == State::Paused)
            m_controller.resume();
        else if (now == State::Stopped)
            m_controller.play();
    } else if (state == u"paused") {
        if (now == State::Playing)
            m_controller.pause();
    } else if (state == u"stopped") {
        if (now == State::Playing || now == State::Paused)
            m_controller.stop();
    }
}
