#pragma once

#include "SyncClockLink.h"
#include "model/SyncGate.h"

#include <QByteArray>
#include <QJsonObject>
#include <QObject>
#include <QString>

#include <array>
#include <map>
#include <mutex>
#include <vector>

struct FleetSettings;
struct mosquitto;

// Which group this player is in and what it may be there: the settings store's group "Sync".
struct SyncSettings
{
    enum class Role
    {
        Auto,     // leads when no leader is there and its name is the lowest of the auto ones
        Leader,   // leads (the lowest name of those that say so)
        Follower, // never leads
    };
    QString group; // empty: no group
    Role role = Role::Auto;
    int leadMs = 200; // how far ahead the leader tells what starts

    static SyncSettings load();
    // The group and the role, as the settings dialog sets them (the lead is set by hand).
    void storeGroupAndRole() const;
    static QString roleName(Role role);
    // "leader", "follower", "auto" (any case); false for another word.
    static bool parseRole(const QString& text, Role* role);
};

// One wall of a sync group (several PCs that play one project as one wall) on the fleet's broker.
// The leader tells every entry (a page, a picture, a marquee's start) a little ahead, in its own
// clock: PREFIX/sync/GROUP/step "LEADER SEQ ZONE ITEM STEP EFFECT AT LATE PROJECT". Followers
// map AT onto their clocks (SyncClockLink) and start the same entry at that moment, so
// everything paced from it (transition steps, marquee steps, video frames) keeps in step. A
// follower that is elsewhere in the playlist switches to the leader's item at its next entry, or
// is told to (`itemAsked`) when that does not come soon. Members say who they are in
// PREFIX/sync/GROUP/member/NAME (retained "ROLE PROJECT", emptied by their last will); the
// leader's play state is PREFIX/sync/GROUP/state (retained "LEADER STATE"); commands given to
// a follower go to PREFIX/sync/GROUP/command ("FROM COMMAND") for the leader to carry out.
class SyncGroup final : public QObject, public SyncGate
{
    Q_OBJECT

public:
    explicit SyncGroup(SyncSettings settings, QObject* parent = nullptr);
    ~SyncGroup() override;

    // Connects as the fleet's settings say; false with the reason when they cannot be used.
    // `clockShiftNs` moves this member's clock as another PC's would be (tests, benchmarks).
    bool start(const FleetSettings& fleet, QString* error, qint64 clockShiftNs = 0);
    void stop();

    // GUI thread: a key of the project this member plays (the same items give the same key).
    void setProject(const QByteArray& key);
    // GUI thread: this member's play state ("playing", "paused", "stopped"), told while it leads.
    void setPlayState(const QString& state);
    // Any thread: whether this member leads now, and whether it follows a leader (which then
    // carries out its commands).
    bool leads() const;
    bool follows() const;
    QByteArray leaderName() const;
    // GUI thread: a command for the leader ("next 0", "item 3", "pause", ...).
    void sendCommand(const QString& command);
    // The status the remote and the fleet tell: role, leader, offset, round trip, drift, skew.
    QJsonObject status() const;

    Entry enter(CAct& area, SyncStep& step, WaitClock::TimePoint& at) override;

    static constexpr int kZones = 8;
    // How long a follower waits for a leader it cannot reckon yet before it plays alone.
    static constexpr int kReckonWaitMs = 5000;

signals:
    // GUI thread, while following: the leader's play state changed ("playing", ...).
    void leaderStateChanged(const QString& state);
    // GUI thread, while leading: a member's command.
    void commandArrived(const QString& command);
    // GUI thread, while following: the leader started item `item` in zone `zone` and this wall
    // did not follow within half the lead: it is to start that item now.
    void itemAsked(int zone, int item);
    // GUI thread: who leads changed (empty: nobody).
    void leaderChanged(const QString& leader);

private slots:
    // GUI thread: what the network thread left in the inbox.
    void takeInbox();

private:
    // What the network thread tells the GUI thread. Only a wake-up crosses Qt's queue; this
    // waits in `m_inbox`, under the mutex.
    struct Event
    {
        enum class Kind
        {
            LeaderChanged, // text: the leader; flag: it is us
            LeaderState,   // text: the state
            Command,       // text: the command
            ItemStarted,   // zone, seq, item, waitMs
        };
        Kind kind = Kind::LeaderChanged;
        QString text;
        bool flag = false;
        int zone = 0;
        qint64 seq = 0;
        int item = 0;
        int waitMs = 0;
    };
    // Under the mutex.
    void postLocked(Event event);
    struct Member
    {
        SyncSettings::Role role = SyncSettings::Role::Auto;
        QByteArray project;
    };
    struct Announcement
    {
        QByteArray leader;
        qint64 seq = 0;
        int item = 0;
        int step = 0;
        int effect = 0;
        qint64 atNs = 0; // the leader's clock
    };
    static void setUp(mosquitto* client);
    static void onConnect(mosquitto*, void* self, int rc);
    static void onDisconnect(mosquitto*, void* self, int rc);
    static void onMessage(mosquitto*, void* self, const struct mosquitto_message* message);
    void handle(const QByteArray& topic, const QByteArray& payload);
    void publish(const QByteArray& topic, const QByteArray& payload, bool retain);
    void publishOn(mosquitto* client, const QByteArray& topic, const QByteArray& payload,
                   bool retain);
    // On `client`, or the stored one when null.
    void publishMember(mosquitto* client = nullptr);
    void publishState(mosquitto* client = nullptr);
    // Under the mutex: the leader by the members' roles and names.
    void electLocked();
    Entry lead(CAct& area, SyncStep& step, WaitClock::TimePoint& at);
    Entry follow(CAct& area, SyncStep& step, WaitClock::TimePoint& at);
    // Until `at`, on the area's stop event; the lateness of the wake-up noted.
    Entry waitFor(CAct& area, WaitClock::TimePoint& at, qint64* lateUs);

    const SyncSettings m_settings;
    SyncClockLink m_link;
    qint64 m_shiftNs = 0;
    QByteArray m_name;
    QByteArray m_prefix; // PREFIX/sync/GROUP/
    std::unique_ptr<MqttConnection> m_connection;
    // The connection's client, for the play threads' publishing without a lock.
    std::atomic<mosquitto*> m_client{nullptr};
    std::atomic<bool> m_connected{false};

    mutable std::mutex m_mutex;
    std::map<QByteArray, Member> m_members;
    QByteArray m_project;
    QByteArray m_leader;
    QString m_playState = QStringLiteral("stopped");
    std::array<Announcement, kZones> m_last{};
    std::array<qint64, kZones> m_consumed{};
    qint64 m_seq = 0;
    qint64 m_lastLateUs = 0;   // ours, at the last entry
    qint64 m_leaderLateUs = 0; // the leader's, at its entry before the last
    qint64 m_lastSkewUs = 0;
    bool m_skewKnown = false;
    qint64 m_lastFollowedSeq = 0;
    std::vector<Event> m_inbox;
    bool m_wakePending = false;
};
