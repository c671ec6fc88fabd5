#include "FleetClient.h"

#include "MqttConnection.h"
#include "RemoteLog.h"

#include "RemoteController.h"
#include "base/SettingsStore.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QHostInfo>
#include <QJsonDocument>
#include <QRandomGenerator>
#include <QThread>
#include <QUrl>

#include <mosquitto.h>
#include <mqtt_protocol.h>

#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <mutex>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

const QString kGroup = QStringLiteral("Mqtt");
constexpr int kKeepAliveSeconds = 30;
constexpr int kStatusCheckMs = 250;
constexpr int kLoopWaitMs = 100;             // how soon the network thread sees a stop
constexpr auto kFirstRetry = 1s;             // then doubled up to kLastRetry
constexpr auto kLastRetry = 30s;             //
constexpr auto kSteadyConnection = 30s;      // a connection that lasted this long starts afresh
constexpr auto kGoodbyeTime = 1s;            // the last "false" and the DISCONNECT going out
constexpr auto kStopWait = 3s;               // how long a stop waits for the network thread
constexpr qsizetype kMaxWaiting = 1000;      // messages the GUI thread has not taken yet
constexpr qsizetype kMaxPayload = 64 * 1024; // a command is a few dozen bytes

QString hostAndPort(const QString& host, int port)
{
    return (host.contains(QLatin1Char(':')) ? QLatin1Char('[') + host + QLatin1Char(']') : host) +
           QLatin1Char(':') + QString::number(port);
}

QString readableFileError(const QString& path, const char* what)
{
    const QFileInfo info(path);
    if (!info.exists())
        return QStringLiteral("%1 %2 does not exist").arg(QLatin1String(what), path);
    QFile file(path);
    if (!info.isFile() || !file.open(QIODevice::ReadOnly))
        return QStringLiteral("%1 %2 cannot be read").arg(QLatin1String(what), path);
    return {};
}

} // namespace

// What the network thread and the client share. The thread holds it too, so that a thread that
// outlives its client (stuck in a name lookup at a stop) still has what it works on.
struct FleetClient::Link
{
    // Set before the thread starts, then only read.
    mosquitto* client = nullptr;
    QByteArray host;
    int port = 0;
    QString where; // host:port, for messages
    QString name;
    QByteArray commandTopic;
    QByteArray allTopic;
    QByteArray onlineTopic;
    QByteArray claimTopic;
    QByteArray token; // this start's own, in the claim

    std::atomic<bool> stopping{false};
    std::atomic<bool> goodbye{true};
    std::atomic<bool> connected{false};

    struct Message
    {
        QByteArray topic;
        QByteArray payload;
        bool retained = false;
    };

    std::mutex mutex;                // guards what follows, up to the network thread's own
    FleetClient* receiver = nullptr; // null once the client no longer listens
    bool wakePending = false;
    std::deque<Message> inbox;
    qsizetype dropped = 0;
    std::deque<std::pair<bool, QString>> changes;
    bool statusAfterConnect = false;
    QByteArray lastLibraryError;
    bool finished = false;
    std::condition_variable finishedChanged;

    // The network thread's own.
    bool told = false; // anything told yet
    bool toldConnected = false;
    QString toldMessage;
    bool attemptFailed = false; // this attempt's failure is told (the first of its errors)
    bool takenOver = false;
    bool claimed = false; // our claim came back from the broker once
    Clock::time_point connectedAt;

    // The first change of each kind is told: on the log, and to the GUI thread.
    void tell(bool nowConnected, const QString& message)
    {
        if (told && toldConnected == nowConnected && toldMessage == message)
            return;
        told = true;
        toldConnected = nowConnected;
        toldMessage = message;
        qCWarning(lcRemote, "fleet: %s", qPrintable(message));
        std::lock_guard lock(mutex);
        changes.emplace_back(nowConnected, message);
        wakeLocked();
    }
    void attemptFailedWith(const QString& message)
    {
        if (attemptFailed)
            return;
        attemptFailed = true;
        tell(false, message);
    }
    void wakeLocked()
    {
        // Only a wake-up crosses through Qt's queue, and one at a time; what it carries waits
        // here, under our lock. Qt drops it if the client is gone before it arrives.
        if (!receiver || wakePending)
            return;
        wakePending = true;
        QMetaObject::invokeMethod(receiver, "takeInbox", Qt::QueuedConnection);
    }
    QByteArray takeLibraryError()
    {
        std::lock_guard lock(mutex);
        return std::exchange(lastLibraryError, {});
    }
};

