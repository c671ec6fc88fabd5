#include "SyncGroup.h"

#include "FleetClient.h"
#include "FleetText.h"
#include "MqttConnection.h"
#include "RemoteLog.h"
#include "base/SettingsStore.h"
#include "model/CAct.h"

#include <QJsonArray>
#include <QMetaObject>
#include <QTimer>

#include <mosquitto.h>

#include <chrono>
#include <utility>

namespace {

const QString kGroup = QStringLiteral("Sync");
// How often a follower waiting at an entry looks for the leader's word.
constexpr auto kPoll = std::chrono::milliseconds(4);

qint64 toNs(WaitClock::TimePoint t)
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch()).count();
}

WaitClock::TimePoint fromNs(qint64 ns)
{
    return WaitClock::TimePoint(
        std::chrono::duration_cast<WaitClock::TimePoint::duration>(std::chrono::nanoseconds(ns)));
}

QByteArray roleWord(SyncSettings::Role role)
{
    return SyncSettings::roleName(role).toLatin1();
}

} // namespace

SyncSettings SyncSettings::load()
{
    SyncSettings s;
    s.group = SettingsStore::readString(kGroup, QStringLiteral("Group")).trimmed();
    parseRole(SettingsStore::readString(kGroup, QStringLiteral("Role")), &s.role);
    s.leadMs =
        std::clamp(SettingsStore::readInt(kGroup, QStringLiteral("LeadMs"), s.leadMs), 20, 2000);
    return s;
}

void SyncSettings::storeGroupAndRole() const
{
    SettingsStore::writeString(kGroup, QStringLiteral("Group"), group);
    SettingsStore::writeString(kGroup, QStringLiteral("Role"), roleName(role));
}

QString SyncSettings::roleName(Role role)
{
    switch (role) {
    case Role::Leader:
        return QStringLiteral("leader");
    case Role::Follower:
        return QStringLiteral("follower");
    case Role::Auto:
        break;
    }
    return QStringLiteral("auto");
}

bool SyncSettings::parseRole(const QString& text, Role* role)
{
    for (Role r : {Role::Auto, Role::Leader, Role::Follower}) {
        if (text.trimmed().compare(roleName(r), Qt::CaseInsensitive) == 0) {
            *role = r;
            return true;
        }
    }
    return false;
}

SyncGroup::SyncGroup(SyncSettings settings, QObject* parent)
    : QObject(parent), m_settings(std::move(settings)),
      m_link(m_settings.group, [this] { return SyncClockLink::monotonicNs() + m_shiftNs; })
{}

SyncGroup::~SyncGroup()
{
    stop();
}

void SyncGroup::setUp(mosquitto* client)
{
    auto& self = *static_cast<SyncGroup*>(mosquitto_userdata(client));
    // Gone without a word: the member's line is emptied, and the others elect again.
    const QByteArray topic = self.m_prefix + "member/" + self.m_name;
    mosquitto_will_set(client, topic.constData(), 0, nullptr, 1, true);
    mosquitto_connect_callback_set(client, &SyncGroup::onConnect);
    mosquitto_disconnect_callback_set(client, &SyncGroup::onDisconnect);
    mosquitto_message_callback_set(client, &SyncGroup::onMessage);
}

bool SyncGroup::start(const FleetSettings& fleet, QString* error, qint64 clockShiftNs)
{
    stop();
    m_shiftNs = clockShiftNs;
    if (!FleetSettings::isTopicWord(m_settings.group)) {
        *error = QStringLiteral("sync: the group needs a name without / + #");
        return false;
    }
    m_name = fleet.playerName().toUtf8();
    m_prefix = (fleet.topicPrefix + QStringLiteral("/sync/") + m_settings.group + u'/').toUtf8();
    {
        std::lock_guard lock(m_mutex);
        m_members.clear();
        m_members[m_name] = Member{m_settings.role, m_project};
        electLocked();
    }
    if (!m_link.start(fleet, error))
        return false;
    m_connection = fleet.openClient("tessarin-group-" + m_name, this, &SyncGroup::setUp, error);
    if (!m_connection) {
        *error = QStringLiteral("sync: ") + *error;
        m_link.stop();
        return false;
    }
    m_client.store(m_connection->client());
    return true;
}

void SyncGroup::stop()
{
    mosquitto* client = m_client.exchange(nullptr);
    if (client && m_connected.load()) {
        // Gone with a word: the others need not wait for the broker to notice.
        const QByteArray topic = m_prefix + "member/" + m_name;
        mosquitto_publish(client, nullptr, topic.constData(), 0, nullptr, 1, true);
    }
    m_connection.reset();
    m_link.stop();
    m_connected.store(false);
}

