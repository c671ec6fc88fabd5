#pragma once

#include "ClockOffset.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

struct FleetSettings;
struct mosquitto;

class MqttConnection;

// A sync group's clocks over the fleet's broker. Every member answers every time request at
// once, stamping its arrival and its answer, and asks the others every `askEveryMs` (faster
// until it knows them), reckoning each member's clock from the four stamps of each exchange
// (ClockOffset). So when a leader goes, whoever takes over is already reckoned. Topics, under
// the fleet's prefix: PREFIX/sync/GROUP/time/ask ("T1 NAME", the asker's send time and name) and
// PREFIX/sync/GROUP/time/NAME ("T1 T2 T3 ANSWERER"). The stamps are taken on the network thread
// as the messages come and go. The clocks are each PC's monotonic clock: never set back or forth
// (an NTP step moves the wall clock, not this one), so the reckoning sees steps only when a
// member starts afresh.
class SyncClockLink
{
public:
    // Nanoseconds of this PC's clock.
    using Clock = std::function<qint64()>;
    static qint64 monotonicNs();

    explicit SyncClockLink(QString group, Clock clock = &SyncClockLink::monotonicNs);
    ~SyncClockLink();
    SyncClockLink(const SyncClockLink&) = delete;
    SyncClockLink& operator=(const SyncClockLink&) = delete;

    // Connects with the fleet's settings (its broker, name and TLS); false with the reason when
    // they cannot be used. The exchanges begin once connected.
    bool start(const FleetSettings& settings, QString* error, int askEveryMs = 2000);
    void stop();
    bool isConnected() const { return m_connected.load(); }
    qint64 now() const { return m_clock(); }

    // The reckoning of member `name`'s clock so far (any thread); kept when it goes.
    struct Reckoning
    {
        bool ready = false;
        qint64 offsetNs = 0; // its clock minus ours, now
        qint64 roundTripNs = 0;
        double driftPpm = 0;
        int samples = 0;
        int steps = 0;
    };
    Reckoning reckoning(const QByteArray& name) const;
    // Our time at which member `name`'s clock shows `theirNs` (only when ready).
    qint64 localTime(const QByteArray& name, qint64 theirNs) const;
    // Requests this member answered.
    int answered() const { return m_answered.load(); }

    // Exchanges before a member counts as known; until then the asking is fast.
    static constexpr int kKnownSamples = 8;
    static constexpr int kFastAskMs = 100;

private:
    static void setUp(mosquitto* client);
    static void onConnect(mosquitto*, void* self, int rc);
    static void onDisconnect(mosquitto*, void* self, int rc);
    static void onMessage(mosquitto*, void* self, const struct mosquitto_message* message);
    void asking();
    bool knowsEveryone() const;

    const QString m_group;
    const Clock m_clock;
    QByteArray m_name;
    QByteArray m_askTopic;
    QByteArray m_answerTopic; // ours
    QByteArray m_topicPrefix; // PREFIX/sync/GROUP/time/
    // Made before the asking thread starts and freed after it ends.
    std::unique_ptr<MqttConnection> m_connection;
    std::atomic<bool> m_connected{false};
    std::atomic<int> m_answered{0};

    mutable std::mutex m_mutex; // the reckonings
    std::map<QByteArray, ClockOffset> m_offsets;

    std::mutex m_askMutex;
    std::condition_variable m_askWake;
    bool m_stopping = false;
    int m_askEveryMs = 2000;
    std::thread m_asker;
};