namespace {

using Link = FleetClient::Link;

void onConnect(mosquitto* client, void* data, int rc, int, const mosquitto_property* properties)
{
    auto& link = *static_cast<Link*>(data);
    if (rc != 0) {
        QString why = mqttReason(rc, properties);
        if (rc == MQTT_RC_UNSUPPORTED_PROTOCOL_VERSION || rc == 1)
            why = QStringLiteral("the broker does not speak MQTT 5 (%1)").arg(why);
        link.attemptFailedWith(
            QStringLiteral("the broker at %1 refused the connection: %2").arg(link.where, why));
        return;
    }
    link.connected.store(true);
    link.connectedAt = Clock::now();
    mosquitto_subscribe(client, nullptr, link.commandTopic.constData(), 1);
    mosquitto_subscribe(client, nullptr, link.allTopic.constData(), 1);
    mosquitto_subscribe(client, nullptr, link.claimTopic.constData(), 1);
    if (!link.claimed)
        mosquitto_publish(client, nullptr, link.claimTopic.constData(), int(link.token.size()),
                          link.token.constData(), 1, true);
    mosquitto_publish(client, nullptr, link.onlineTopic.constData(), 4, "true", 1, true);
    {
        // The status again after every (re)connection, from the GUI thread that knows it.
        std::lock_guard lock(link.mutex);
        link.statusAfterConnect = true;
        link.wakeLocked();
    }
    link.tell(true,
              QStringLiteral("connected to the broker at %1 as %2").arg(link.where, link.name));
}

// Another client connected with our name (so our client id): the broker dropped us for it.
void takenOver(Link& link)
{
    link.takenOver = true;
    link.attemptFailed = true;
    link.tell(false, QStringLiteral("another player named %1 took over this connection to the "
                                    "broker at %2; not reconnecting (give each wall its own Name "
                                    "under [Mqtt])")
                         .arg(link.name, link.where));
}

// PREFIX/NAME/claim, retained: the token of the client that last connected under this name.
// An MQTT 5 broker that drops a client for a newer one of the same id says so (reason 142), but
// not every broker does (Mosquitto 2.0.11 just closes the socket). So each start claims the name
// once; a client that finds someone else's claim when it comes back after a loss knows it was
// pushed off, and yields (its reconnection pushed the newer one off once; that one comes back).
// A claim left from before this start is not someone else's: until our own claim came back, the
// retained one is old.
void onClaim(mosquitto* client, Link& link, const mosquitto_message& message)
{
    const QByteArrayView claim(static_cast<const char*>(message.payload), message.payloadlen);
    if (claim == link.token) {
        link.claimed = true;
    } else if (link.claimed || !message.retain) {
        takenOver(link);
        mosquitto_disconnect(client);
    }
}

void onDisconnect(mosquitto*, void* data, int rc, const mosquitto_property* properties)
{
    const int savedErrno = errno;
    auto& link = *static_cast<Link*>(data);
    const bool wasConnected = link.connected.exchange(false);
    if ((rc == MOSQ_ERR_SUCCESS && link.stopping.load()) || link.takenOver)
        return; // our own goodbye, or one told already
    if (rc == MQTT_RC_SESSION_TAKEN_OVER) {
        takenOver(link);
        return;
    }
    // Reason codes the broker sends are 128 and up (and 0, 4); below are the library's errors.
    const QByteArray detail = link.takeLibraryError();
    const QString why = rc >= 128      ? mqttReason(rc, properties)
                        : rc == 0      ? QStringLiteral("the broker ended it")
                        : wasConnected ? mqttError(rc, savedErrno, detail)
                                       : mqttConnectError(rc, savedErrno, detail);
    if (wasConnected) {
        link.attemptFailed = true; // the errors that follow are this one's
        link.tell(
            false,
            QStringLiteral("lost the connection to the broker at %1: %2").arg(link.where, why));
    } else {
        link.attemptFailedWith(
            QStringLiteral("cannot connect to the broker at %1: %2").arg(link.where, why));
    }
}

void onMessage(mosquitto* client, void* data, const mosquitto_message* message,
               const mosquitto_property*)
{
    auto& link = *static_cast<Link*>(data);
    if (link.claimTopic == message->topic) {
        onClaim(client, link, *message);
        return;
    }
    std::lock_guard lock(link.mutex);
    if (link.inbox.size() >= size_t(kMaxWaiting)) {
        ++link.dropped; // a flood: the GUI thread is told how many, not given them all
        return;
    }
    // A payload over the limit is refused unread; a byte more than the limit says it was over.
    const auto size = std::min<qsizetype>(message->payloadlen, kMaxPayload + 1);
    link.inbox.push_back({QByteArray(message->topic),
                          QByteArray(static_cast<const char*>(message->payload), size),
                          message->retain});
    link.wakeLocked();
}

void onLog(mosquitto*, void* data, int level, const char* text)
{
    // The library tells OpenSSL's reasons (a certificate refused, a key that does not fit) only
    // here: the last one goes with the error it explains.
    if (level != MOSQ_LOG_ERR)
        return;
    auto& link = *static_cast<Link*>(data);
    std::lock_guard lock(link.mutex);
    link.lastLibraryError = text;
}

void sleepUnlessStopping(Link& link, Clock::duration wait)
{
    const auto until = Clock::now() + std::min<Clock::duration>(wait, 100ms);
    while (!link.stopping.load() && Clock::now() < until)
        std::this_thread::sleep_for(10ms);
}

// The network thread: connects, runs the loop, reconnects with a growing delay, and at the end
// says goodbye and frees the client. Our own loop rather than mosquitto_loop_start's: that one
// ends for good, silently, on a TLS error, and would retry a taken-over connection every second.
void runLink(std::shared_ptr<Link> shared)
{
    Link& link = *shared;
    Clock::duration retry = kFirstRetry;
    auto nextAttempt = Clock::now();
    bool first = true;
    bool open = false;
    const auto scheduleRetry = [&] {
        open = false;
        nextAttempt = Clock::now() + retry;
        retry = std::min<Clock::duration>(retry * 2, kLastRetry);
    };
    while (!link.stopping.load()) {
        if (!open) {
            // Taken over: another client holds our name. Reconnecting would take it back, and
            // it would do the same a second later: two walls knocking each other off the broker,
            // neither one's status right for long. The wall stays off until it is started again
            // (a settings change or a restart), which is what a clash of names needs anyway.
            if (link.takenOver || Clock::now() < nextAttempt) {
                sleepUnlessStopping(link, link.takenOver ? 100ms : nextAttempt - Clock::now());
                continue;
            }
            link.attemptFailed = false;
            link.takeLibraryError();
            const int rc = first ? mosquitto_connect_async(link.client, link.host.constData(),
                                                           link.port, kKeepAliveSeconds)
                                 : mosquitto_reconnect_async(link.client);
            const int savedErrno = errno;
            first = false;
            if (rc != MOSQ_ERR_SUCCESS) {
                link.attemptFailedWith(
                    QStringLiteral("cannot connect to the broker at %1: %2")
                        .arg(link.where,
                             mqttConnectError(rc, savedErrno, link.takeLibraryError())));
                scheduleRetry();
                continue;
            }
            open = true;
        }
        const int rc = mosquitto_loop(link.client, kLoopWaitMs, 1);
        if (rc == MOSQ_ERR_SUCCESS)
            continue;
        const int savedErrno = errno;
        // The disconnect callback told most errors already; a failed TLS handshake comes only here.
        const bool wasConnected = link.connected.exchange(false);
        const QByteArray detail = link.takeLibraryError();
        const QString why = wasConnected ? mqttError(rc, savedErrno, detail)
                                         : mqttConnectError(rc, savedErrno, detail);
        if (wasConnected)
            link.tell(
                false,
                QStringLiteral("lost the connection to the broker at %1: %2").arg(link.where, why));
        else
            link.attemptFailedWith(
                QStringLiteral("cannot connect to the broker at %1: %2").arg(link.where, why));
        // A connection that held a while earns a quick retry; one dropped at once waits longer
        // each time.
        if (link.connectedAt != Clock::time_point{} &&
            Clock::now() - link.connectedAt > kSteadyConnection)
            retry = kFirstRetry;
        link.connectedAt = {};
        scheduleRetry();
    }
    if (link.goodbye.load() && link.connected.load()) {
        mosquitto_publish(link.client, nullptr, link.onlineTopic.constData(), 5, "false", 1, true);
        mosquitto_disconnect(link.client);
        // The DISCONNECT goes after the "false"; once it is out the library closes the socket.
        const auto until = Clock::now() + kGoodbyeTime;
        while (Clock::now() < until &&
               mosquitto_loop(link.client, kLoopWaitMs, 1) == MOSQ_ERR_SUCCESS) {
        }
    }
    // Without a goodbye the socket just closes: the broker tells the last will.
    mosquitto_destroy(link.client);
    link.client = nullptr;
    link.connected.store(false);
    std::lock_guard lock(link.mutex);
    link.finished = true;
    link.finishedChanged.notify_all();
}

} // namespace