void SyncGroup::onConnect(mosquitto* client, void* data, int rc)
{
    auto& self = *static_cast<SyncGroup*>(data);
    if (rc != 0)
        return;
    for (const char* topic : {"member/+", "step", "state", "command"}) {
        const QByteArray full = self.m_prefix + topic;
        mosquitto_subscribe(client, nullptr, full.constData(), 1);
    }
    self.m_connected.store(true);
    // The client given here: the one this was made for may not be stored yet.
    self.publishMember(client);
    self.publishState(client);
}

void SyncGroup::onDisconnect(mosquitto*, void* data, int)
{
    auto& self = *static_cast<SyncGroup*>(data);
    self.m_connected.store(false);
}

void SyncGroup::onMessage(mosquitto*, void* data, const mosquitto_message* message)
{
    auto& self = *static_cast<SyncGroup*>(data);
    if (message->payloadlen < 0 || message->payloadlen > 1024)
        return;
    self.handle(QByteArray(message->topic),
                QByteArray(static_cast<const char*>(message->payload), message->payloadlen));
}

void SyncGroup::publish(const QByteArray& topic, const QByteArray& payload, bool retain)
{
    publishOn(m_client.load(), topic, payload, retain);
}

void SyncGroup::publishOn(mosquitto* client, const QByteArray& topic, const QByteArray& payload,
                          bool retain)
{
    if (!client)
        return;
    const QByteArray full = m_prefix + topic;
    mosquitto_publish(client, nullptr, full.constData(), int(payload.size()), payload.constData(),
                      1, retain);
}

void SyncGroup::publishMember(mosquitto* client)
{
    QByteArray project;
    {
        std::lock_guard lock(m_mutex);
        project = m_project.isEmpty() ? QByteArray("-") : m_project;
    }
    publishOn(client ? client : m_client.load(), "member/" + m_name,
              roleWord(m_settings.role) + ' ' + project, true);
}

void SyncGroup::publishState(mosquitto* client)
{
    QByteArray state;
    {
        std::lock_guard lock(m_mutex);
        if (m_leader != m_name)
            return;
        state = m_playState.toLatin1();
    }
    publishOn(client ? client : m_client.load(), "state", m_name + ' ' + state, true);
}

void SyncGroup::setProject(const QByteArray& key)
{
    {
        std::lock_guard lock(m_mutex);
        m_project = key;
        m_members[m_name].project = key;
    }
    if (m_connected.load())
        publishMember();
}

void SyncGroup::setPlayState(const QString& state)
{
    {
        std::lock_guard lock(m_mutex);
        if (m_playState == state)
            return;
        m_playState = state;
    }
    publishState();
}

void SyncGroup::electLocked()
{
    QByteArray leader;
    for (SyncSettings::Role wanted : {SyncSettings::Role::Leader, SyncSettings::Role::Auto}) {
        for (const auto& [name, member] : m_members) { // in order of their names
            if (member.role == wanted) {
                leader = name;
                break;
            }
        }
        if (!leader.isEmpty())
            break;
    }
    if (leader == m_leader)
        return;
    qCInfo(lcRemote).noquote() << "sync: group" << m_settings.group << "is led by"
                               << (leader.isEmpty() ? QByteArray("nobody") : leader);
    m_leader = leader;
    m_skewKnown = false;
    Event event;
    event.kind = Event::Kind::LeaderChanged;
    event.text = QString::fromUtf8(leader);
    event.flag = leader == m_name;
    postLocked(std::move(event));
}

void SyncGroup::postLocked(Event event)
{
    m_inbox.push_back(std::move(event));
    if (std::exchange(m_wakePending, true))
        return;
    // Qt drops the wake-up if this is gone before it arrives.
    QMetaObject::invokeMethod(this, "takeInbox", Qt::QueuedConnection);
}

void SyncGroup::takeInbox()
{
    std::vector<Event> events;
    {
        std::lock_guard lock(m_mutex);
        m_wakePending = false;
        events.swap(m_inbox);
    }
    for (const Event& event : events) {
        switch (event.kind) {
        case Event::Kind::LeaderChanged:
            emit leaderChanged(event.text);
            if (event.flag)
                publishState(); // the new leader's state stands from now
            break;
        case Event::Kind::LeaderState:
            emit leaderStateChanged(event.text);
            break;
        case Event::Kind::Command:
            emit commandArrived(event.text);
            break;
        case Event::Kind::ItemStarted: {
            const int z = event.zone;
            const qint64 seq = event.seq;
            const int itemIndex = event.item;
            QTimer::singleShot(event.waitMs, this, [this, z, seq, itemIndex] {
                {
                    std::lock_guard lock(m_mutex);
                    if (m_consumed[size_t(z)] >= seq || m_last[size_t(z)].seq != seq ||
                        m_leader == m_name)
                        return;
                }
                emit itemAsked(z, itemIndex);
            });
            break;
        }
        }
    }
}

