#include "SyncClockLink.h"

#include "FleetClient.h"
#include "RemoteLog.h"

#include <mosquitto.h>

#include <chrono>
#include <ctime>

namespace {

bool parseNumber(const QByteArray& text, qint64* value)
{
    bool ok = false;
    *value = text.toLongLong(&ok);
    return ok;
}

} // namespace

qint64 SyncClockLink::monotonicNs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return qint64(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

SyncClockLink::SyncClockLink(Role role, QString group, Clock clock)
    : m_role(role), m_group(std::move(group)), m_clock(std::move(clock))
{}

SyncClockLink::~SyncClockLink()
{
    stop();
}

bool SyncClockLink::start(const FleetSettings& settings, QString* error, int askEveryMs)
{
    stop();
    QString host;
    int port = 0;
    bool tls = false;
    if (!settings.brokerAddress(&host, &port, &tls, error)) {
        *error = QStringLiteral("sync: ") + *error;
        return false;
    }
    if (!FleetSettings::isTopicWord(m_group)) {
        *error = QStringLiteral("sync: the group needs a name without / + #");
        return false;
    }
    FleetSettings::initialiseLibrary();
    m_name = settings.playerName().toUtf8();
    m_topicPrefix =
        (settings.topicPrefix + QStringLiteral("/sync/") + m_group + QStringLiteral("/time/"))
            .toUtf8();
    m_askTopic = m_topicPrefix + "ask";
    m_answerTopic = m_topicPrefix + m_name;
    const QByteArray id = "tessarin-sync-" + m_name;
    m_client = mosquitto_new(id.constData(), true, this);
    if (!m_client || !settings.configure(m_client, tls, error)) {
        if (error && error->isEmpty())
            *error = QStringLiteral("sync: no MQTT client");
        stop();
        return false;
    }
    mosquitto_connect_callback_set(m_client, &SyncClockLink::onConnect);
    mosquitto_disconnect_callback_set(m_client, &SyncClockLink::onDisconnect);
    mosquitto_message_callback_set(m_client, &SyncClockLink::onMessage);
    mosquitto_reconnect_delay_set(m_client, 1, 30, true);
    if (mosquitto_connect_async(m_client, host.toUtf8().constData(), port, 10) !=
            MOSQ_ERR_SUCCESS ||
        mosquitto_loop_start(m_client) != MOSQ_ERR_SUCCESS) {
        *error = QStringLiteral("sync: cannot reach the broker at %1").arg(settings.url);
        stop();
        return false;
    }
    if (m_role == Role::Follower) {
        std::lock_guard lock(m_askMutex);
        m_stopping = false;
        m_askEveryMs = std::max(10, askEveryMs);
        m_asker = std::thread([this] { asking(); });
    }
    return true;
}

void SyncClockLink::stop()
{
    {
        std::lock_guard lock(m_askMutex);
        m_stopping = true;
    }
    m_askWake.notify_all();
    if (m_asker.joinable())
        m_asker.join();
    if (m_client) {
        mosquitto_disconnect(m_client);
        mosquitto_loop_stop(m_client, true);
        mosquitto_destroy(m_client);
        m_client = nullptr;
    }
    m_connected.store(false);
}

void SyncClockLink::onConnect(mosquitto* client, void* data, int rc)
{
    auto& self = *static_cast<SyncClockLink*>(data);
    if (rc != 0)
        return;
    const QByteArray& topic = self.m_role == Role::Leader ? self.m_askTopic : self.m_answerTopic;
    mosquitto_subscribe(client, nullptr, topic.constData(), 0);
    self.m_connected.store(true);
}

void SyncClockLink::onDisconnect(mosquitto*, void* data, int)
{
    static_cast<SyncClockLink*>(data)->m_connected.store(false);
}

void SyncClockLink::onMessage(mosquitto* client, void* data, const mosquitto_message* message)
{
    auto& self = *static_cast<SyncClockLink*>(data);
    const qint64 arrivedNs = self.m_clock(); // first: the stamp is the message's arrival
    if (message->retain || message->payloadlen <= 0 || message->payloadlen > 200)
        return;
    const QByteArray payload(static_cast<const char*>(message->payload), message->payloadlen);
    const QList<QByteArray> parts = payload.split(' ');
    if (self.m_role == Role::Leader) {
        // "T1 NAME": answered on NAME's topic with our two stamps.
        qint64 sent = 0;
        if (parts.size() != 2 || !parseNumber(parts[0], &sent) ||
            !FleetSettings::isTopicWord(QString::fromUtf8(parts[1])))
            return;
        const QByteArray topic = self.m_topicPrefix + parts[1];
        const QByteArray answer = parts[0] + ' ' + QByteArray::number(arrivedNs) + ' ' +
                                  QByteArray::number(self.m_clock());
        mosquitto_publish(client, nullptr, topic.constData(), int(answer.size()),
                          answer.constData(), 0, false);
        self.m_answered.fetch_add(1);
        return;
    }
    ClockExchange exchange;
    exchange.receivedNs = arrivedNs;
    if (parts.size() != 3 || !parseNumber(parts[0], &exchange.sentNs) ||
        !parseNumber(parts[1], &exchange.leaderReceivedNs) ||
        !parseNumber(parts[2], &exchange.leaderSentNs))
        return;
    std::lock_guard lock(self.m_mutex);
    if (!self.m_offset.add(exchange))
        qCDebug(lcRemote) << "sync: an exchange that cannot be, left out";
}

void SyncClockLink::asking()
{
    std::unique_lock lock(m_askMutex);
    auto next = std::chrono::steady_clock::now();
    while (!m_stopping) {
        if (m_connected.load()) {
            const QByteArray ask = QByteArray::number(m_clock()) + ' ' + m_name;
            mosquitto_publish(m_client, nullptr, m_askTopic.constData(), int(ask.size()),
                              ask.constData(), 0, false);
        }
        next += std::chrono::milliseconds(m_askEveryMs);
        m_askWake.wait_until(lock, next, [this] { return m_stopping; });
    }
}

SyncClockLink::Reckoning SyncClockLink::reckoning() const
{
    std::lock_guard lock(m_mutex);
    Reckoning r;
    r.ready = m_offset.ready();
    const qint64 now = m_clock();
    r.offsetNs = r.ready ? m_offset.offsetAt(now) : 0;
    r.roundTripNs = m_offset.roundTripNs();
    r.driftPpm = m_offset.driftPpm();
    r.samples = m_offset.samples();
    r.steps = m_offset.steps();
    r.answered = m_answered.load();
    return r;
}

qint64 SyncClockLink::localTime(qint64 leaderNs) const
{
    std::lock_guard lock(m_mutex);
    return m_offset.localTime(leaderNs);
}
