#pragma once

#include "ClockOffset.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

struct FleetSettings;
struct mosquitto;

// A sync group's clock over the fleet's broker. The leader answers every time request at once,
// stamping its arrival and its answer; a follower asks every `askEveryMs` and reckons the
// leader's clock from the four stamps of each exchange (ClockOffset). Topics, under the fleet's
// prefix: PREFIX/sync/GROUP/time/ask ("T1 NAME", the follower's send time and name) and
// PREFIX/sync/GROUP/time/NAME ("T1 T2 T3"). The stamps are taken on the network thread as the
// messages come and go. The clocks are each PC's monotonic clock: never set back or forth, so the
// reckoning sees steps only when a leader starts afresh (or another takes over).
class SyncClockLink
{
public:
    enum class Role
    {
        Leader,
        Follower,
    };
    // Nanoseconds of this PC's clock.
    using Clock = std::function<qint64()>;
    static qint64 monotonicNs();

    SyncClockLink(Role role, QString group, Clock clock = &SyncClockLink::monotonicNs);
    ~SyncClockLink();
    SyncClockLink(const SyncClockLink&) = delete;
    SyncClockLink& operator=(const SyncClockLink&) = delete;

    // Connects with the fleet's settings (its broker, name and TLS); false with the reason when
    // they cannot be used. The exchanges begin once connected.
    bool start(const FleetSettings& settings, QString* error, int askEveryMs = 2000);
    void stop();
    bool isConnected() const { return m_connected.load(); }

    // The reckoning so far (any thread). A follower that lost its leader keeps the last one.
    struct Reckoning
    {
        bool ready = false;
        qint64 offsetNs = 0; // the leader's clock minus ours, now
        qint64 roundTripNs = 0;
        double driftPpm = 0;
        int samples = 0;
        int steps = 0;
        int answered = 0; // requests a leader answered
    };
    Reckoning reckoning() const;
    // Our time at which the leader's clock shows `leaderNs` (only when ready).
    qint64 localTime(qint64 leaderNs) const;

private:
    static void onConnect(mosquitto*, void* self, int rc);
    static void onDisconnect(mosquitto*, void* self, int rc);
    static void onMessage(mosquitto*, void* self, const struct mosquitto_message* message);
    void asking();

    const Role m_role;
    const QString m_group;
    const Clock m_clock;
    QByteArray m_name;
    QByteArray m_askTopic;
    QByteArray m_answerTopic; // ours, as a follower
    QByteArray m_topicPrefix; // PREFIX/sync/GROUP/time/
    mosquitto* m_client = nullptr;
    std::atomic<bool> m_connected{false};
    std::atomic<int> m_answered{0};

    mutable std::mutex m_mutex; // the reckoning
    ClockOffset m_offset;

    std::mutex m_askMutex;
    std::condition_variable m_askWake;
    bool m_stopping = false;
    int m_askEveryMs = 2000;
    std::thread m_asker;
};