FleetSettings FleetSettings::load()
{
    FleetSettings s;
    s.url = SettingsStore::readString(kGroup, QStringLiteral("Url"));
    s.name = SettingsStore::readString(kGroup, QStringLiteral("Name"));
    s.user = SettingsStore::readString(kGroup, QStringLiteral("User"));
    s.password = SettingsStore::readString(kGroup, QStringLiteral("Password"));
    s.topicPrefix = SettingsStore::readString(kGroup, QStringLiteral("TopicPrefix"), s.topicPrefix);
    s.caFile = SettingsStore::readString(kGroup, QStringLiteral("CaFile"), s.caFile);
    s.certFile = SettingsStore::readString(kGroup, QStringLiteral("CertFile"));
    s.keyFile = SettingsStore::readString(kGroup, QStringLiteral("KeyFile"));
    return s;
}

bool FleetSettings::parseUrl(const QString& text, QString* host, int* port, bool* tls)
{
    const QUrl url(text);
    if (!url.isValid() || url.host().isEmpty())
        return false;
    if (url.scheme() == QLatin1String("mqtt"))
        *tls = false;
    else if (url.scheme() == QLatin1String("mqtts"))
        *tls = true;
    else
        return false;
    *host = url.host();
    *port = url.port(*tls ? 8883 : 1883);
    return true;
}

