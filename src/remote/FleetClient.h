#pragma once

#include "FleetText.h"

#include <QElapsedTimer>
#include <QJsonObject>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>

#include <memory>
#include <thread>

struct mosquitto;

class MqttConnection;

class RemoteController;

// Where a fleet's broker is and who this player is in it: the settings store's group "Mqtt".
struct FleetSettings
{
    QString url;  // mqtt://host:1883 or mqtts://host:8883; empty: no fleet
    QString name; // the player's name in topics; defaultName() when empty
    QString user;
    QString password;
    QString topicPrefix = QStringLiteral("tessarin");
    // mqtts only: the CA certificates the broker's certificate must be signed by, and a client
    // certificate and its key (both or neither).
    QString caFile = QString::fromLatin1(kSystemCaFile);
    QString certFile;
    QString keyFile;

    static constexpr const char* kSystemCaFile = "/etc/ssl/certs/ca-certificates.crt";

    static FleetSettings load();
    // host, port and TLS from the URL; false when it is not an mqtt:// or mqtts:// URL.
    static bool parseUrl(const QString& url, QString* host, int* port, bool* tls);
    // The same of this one's URL, with the reason in `error` when it is none.
    bool brokerAddress(QString* host, int* port, bool* tls, QString* error) const;
    // libmosquitto's set-up, once a process, before the first client.
    static void initialiseLibrary();
    QString playerName() const;
    // Whether `word` can stand as one level of a topic (a name, a group): not empty, no '/', and
    // none of the wildcards '+' and '#'.
    static bool isTopicWord(QStringView word);
    // The host name and the first 8 hex digits of the machine id (cloned PCs share a host name
    // but, once set up, not the id), or the host name alone without an id.
    static QString defaultName();
    // `host`-`id` (or `host` without an id) with only letters, digits, '-', '_' and '.' left.
    static QString cleanName(const QString& host, const QByteArray& machineId);
    // Sets up TLS on `client` as the settings say; false with the reason when a file is missing,
    // unreadable or refused, or when only one of the certificate and its key is given.
    bool applyTls(mosquitto* client, QString* error) const;
    // Everything a new client takes from the settings, for the player and the tool alike: MQTT 5
    // (the broker says why it drops us), no waiting to fill packets, the user, and TLS when
    // `tls`; false, the client unusable, when TLS cannot be set up.
    bool configure(mosquitto* client, bool tls, QString* error) const;
    // A client of these settings named `id`, its callbacks' data `self`, set up further by
    // `setUp` (callbacks, a last will) before it connects in the background on a network thread
    // of its own; null with the reason when the settings cannot be used. Reconnects by itself.
    std::unique_ptr<MqttConnection> openClient(const QByteArray& id, void* self,
                                               void (*setUp)(mosquitto*), QString* error) const;
};

// The player's end of a fleet on an MQTT broker (MQTT 5, libmosquitto, its network loop on a
// thread of its own). Publishes PREFIX/NAME/status (retained, the remote API's status) on every
// change and at least every 30 s, and PREFIX/NAME/online "true" (retained, with a last will of
// "false"). Takes commands from PREFIX/NAME/cmd and PREFIX/all/cmd: {"cmd":
// "play"|"restart"|"pause"|"resume"|"stop"|"next"| "previous"|"first"|"last"}, {"cmd": "item",
// "item": N}, {"cmd": "open", "path": ...}; they are carried out on the GUI thread; malformed ones
// are logged (a few lines at most) and ignored, and so are retained ones (commands are events,
// not state). Tells each change of the connection once: connected, refused and why, lost and
// why. Reconnects with a growing delay after the broker goes, except when another client of the
// same name took the connection over. The broker's users and ACLs are the security boundary.
class FleetClient final : public QObject
{
    Q_OBJECT

public:
    explicit FleetClient(RemoteController& controller, QObject* parent = nullptr);
    ~FleetClient() override;

    // Connects as the settings say (in the background); false with the reason when they cannot
    // be used (a bad address or name, a TLS file missing or refused).
    bool start(const FleetSettings& settings, QString* error);
    // Says "offline" and disconnects.
    void stop();
    bool isConnected() const;
    // GUI thread: why the client is not connected (empty while connected or stopped).
    QString connectionError() const { return m_connectionError; }
    // Tests: the connection drops as in a crash (the broker sends the last will).
    void dropWithoutGoodbye();
    // Tests: the window of the malformed messages' log budget.
    void setLogWindow(int ms) { m_malformedLog.setWindow(ms); }

    static constexpr int kStatusEveryMs = 30000;
    static constexpr int kMalformedLines = 5;
    static constexpr int kMalformedWindowMs = 10000;

    struct Link; // what the network thread shares with the client

signals:
    // A command carried out, one refused ("malformed: ..."), or one left alone because it was
    // retained ("ignored: retained").
    void commandHandled(const QString& what);
    // On the GUI thread, once for each change: connected, or not and why.
    void connectionChanged(bool connected, const QString& message);

private slots:
    // On the GUI thread: what the network thread left (commands, changes of the connection).
    void takeInbox();

private:
    bool startLink(const FleetSettings& settings, QString* error);
    void handle(const QByteArray& topic, const QByteArray& payload, bool retained);
    void refuse(const QString& why, const QByteArray& payload);
    void tellLeftOut();
    void publishStatus(bool always);
    // Ends the network thread; `goodbye`: says "offline" and disconnects first.
    void endLink(bool goodbye);

    RemoteController& m_controller;
    FleetSettings m_settings;
    std::shared_ptr<Link> m_link;
    std::thread m_thread;
    QElapsedTimer m_clock;
    QString m_connectionError;
    QTimer m_statusTimer;
    QTimer m_leftOutTimer;
    QJsonObject m_lastStatus;
    qint64 m_lastPublishMs = 0;
    LogBudget m_malformedLog{kMalformedLines, kMalformedWindowMs};
    QSet<QByteArray> m_retainedTopicsTold;
};
