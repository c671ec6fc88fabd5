#include "SyncClockLink.h"

#include "FleetClient.h"
#include "FleetText.h"
#include "MqttConnection.h"
#include "RemoteLog.h"

#include <mosquitto.h>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <chrono>
#include <ctime>

namespace {

// A broker that holds back small packets while one is unacknowledged (Mosquitto does unless
// set_tcp_nodelay is on) waits for our delayed acknowledgement, 40 ms, before the second of
// two answers that come close together: the way back grows and the offset with it. Acknowledging
// at once keeps that wait to a round trip. Linux drops the mode by itself now and then, so it is
// asked for again after every message.
void acknowledgeAtOnce(mosquitto* client)
{
    const int socket = mosquitto_socket(client);
    const int on = 1;
    if (socket >= 0)
        setsockopt(socket, IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
}

} // namespace

qint64 SyncClockLink::monotonicNs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return qint64(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

SyncClockLink::SyncClockLink(QString group, Clock clock)
    : m_group(std::move(group)), m_clock(std::move(clock))
{}

SyncClockLink::~SyncClockLink()
{
    stop();
}

void SyncClockLink::setUp(mosquitto* client)
{
    mosquitto_connect_callback_set(client, &SyncClockLink::onConnect);
    mosquitto_disconnect_callback_set(client, &SyncClockLink::onDisconnect);
    mosquitto_message_callback_set(client, &SyncClockLink::onMessage);
}

bool SyncClockLink::start(const FleetSettings& settings, QString* error, int askEveryMs)
{
    stop();
    if (!FleetSettings::isTopicWord(m_group)) {
        *error = QStringLiteral("sync: the group needs a name without / + #");
        return false;
    }
    m_name = settings.playerName().toUtf8();
    m_topicPrefix =
        (settings.topicPrefix + QStringLiteral("/sync/") + m_group + QStringLiteral("/time/"))
            .toUtf8();
    m_askTopic = m_topicPrefix + "ask";
    m_answerTopic = m_topicPrefix + m_name;
    m_connection =
        settings.openClient("tessarin-sync-" + m_name, this, &SyncClockLink::setUp, error);
    if (!m_connection) {
        *error = QStringLiteral("sync: ") + *error;
        return false;
    }
    std::lock_guard lock(m_askMutex);
    m_stopping = false;
    m_askEveryMs = std::max(10, askEveryMs);
    m_asker = std::thread([this] { asking(); });
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
    m_connection.reset();
    m_connected.store(false);
}

void SyncClockLink::onConnect(mosquitto* client, void* data, int rc)
{
    auto& self = *static_cast<SyncClockLink*>(data);
    if (rc != 0)
        return;
    mosquitto_subscribe(client, nullptr, self.m_askTopic.constData(), 0);
    mosquitto_subscribe(client, nullptr, self.m_answerTopic.constData(), 0);
    acknowledgeAtOnce(client);
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
    acknowledgeAtOnce(client);
    if (message->retain || message->payloadlen <= 0 || message->payloadlen > 200)
        return;
    const QByteArray payload(static_cast<const char*>(message->payload), message->payloadlen);
    const QList<QByteArray> parts = payload.split(' ');
    if (self.m_askTopic == message->topic) {
        // "T1 NAME": answered on NAME's topic with our two stamps and our name.
        qint64 sent = 0;
        if (parts.size() != 2 || !parseNumber(parts[0], &sent) || parts[1] == self.m_name ||
            !FleetSettings::isTopicWord(QString::fromUtf8(parts[1])))
            return;
        const QByteArray topic = self.m_topicPrefix + parts[1];
        const QByteArray answer = parts[0] + ' ' + QByteArray::number(arrivedNs) + ' ' +
                                  QByteArray::number(self.m_clock()) + ' ' + self.m_name;
        mosquitto_publish(client, nullptr, topic.constData(), int(answer.size()),
                          answer.constData(), 0, false);
        self.m_answered.fetch_add(1);
        return;
    }
    ClockExchange exchange;
    exchange.receivedNs = arrivedNs;
    if (parts.size() != 4 || !parseNumber(parts[0], &exchange.sentNs) ||
        !parseNumber(parts[1], &exchange.leaderReceivedNs) ||
        !parseNumber(parts[2], &exchange.leaderSentNs) || parts[3].isEmpty())
        return;
    std::lock_guard lock(self.m_mutex);
    if (!self.m_offsets[parts[3]].add(exchange))
        qCDebug(lcRemote) << "sync: an exchange that cannot be, left out";
}

bool SyncClockLink::knowsEveryone() const
{
    std::lock_guard lock(m_mutex);
    if (m_offsets.empty())
        return false;
    for (const auto& [name, offset] : m_offsets)
        if (offset.samples() < kKnownSamples)
            return false;
    return true;
}

void SyncClockLink::asking()
{
    std::unique_lock lock(m_askMutex);
    auto next = std::chrono::steady_clock::now();
    while (!m_stopping) {
        if (m_connected.load()) {
            const QByteArray ask = QByteArray::number(m_clock()) + ' ' + m_name;
            mosquitto_publish(m_connection->client(), nullptr, m_askTopic.constData(),
                              int(ask.size()), ask.constData(), 0, false);
        }
        lock.unlock();
        const bool known = knowsEveryone();
        lock.lock();
        next +=
            std::chrono::milliseconds(known ? m_askEveryMs : std::min(m_askEveryMs, kFastAskMs));
        m_askWake.wait_until(lock, next, [this] { return m_stopping; });
    }
}

SyncClockLink::Reckoning SyncClockLink::reckoning(const QByteArray& name) const
{
    std::lock_guard lock(m_mutex);
    Reckoning r;
    const auto found = m_offsets.find(name);
    if (found == m_offsets.end())
        return r;
    const ClockOffset& offset = found->second;
    r.ready = offset.ready();
    r.offsetNs = r.ready ? offset.offsetAt(m_clock()) : 0;
    r.roundTripNs = offset.roundTripNs();
    r.driftPpm = offset.driftPpm();
    r.samples = offset.samples();
    r.steps = offset.steps();
    return r;
}

qint64 SyncClockLink::localTime(const QByteArray& name, qint64 theirNs) const
{
    std::lock_guard lock(m_mutex);
    const auto found = m_offsets.find(name);
    return found == m_offsets.end() ? theirNs : found->second.localTime(theirNs);
}