QString FleetSettings::playerName() const
{
    return name.isEmpty() ? defaultName() : name;
}

QString FleetSettings::defaultName()
{
    QByteArray id;
    for (const char* path : {"/etc/machine-id", "/var/lib/dbus/machine-id"}) {
        QFile file(QString::fromLatin1(path));
        if (file.open(QIODevice::ReadOnly))
            id = file.read(64).trimmed();
        if (!id.isEmpty())
            break;
    }
    return cleanName(QHostInfo::localHostName(), id);
}

QString FleetSettings::cleanName(const QString& host, const QByteArray& machineId)
{
    QString name;
    for (const QChar c : host) {
        const bool safe = c.unicode() < 0x80 && (c.isLetterOrNumber() || c == QLatin1Char('-') ||
                                                 c == QLatin1Char('_') || c == QLatin1Char('.'));
        name += safe ? c : QLatin1Char('-');
    }
    if (!std::any_of(name.cbegin(), name.cend(), [](QChar c) { return c.isLetterOrNumber(); }))
        name = QStringLiteral("player");
    // The id only when it is one (systemd writes "uninitialized" until the first boot is done).
    const QByteArray hex = machineId.left(8).toLower();
    const bool isId = hex.size() == 8 && std::all_of(hex.cbegin(), hex.cend(), [](char c) {
                          return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
                      });
    return isId ? name + QLatin1Char('-') + QString::fromLatin1(hex) : name;
}

bool FleetSettings::brokerAddress(QString* host, int* port, bool* tls, QString* error) const
{
    if (parseUrl(url, host, port, tls))
        return true;
    *error = QStringLiteral("%1 is not an mqtt:// or mqtts:// address").arg(url);
    return false;
}

