#pragma once

#include <QJsonObject>
#include <QObject>
#include <QString>
#include <QTimer>

#include <atomic>
#include <deque>
#include <mutex>

struct mosquitto;
struct mosquitto_message;
class RemoteController;

// Where a fleet's broker is and who this player is in it: the settings store's group "Mqtt".
struct FleetSettings
{
    QString url;  // mqtt://host:1883 or mqtts://host:8883; empty: no fleet
    QString name; // the player's name in topics; the host name when empty
    QString user;
    QString password;
    QString topicPrefix = QStringLiteral("tessarin");

    static FleetSettings load();
    // host, port and TLS from the URL; false when it is not an mqtt:// or mqtts:// URL.
    static bool parseUrl(const QString& url, QString* host, int* port, bool* tls);
    QString playerName() const;
};

// The player's end of a fleet on an MQTT broker (libmosquitto, its network loop on a thread of
// its own). Publishes PREFIX/NAME/status (retained, the remote API's status) on every change and
// at least every 30 s, and PREFIX/NAME/online "true" (retained, with a last will of "false").
// Takes commands from PREFIX/NAME/cmd and PREFIX/all/cmd: {"cmd":
// "play"|"restart"|"pause"|"resume"|"stop"|"next"| "previous"|"first"|"last"}, {"cmd": "item",
// "item": N}, {"cmd": "open", "path": ...}; they are carried out on the GUI thread; malformed ones
// are logged and ignored. Reconnects with a growing delay after the broker goes. The broker's users
// and ACLs are the security boundary.
class FleetClient final : public QObject
{
    Q_OBJECT

public:
    explicit FleetClient(RemoteController& controller, QObject* parent = nullptr);
    ~FleetClient() override;

    // Connects as the settings say (in the background); false with the reason when they cannot
    // be used.
    bool start(const FleetSettings& settings, QString* error);
    // Says "offline" and disconnects.
    void stop();
    bool isConnected() const { return m_connected.load(); }
    // Tests: the connection drops as in a crash (the broker sends the last will).
    void dropWithoutGoodbye();

    static constexpr int kStatusEveryMs = 30000;

signals:
    // A command carried out, or one refused ("malformed: ...").
    void commandHandled(const QString& what);

private slots:
    // On the GUI thread: what the network thread left (commands, a new connection).
    void takeInbox();

private:
    // On the network thread.
    void wakeGuiThread();
    // Ends the network loop and frees the client; `orderly` when it is connected.
    void endLoop(bool orderly);
    static void onConnect(mosquitto*, void* self, int rc);
    static void onDisconnect(mosquitto*, void* self, int rc);
    static void onMessage(mosquitto*, void* self, const mosquitto_message* message);
    void handle(const QByteArray& payload);
    void publishStatus(bool always);
    QByteArray topic(const char* leaf) const;

    RemoteController& m_controller;
    FleetSettings m_settings;
    QString m_name;
    mosquitto* m_client = nullptr;
    std::atomic<bool> m_connected{false};
    QTimer m_statusTimer;
    QJsonObject m_lastStatus;
    qint64 m_lastPublishMs = 0;
    std::mutex m_inboxMutex;
    std::deque<QByteArray> m_inbox;
    std::atomic<bool> m_statusAfterConnect{false};
};
