#include "FleetClient.h"
#include "RemoteLog.h"

#include "RemoteController.h"
#include "base/SettingsStore.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QHostInfo>
#include <QJsonDocument>
#include <QThread>
#include <QUrl>

#include <mosquitto.h>

#include <sys/socket.h>

#include <mutex>

namespace {

const QString kGroup = QStringLiteral("Mqtt");
constexpr int kKeepAliveSeconds = 30;
constexpr int kStatusCheckMs = 250;

void initialiseLibrary()
{
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
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
    return name.isEmpty() ? QHostInfo::localHostName() : name;
}

FleetClient::FleetClient(RemoteController& controller, QObject* parent)
    : QObject(parent), m_controller(controller)
{
    m_statusTimer.setInterval(kStatusCheckMs);
    connect(&m_statusTimer, &QTimer::timeout, this, [this] { publishStatus(false); });
}

FleetClient::~FleetClient()
{
    stop();
}

QByteArray FleetClient::topic(const char* leaf) const
{
    return (m_settings.topicPrefix + QLatin1Char('/') + m_name + QLatin1Char('/') +
            QLatin1String(leaf))
        .toUtf8();
}

bool FleetClient::start(const FleetSettings& settings, QString* error)
{
    stop();
    QString host;
    int port = 0;
    bool tls = false;
    if (!FleetSettings::parseUrl(settings.url, &host, &port, &tls)) {
        *error = QStringLiteral("%1 is not an mqtt:// or mqtts:// address").arg(settings.url);
        return false;
    }
    m_settings = settings;
    m_name = settings.playerName();
    if (m_name.contains(QLatin1Char('/')) || m_name.contains(QLatin1Char('+')) ||
        m_name.contains(QLatin1Char('#')) || m_name == QLatin1String("all")) {
        *error = QStringLiteral("%1 cannot be a player's name in topics").arg(m_name);
        return false;
    }
    initialiseLibrary();
    const QByteArray id = ("tessarin-" + m_name).toUtf8();
    m_client = mosquitto_new(id.constData(), true, this);
    if (!m_client) {
        *error = QStringLiteral("the MQTT client could not be made");
        return false;
    }
    if (!settings.user.isEmpty())
        mosquitto_username_pw_set(m_client, settings.user.toUtf8().constData(),
                                  settings.password.toUtf8().constData());
    if (tls)
        mosquitto_tls_set(m_client, "/etc/ssl/certs/ca-certificates.crt", nullptr, nullptr, nullptr,
                          nullptr);
    const QByteArray will = topic("online");
    mosquitto_will_set(m_client, will.constData(), 5, "false", 1, true);
    mosquitto_reconnect_delay_set(m_client, 1, 30, true);
    // Small messages that should go at once: no waiting to fill a packet.
    mosquitto_int_option(m_client, MOSQ_OPT_TCP_NODELAY, 1);
    mosquitto_connect_callback_set(m_client, &FleetClient::onConnect);
    mosquitto_disconnect_callback_set(m_client, &FleetClient::onDisconnect);
    mosquitto_message_callback_set(m_client, &FleetClient::onMessage);
    // In the background: a broker that is not there yet is tried again and again.
    mosquitto_connect_async(m_client, host.toUtf8().constData(), port, kKeepAliveSeconds);
    if (mosquitto_loop_start(m_client) != MOSQ_ERR_SUCCESS) {
        *error = QStringLiteral("the MQTT network thread could not start");
        mosquitto_destroy(m_client);
        m_client = nullptr;
        return false;
    }
    m_statusTimer.start();
    return true;
}

void FleetClient::stop()
{
    m_statusTimer.stop();
    if (!m_client)
        return;
    const bool connected = m_connected.load();
    if (connected) {
        const QByteArray online = topic("online");
        mosquitto_publish(m_client, nullptr, online.constData(), 5, "false", 1, true);
    }
    endLoop(connected);
}

void FleetClient::endLoop(bool orderly)
{
    // Connected, the loop ends by itself once the DISCONNECT is out: never cancel a thread that
    // may be inside our callbacks. Without a connection it may sit in a connect to a host that
    // does not answer, and a Stop must not hang on that: then it is cancelled.
    mosquitto_disconnect(m_client);
    mosquitto_loop_stop(m_client, !orderly);
    mosquitto_destroy(m_client);
    m_client = nullptr;
    m_connected.store(false);
}

void FleetClient::dropWithoutGoodbye()
{
    m_statusTimer.stop();
    if (!m_client)
        return;
    // No DISCONNECT: the connection dies under the client, the broker publishes the will.
    const bool connected = m_connected.load();
    if (connected) {
        ::shutdown(mosquitto_socket(m_client), SHUT_RDWR);
        QElapsedTimer waited;
        waited.start();
        while (m_connected.load() && waited.elapsed() < 5000)
            QThread::msleep(5);
    }
    endLoop(connected);
}

void FleetClient::onConnect(mosquitto* client, void* self, int rc)
{
    auto* fleet = static_cast<FleetClient*>(self);
    if (rc != 0)
        return;
    fleet->m_connected.store(true);
    const QByteArray mine = fleet->topic("cmd");
    const QByteArray all = (fleet->m_settings.topicPrefix + QStringLiteral("/all/cmd")).toUtf8();
    mosquitto_subscribe(client, nullptr, mine.constData(), 1);
    mosquitto_subscribe(client, nullptr, all.constData(), 1);
    const QByteArray online = fleet->topic("online");
    mosquitto_publish(client, nullptr, online.constData(), 4, "true", 1, true);
    // The status again after every (re)connection, from the GUI thread that knows it.
    fleet->m_statusAfterConnect.store(true);
    fleet->wakeGuiThread();
}

void FleetClient::onDisconnect(mosquitto*, void* self, int)
{
    static_cast<FleetClient*>(self)->m_connected.store(false);
}

void FleetClient::onMessage(mosquitto*, void* self, const mosquitto_message* message)
{
    auto* fleet = static_cast<FleetClient*>(self);
    // On the GUI thread: the commands are the toolbar's.
    {
        std::lock_guard lock(fleet->m_inboxMutex);
        fleet->m_inbox.emplace_back(static_cast<const char*>(message->payload),
                                    message->payloadlen);
    }
    fleet->wakeGuiThread();
}

void FleetClient::wakeGuiThread()
{
    // Only a wake-up crosses through Qt's queue; what it carries waits in our own, under our
    // lock. Delivered to the client while it lives, dropped by Qt once it is gone.
    QMetaObject::invokeMethod(this, "takeInbox", Qt::QueuedConnection);
}

void FleetClient::takeInbox()
{
    std::deque<QByteArray> messages;
    {
        std::lock_guard lock(m_inboxMutex);
        messages.swap(m_inbox);
    }
    if (m_statusAfterConnect.exchange(false))
        publishStatus(true);
    for (const QByteArray& payload : messages)
        handle(payload);
}

void FleetClient::handle(const QByteArray& payload)
{
    QJsonParseError parseError;
    const QJsonObject command = QJsonDocument::fromJson(payload, &parseError).object();
    const QString name = command.value(QStringLiteral("cmd")).toString();
    QString error;
    bool done = false;
    if (parseError.error != QJsonParseError::NoError || name.isEmpty()) {
        error = QStringLiteral("not a command");
    } else if (name == QLatin1String("item")) {
        const QJsonValue item = command.value(QStringLiteral("item"));
        done = item.isDouble() && m_controller.playItem(item.toInt());
        if (!done)
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
        qCWarning(lcRemote, "fleet command ignored (%s): %s", qPrintable(error),
                  payload.left(200).constData());
        emit commandHandled(QStringLiteral("malformed: ") + error);
        return;
    }
    publishStatus(true);
    emit commandHandled(name);
}

void FleetClient::publishStatus(bool always)
{
    if (!m_client || !m_connected.load())
        return;
    const QJsonObject status = m_controller.status();
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (!always && status == m_lastStatus && now - m_lastPublishMs < kStatusEveryMs)
        return;
    m_lastStatus = status;
    m_lastPublishMs = now;
    const QByteArray payload = QJsonDocument(status).toJson(QJsonDocument::Compact);
    const QByteArray where = topic("status");
    mosquitto_publish(m_client, nullptr, where.constData(), int(payload.size()),
                      payload.constData(), 1, true);
}