void FleetSettings::initialiseLibrary()
{
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

bool FleetSettings::isTopicWord(QStringView word)
{
    return !word.isEmpty() && !word.contains(QLatin1Char('/')) &&
           !word.contains(QLatin1Char('+')) && !word.contains(QLatin1Char('#'));
}

bool FleetSettings::configure(mosquitto* client, bool tls, QString* error) const
{
    mosquitto_int_option(client, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V5);
    mosquitto_int_option(client, MOSQ_OPT_TCP_NODELAY, 1);
    if (!user.isEmpty())
        mosquitto_username_pw_set(client, user.toUtf8().constData(), password.toUtf8().constData());
    // Never in clear when TLS was asked for: any failure to set it up ends here.
    return !tls || applyTls(client, error);
}

std::unique_ptr<MqttConnection> FleetSettings::openClient(const QByteArray& id, void* self,
                                                          void (*setUp)(mosquitto*),
                                                          QString* error) const
{
    QString host;
    int port = 0;
    bool tls = false;
    if (!brokerAddress(&host, &port, &tls, error))
        return nullptr;
    initialiseLibrary();
    mosquitto* client = mosquitto_new(id.constData(), true, self);
    if (!client) {
        *error = QStringLiteral("no MQTT client");
        return nullptr;
    }
    if (!configure(client, tls, error)) {
        mosquitto_destroy(client);
        return nullptr;
    }
    setUp(client);
    if (mosquitto_connect_async(client, host.toUtf8().constData(), port, 10) != MOSQ_ERR_SUCCESS) {
        *error = QStringLiteral("cannot reach the broker at %1").arg(url);
        mosquitto_destroy(client);
        return nullptr;
    }
    return std::make_unique<MqttConnection>(client);
}

bool FleetSettings::applyTls(mosquitto* client, QString* error) const
{
    const QString ca = caFile.isEmpty() ? QString::fromLatin1(kSystemCaFile) : caFile;
    if (certFile.isEmpty() != keyFile.isEmpty()) {
        *error =
            QStringLiteral("a client certificate needs its key: CertFile and KeyFile go "
                           "together (only %1 is set)")
                .arg(certFile.isEmpty() ? QStringLiteral("KeyFile") : QStringLiteral("CertFile"));
        return false;
    }
    for (const auto& [path, what] :
         {std::pair{ca, "the CA file"}, std::pair{certFile, "the client certificate"},
          std::pair{keyFile, "the client key"}}) {
        if (path.isEmpty())
            continue;
        *error = readableFileError(path, what);
        if (!error->isEmpty()) {
            *error = QStringLiteral("mqtts: ") + *error + QStringLiteral(": no connection");
            return false;
        }
    }
    const QByteArray caPath = QFile::encodeName(ca);
    const QByteArray certPath = QFile::encodeName(certFile);
    const QByteArray keyPath = QFile::encodeName(keyFile);
    const int rc = mosquitto_tls_set(client, caPath.constData(), nullptr,
                                     certFile.isEmpty() ? nullptr : certPath.constData(),
                                     keyFile.isEmpty() ? nullptr : keyPath.constData(), nullptr);
    if (rc != MOSQ_ERR_SUCCESS) {
        *error = QStringLiteral("mqtts: TLS could not be set up with %1: %2: no connection")
                     .arg(ca, mqttError(rc, errno));
        return false;
    }
    return true;
}

FleetClient::FleetClient(RemoteController& controller, QObject* parent)
    : QObject(parent), m_controller(controller)
{
    m_clock.start();
    m_statusTimer.setInterval(kStatusCheckMs);
    connect(&m_statusTimer, &QTimer::timeout, this, [this] { publishStatus(false); });
    m_leftOutTimer.setSingleShot(true);
    m_leftOutTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_leftOutTimer, &QTimer::timeout, this, &FleetClient::tellLeftOut);
}

FleetClient::~FleetClient()
{
    stop();
}

bool FleetClient::isConnected() const
{
    return m_link && m_link->connected.load();
}

bool FleetClient::start(const FleetSettings& settings, QString* error)
{
    if (startLink(settings, error))
        return true;
    qCWarning(lcRemote, "fleet: %s", qPrintable(*error));
    return false;
}