void SyncGroup::handle(const QByteArray& topic, const QByteArray& payload)
{
    if (!topic.startsWith(m_prefix))
        return;
    const QByteArray what = topic.mid(m_prefix.size());
    const QList<QByteArray> parts = payload.split(' ');
    if (what.startsWith("member/")) {
        const QByteArray name = what.mid(7);
        std::lock_guard lock(m_mutex);
        SyncSettings::Role role = SyncSettings::Role::Auto;
        if (name == m_name)
            return; // we know ourselves
        if (payload.isEmpty() || parts.size() != 2 ||
            !SyncSettings::parseRole(QString::fromLatin1(parts[0]), &role))
            m_members.erase(name);
        else
            m_members[name] = Member{role, parts[1] == "-" ? QByteArray() : parts[1]};
        electLocked();
        return;
    }
    if (what == "state") {
        if (parts.size() != 2)
            return;
        std::lock_guard lock(m_mutex);
        if (parts[0] != m_leader || m_leader == m_name)
            return;
        Event event;
        event.kind = Event::Kind::LeaderState;
        event.text = QString::fromLatin1(parts[1]);
        postLocked(std::move(event));
        return;
    }
    if (what == "command") {
        const int space = payload.indexOf(' ');
        if (space <= 0 || !leads())
            return;
        Event event;
        event.kind = Event::Kind::Command;
        event.text = QString::fromUtf8(payload.mid(space + 1));
        std::lock_guard lock(m_mutex);
        postLocked(std::move(event));
        return;
    }
    if (what != "step" || parts.size() != 9)
        return;
    Announcement a;
    a.leader = parts[0];
    qint64 zone = 0, item = 0, step = 0, effect = 0, late = 0;
    if (!parseNumber(parts[1], &a.seq) || !parseNumber(parts[2], &zone) ||
        !parseNumber(parts[3], &item) || !parseNumber(parts[4], &step) ||
        !parseNumber(parts[5], &effect) || !parseNumber(parts[6], &a.atNs) ||
        !parseNumber(parts[7], &late) || zone < 0 || zone >= kZones || item < 0 || item > 100000 ||
        step < 0 || effect < 0 || effect > 1000)
        return;
    a.item = int(item);
    a.step = int(step);
    a.effect = int(effect);
    std::lock_guard lock(m_mutex);
    if (a.leader != m_leader || m_leader == m_name)
        return;
    // The leader's lateness at its entry before: against ours there, the skew between us.
    if (m_lastFollowedSeq == a.seq - 1 && m_lastFollowedSeq > 0) {
        m_leaderLateUs = late;
        m_lastSkewUs = m_lastLateUs - late;
        m_skewKnown = true;
    }
    // Another leader, or one that started again (its count starts afresh): nothing of it is
    // taken yet. (One leader's messages come in order.)
    if (a.leader != m_last[size_t(zone)].leader || a.seq <= m_last[size_t(zone)].seq)
        m_consumed[size_t(zone)] = 0;
    m_last[size_t(zone)] = a;
    if (a.step != 0)
        return;
    // An item starts: a wall that does not reach it by itself soon is told to go there.
    Event event;
    event.kind = Event::Kind::ItemStarted;
    event.zone = int(zone);
    event.seq = a.seq;
    event.item = a.item;
    event.waitMs = m_settings.leadMs / 2;
    postLocked(std::move(event));
}

bool SyncGroup::leads() const
{
    std::lock_guard lock(m_mutex);
    return !m_leader.isEmpty() && m_leader == m_name;
}

bool SyncGroup::follows() const
{
    if (!m_connected.load())
        return false;
    std::lock_guard lock(m_mutex);
    return !m_leader.isEmpty() && m_leader != m_name;
}

QByteArray SyncGroup::leaderName() const
{
    std::lock_guard lock(m_mutex);
    return m_leader;
}

void SyncGroup::sendCommand(const QString& command)
{
    publish("command", m_name + ' ' + command.toUtf8(), false);
}