bool FleetClient::startLink(const FleetSettings& settings, QString* error)
{
    stop();
    QString host;
    int port = 0;
    bool tls = false;
    if (!settings.brokerAddress(&host, &port, &tls, error))
        return false;
    const QString name = settings.playerName();
    if (!FleetSettings::isTopicWord(name) || name == QLatin1String("all")) {
        *error = QStringLiteral("%1 cannot be a player's name in topics").arg(name);
        return false;
    }
    FleetSettings::initialiseLibrary();
    auto link = std::make_shared<Link>();
    link->host = host.toUtf8();
    link->port = port;
    link->where = hostAndPort(host, port);
    link->name = name;
    const QString prefix = settings.topicPrefix + QLatin1Char('/');
    link->commandTopic = (prefix + name + QStringLiteral("/cmd")).toUtf8();
    link->allTopic = (prefix + QStringLiteral("all/cmd")).toUtf8();
    link->onlineTopic = (prefix + name + QStringLiteral("/online")).toUtf8();
    link->claimTopic = (prefix + name + QStringLiteral("/claim")).toUtf8();
    link->token = QByteArray::number(QRandomGenerator::system()->generate64(), 16);
    const QByteArray id = ("tessarin-" + name).toUtf8();
    link->client = mosquitto_new(id.constData(), true, link.get());
    if (!link->client) {
        *error = QStringLiteral("the MQTT client could not be made");
        return false;
    }
    mosquitto* client = link->client;
    // The loop runs on our thread, publishing happens on the GUI thread: the library must only
    // queue what it is given there.
    mosquitto_threaded_set(client, true);
    if (!settings.configure(client, tls, error)) {
        mosquitto_destroy(client);
        return false;
    }
    mosquitto_will_set(client, link->onlineTopic.constData(), 5, "false", 1, true);
    mosquitto_connect_v5_callback_set(client, &onConnect);
    mosquitto_disconnect_v5_callback_set(client, &onDisconnect);
    mosquitto_message_v5_callback_set(client, &onMessage);
    mosquitto_log_callback_set(client, &onLog);
    m_settings = settings;
    link->receiver = this;
    m_link = link;
    // In the background: a broker that is not there yet is tried again and again.
    m_thread = std::thread(runLink, std::move(link));
    m_statusTimer.start();
    return true;
}

void FleetClient::stop()
{
    endLink(true);
}

void FleetClient::dropWithoutGoodbye()
{
    if (m_link && m_link->connected.load()) {
        // No DISCONNECT: the connection dies under the client, the broker publishes the will.
        m_link->goodbye.store(false);
        ::shutdown(mosquitto_socket(m_link->client), SHUT_RDWR);
        QElapsedTimer waited;
        waited.start();
        while (m_link->connected.load() && waited.elapsed() < 5000)
            QThread::msleep(5);
    }
    endLink(false);
}

void FleetClient::endLink(bool goodbye)
{
    m_statusTimer.stop();
    if (!m_link)
        return;
    const std::shared_ptr<Link> link = std::move(m_link);
    if (!goodbye)
        link->goodbye.store(false);
    bool finished = false;
    {
        std::unique_lock lock(link->mutex);
        link->receiver = nullptr;
        link->stopping.store(true);
        // The thread sees the stop within a tenth of a second and says goodbye within a second;
        // only a name lookup that the resolver does not answer holds it longer, and a stop must
        // not hang on that: the thread then finishes by itself, with its own share of the link.
        finished = link->finishedChanged.wait_for(lock, kStopWait, [&] { return link->finished; });
    }
    if (finished)
        m_thread.join();
    else
        m_thread.detach();
    m_connectionError.clear();
}

void FleetClient::takeInbox()
{
    if (!m_link)
        return;
    std::deque<Link::Message> messages;
    std::deque<std::pair<bool, QString>> changes;
    bool statusAgain = false;
    qsizetype dropped = 0;
    {
        std::lock_guard lock(m_link->mutex);
        m_link->wakePending = false;
        messages.swap(m_link->inbox);
        changes.swap(m_link->changes);
        statusAgain = std::exchange(m_link->statusAfterConnect, false);
        dropped = std::exchange(m_link->dropped, 0);
    }
    for (const auto& [connected, message] : changes) {
        m_connectionError = connected ? QString() : message;
        emit connectionChanged(connected, message);
    }
    if (statusAgain)
        publishStatus(true);
    if (dropped > 0)
        refuse(QStringLiteral("%1 messages came faster than they could be taken").arg(dropped), {});
    for (const Link::Message& message : messages)
        handle(message.topic, message.payload, message.retained);
}