QJsonObject SyncGroup::status() const
{
    std::lock_guard lock(m_mutex);
    QJsonObject s{{QStringLiteral("group"), m_settings.group},
                  {QStringLiteral("setting"), SyncSettings::roleName(m_settings.role)},
                  {QStringLiteral("connected"), m_connected.load()},
                  {QStringLiteral("leader"), QString::fromUtf8(m_leader)},
                  {QStringLiteral("members"), int(m_members.size())}};
    const bool us = m_leader == m_name;
    QString role = us ? QStringLiteral("leader") : QStringLiteral("follower");
    if (m_leader.isEmpty() || !m_connected.load())
        role = QStringLiteral("alone");
    if (!us && !m_leader.isEmpty()) {
        const auto leader = m_members.find(m_leader);
        const bool differs = leader != m_members.end() && leader->second.project != m_project;
        s.insert(QStringLiteral("projectDiffers"), differs);
        if (differs)
            role = QStringLiteral("alone");
        const SyncClockLink::Reckoning r = m_link.reckoning(m_leader);
        s.insert(QStringLiteral("offsetMs"), r.ready ? QJsonValue(r.offsetNs / 1e6) : QJsonValue());
        s.insert(QStringLiteral("roundTripMs"),
                 r.ready ? QJsonValue(r.roundTripNs / 1e6) : QJsonValue());
        s.insert(QStringLiteral("driftPpm"), r.ready ? QJsonValue(r.driftPpm) : QJsonValue());
        s.insert(QStringLiteral("skewMs"),
                 m_skewKnown ? QJsonValue(m_lastSkewUs / 1e3) : QJsonValue());
    }
    s.insert(QStringLiteral("role"), role);
    return s;
}

SyncGate::Entry SyncGroup::waitFor(CAct& area, WaitClock::TimePoint& at, qint64* lateUs)
{
    if (area.WaitStopUntil(at))
        return Entry::Stop;
    *lateUs =
        std::chrono::duration_cast<std::chrono::microseconds>(area.clock().now() - at).count();
    return Entry::Go;
}

SyncGate::Entry SyncGroup::enter(CAct& area, SyncStep& step, WaitClock::TimePoint& at)
{
    if (step.zone < 0 || step.zone >= kZones || !m_connected.load())
        return Entry::Go; // alone
    if (leads())
        return lead(area, step, at);
    return follow(area, step, at);
}

SyncGate::Entry SyncGroup::lead(CAct& area, SyncStep& step, WaitClock::TimePoint& at)
{
    at += std::chrono::milliseconds(m_settings.leadMs);
    QByteArray message;
    {
        std::lock_guard lock(m_mutex);
        const qint64 seq = ++m_seq;
        message = m_name + ' ' + QByteArray::number(seq) + ' ' + QByteArray::number(step.zone) +
                  ' ' + QByteArray::number(step.item) + ' ' + QByteArray::number(step.step) + ' ' +
                  QByteArray::number(step.effect) + ' ' + QByteArray::number(toNs(at) + m_shiftNs) +
                  ' ' + QByteArray::number(m_lastLateUs) + ' ' +
                  (m_project.isEmpty() ? QByteArray("-") : m_project);
    }
    publish("step", message, false);
    qint64 late = 0;
    const Entry entry = waitFor(area, at, &late);
    std::lock_guard lock(m_mutex);
    m_lastLateUs = late;
    return entry;
}

SyncGate::Entry SyncGroup::follow(CAct& area, SyncStep& step, WaitClock::TimePoint& at)
{
    const WaitClock::TimePoint giveUp = at + std::chrono::milliseconds(kReckonWaitMs);
    const size_t zone = size_t(step.zone);
    for (;;) {
        {
            std::unique_lock lock(m_mutex);
            if (m_leader.isEmpty() || m_leader == m_name || !m_connected.load())
                return Entry::Go; // alone (or leading from now on: the next entry leads)
            const auto leader = m_members.find(m_leader);
            if (leader == m_members.end() || leader->second.project != m_project)
                return Entry::Go; // another project: this wall plays alone
            const SyncClockLink::Reckoning r = m_link.reckoning(m_leader);
            if (r.ready) {
                const Announcement& a = m_last[zone];
                if (a.leader == m_leader && a.seq > m_consumed[zone]) {
                    if (a.item == step.item && a.step == step.step) {
                        m_consumed[zone] = a.seq;
                        m_lastFollowedSeq = a.seq;
                        step.effect = a.effect;
                        at = fromNs(m_link.localTime(m_leader, a.atNs) - m_shiftNs);
                        lock.unlock();
                        qint64 late = 0;
                        const Entry entry = waitFor(area, at, &late);
                        std::lock_guard relock(m_mutex);
                        m_lastLateUs = late;
                        return entry;
                    }
                    if (a.step == 0) {
                        // The leader began an item (another, or this one again): over there.
                        step.item = a.item;
                        return Entry::Switch;
                    }
                    m_consumed[zone] = a.seq; // the middle of another item: wait for the next
                }
            } else if (area.clock().now() >= giveUp) {
                return Entry::Go; // a leader that does not answer: alone
            }
        }
        WaitClock::TimePoint poll = area.clock().now() + kPoll;
        if (area.WaitStopUntil(poll))
            return Entry::Stop;
    }
}