void FleetClient::handle(const QByteArray& topic, const QByteArray& payload, bool retained)
{
    if (retained) {
        // A command kept by the broker would be obeyed again at every connection: commands are
        // events. Said once for each topic, so that someone clears it.
        if (!m_retainedTopicsTold.contains(topic)) {
            m_retainedTopicsTold.insert(topic);
            qCWarning(lcRemote,
                      "fleet: a retained command on %s ignored (commands are not kept; clear it "
                      "with mosquitto_pub -r -n -t TOPIC): %s",
                      quotedPayload(topic).constData(), quotedPayload(payload).constData());
        }
        emit commandHandled(QStringLiteral("ignored: retained"));
        return;
    }
    QString error;
    QString name;
    bool done = false;
    QJsonParseError parseError{};
    const QJsonDocument document = payload.size() > kMaxPayload
                                       ? QJsonDocument()
                                       : QJsonDocument::fromJson(payload, &parseError);
    const QJsonObject command = document.object();
    name = command.value(QStringLiteral("cmd")).toString();
    if (payload.size() > kMaxPayload) {
        error = QStringLiteral("too large");
    } else if (parseError.error != QJsonParseError::NoError || name.isEmpty()) {
        error = QStringLiteral("not a command");
    } else if (name == QLatin1String("item")) {
        const QJsonValue item = command.value(QStringLiteral("item"));
        const double number = item.toDouble(-1);
        if (!item.isDouble() || !(number >= 0 && number <= INT_MAX) || std::floor(number) != number)
            error = QStringLiteral("not a whole number in range");
        else if (!(done = m_controller.playItem(int(number))))
            error = QStringLiteral("no such item");
    } else if (name == QLatin1String("open")) {
        const QString path = command.value(QStringLiteral("path")).toString();
        done = !path.isEmpty() && m_controller.openProject(path, &error);
        if (path.isEmpty())
            error = QStringLiteral("no path");
    } else {
        done = m_controller.command(name);
        if (!done)
            error = QStringLiteral("unknown command");
    }
    if (!done) {
        refuse(error, payload);
        return;
    }
    publishStatus(true);
    emit commandHandled(name);
}

void FleetClient::refuse(const QString& why, const QByteArray& payload)
{
    // A flood of bad messages is a few lines on the log, not one each.
    tellLeftOut();
    if (m_malformedLog.take(m_clock.elapsed()))
        qCWarning(lcRemote, "fleet command ignored (%s): %s", qPrintable(why),
                  quotedPayload(payload).constData());
    else if (!m_leftOutTimer.isActive())
        m_leftOutTimer.start(
            int(std::max<qint64>(m_malformedLog.windowEnd() - m_clock.elapsed(), 0)));
    emit commandHandled(QStringLiteral("malformed: ") + why);
}

void FleetClient::tellLeftOut()
{
    const int leftOut = m_malformedLog.takeLeftOut(m_clock.elapsed());
    if (leftOut > 0)
        qCWarning(lcRemote, "%d more malformed fleet messages ignored", leftOut);
    else if (m_malformedLog.hasLeftOut() && !m_leftOutTimer.isActive())
        m_leftOutTimer.start(
            int(std::max<qint64>(m_malformedLog.windowEnd() - m_clock.elapsed(), 1)));
}

void FleetClient::publishStatus(bool always)
{
    if (!m_link || !m_link->connected.load())
        return;
    const QJsonObject status = m_controller.status();
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (!always && status == m_lastStatus && now - m_lastPublishMs < kStatusEveryMs)
        return;
    m_lastStatus = status;
    m_lastPublishMs = now;
    const QByteArray payload = QJsonDocument(status).toJson(QJsonDocument::Compact);
    const QByteArray where =
        (m_settings.topicPrefix + QLatin1Char('/') + m_link->name + QStringLiteral("/status"))
            .toUtf8();
    mosquitto_publish(m_link->client, nullptr, where.constData(), int(payload.size()),
                      payload.constData(), 1, true);
}
