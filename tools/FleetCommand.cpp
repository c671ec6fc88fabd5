#include "FleetCommand.h"

#include "remote/FleetClient.h"
#include "remote/FleetText.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QTextStream>

#include <mosquitto.h>
#include <mqtt_protocol.h>

#include <cerrno>
#include <chrono>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr auto kGatherTime = 1500ms; // the retained statuses arrive at once; this is plenty
constexpr auto kAnswerTime = 5s;     // for the broker's CONNACK and PUBACK

// What the callbacks see, on this thread (the tool runs the loop itself).
struct Session
{
    QString prefix;
    QMap<QString, QByteArray> statuses;
    bool answered = false; // a CONNACK came
    int connectReason = -1;
    QString refused;
    int publishId = -1;
    bool published = false;
    int publishReason = 0;
    QString lost;
    QByteArray libraryError;
};

const char* kUsage =
    "usage: tessarin-tool fleet --broker mqtt://HOST:PORT [--user U --password P] [--prefix P]\n"
    "                           [--ca FILE] [--cert FILE --key FILE] status\n"
    "       tessarin-tool fleet --broker mqtt[s]://HOST:PORT ... send NAME|all CMD [ARG]\n";

// Runs the loop until `done` or the time is up; false when the connection broke.
template <typename Done>
bool loopUntil(mosquitto* client, Session& session, Done done)
{
    const auto end = Clock::now() + kAnswerTime;
    while (!done() && Clock::now() < end) {
        const int rc = mosquitto_loop(client, 50, 1);
        if (rc != MOSQ_ERR_SUCCESS) {
            const int savedErrno = errno;
            if (session.lost.isEmpty())
                session.lost = session.answered
                                   ? mqttError(rc, savedErrno, session.libraryError)
                                   : mqttConnectError(rc, savedErrno, session.libraryError);
            return false;
        }
    }
    return done();
}

} // namespace

int fleetCommand(const QStringList& args, QTextStream& out, QTextStream& err)
{
    FleetSettings settings;
    settings.url.clear();
    QStringList rest;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const bool more = i + 1 < args.size();
        if (args[i] == QLatin1String("--broker") && more)
            settings.url = args[++i];
        else if (args[i] == QLatin1String("--prefix") && more)
            settings.topicPrefix = args[++i];
        else if (args[i] == QLatin1String("--user") && more)
            settings.user = args[++i];
        else if (args[i] == QLatin1String("--password") && more)
            settings.password = args[++i];
        else if (args[i] == QLatin1String("--ca") && more)
            settings.caFile = args[++i];
        else if (args[i] == QLatin1String("--cert") && more)
            settings.certFile = args[++i];
        else if (args[i] == QLatin1String("--key") && more)
            settings.keyFile = args[++i];
        else
            rest << args[i];
    }
    QString host;
    int port = 0;
    bool tls = false;
    const bool send = !rest.isEmpty() && rest[0] == QLatin1String("send");
    if (!FleetSettings::parseUrl(settings.url, &host, &port, &tls) || rest.isEmpty() ||
        (send && rest.size() < 3) || (!send && rest[0] != QLatin1String("status"))) {
        err << kUsage;
        return 2;
    }
    QJsonObject command;
    if (send) {
        command.insert(QStringLiteral("cmd"), rest[2]);
        if (rest[2] == QLatin1String("item")) {
            bool whole = false;
            const int item = rest.size() > 3 ? rest[3].toInt(&whole) : -1;
            if (!whole || item < 0) {
                err << "item wants a whole number from 0 up\n";
                return 2;
            }
            command.insert(QStringLiteral("item"), item);
        } else if (rest[2] == QLatin1String("open") && rest.size() > 3) {
            command.insert(QStringLiteral("path"), rest[3]);
        }
    }

    mosquitto_lib_init();
    Session session;
    session.prefix = settings.topicPrefix;
    mosquitto* client = mosquitto_new(nullptr, true, &session);
    if (!client) {
        err << "the MQTT client could not be made" << Qt::endl;
        return 1;
    }
    const auto finish = [&](int code) {
        mosquitto_destroy(client);
        mosquitto_lib_cleanup();
        return code;
    };
    QString error;
    if (!settings.configure(client, tls, &error)) {
        err << error << Qt::endl;
        return finish(1);
    }
    mosquitto_log_callback_set(client, [](mosquitto*, void* data, int level, const char* text) {
        if (level == MOSQ_LOG_ERR)
            static_cast<Session*>(data)->libraryError = text;
    });
    mosquitto_connect_v5_callback_set(
        client, [](mosquitto*, void* data, int rc, int, const mosquitto_property* properties) {
            auto* s = static_cast<Session*>(data);
            s->answered = true;
            s->connectReason = rc;
            if (rc != 0)
                s->refused = mqttReason(rc, properties);
        });
    mosquitto_disconnect_v5_callback_set(
        client, [](mosquitto*, void* data, int rc, const mosquitto_property* properties) {
            const int savedErrno = errno;
            auto* s = static_cast<Session*>(data);
            if (rc != 0 && s->lost.isEmpty())
                s->lost = rc >= 128     ? mqttReason(rc, properties)
                          : s->answered ? mqttError(rc, savedErrno, s->libraryError)
                                        : mqttConnectError(rc, savedErrno, s->libraryError);
        });
    mosquitto_publish_v5_callback_set(
        client, [](mosquitto*, void* data, int id, int reason, const mosquitto_property*) {
            auto* s = static_cast<Session*>(data);
            if (id == s->publishId) {
                s->published = true;
                s->publishReason = reason;
            }
        });
    mosquitto_message_v5_callback_set(client, [](mosquitto*, void* data, const mosquitto_message* m,
                                                 const mosquitto_property*) {
        auto* s = static_cast<Session*>(data);
        const QString topic = QString::fromUtf8(m->topic);
        const QString name = topic.mid(s->prefix.size() + 1).section(QLatin1Char('/'), 0, 0);
        s->statuses.insert(name, QByteArray(static_cast<const char*>(m->payload), m->payloadlen));
    });

    // Connected means the broker said yes (CONNACK), not only that a socket opened; and a host
    // that does not answer at all is given up after a few seconds, not the system's minutes.
    const int rc = mosquitto_connect_async(client, host.toUtf8().constData(), port, 30);
    if (rc != MOSQ_ERR_SUCCESS) {
        const int savedErrno = errno;
        err << "cannot reach the broker at " << settings.url << ": "
            << mqttConnectError(rc, savedErrno, session.libraryError) << Qt::endl;
        return finish(1);
    }
    loopUntil(client, session, [&] { return session.answered; });
    if (!session.answered || session.connectReason != 0) {
        err << "cannot connect to the broker at " << settings.url << ": "
            << (!session.refused.isEmpty() ? QStringLiteral("refused: ") + session.refused
                : !session.lost.isEmpty()  ? session.lost
                                           : QStringLiteral("no answer"))
            << Qt::endl;
        return finish(1);
    }

    int result = 0;
    if (!send) {
        const QByteArray filter = (settings.topicPrefix + QStringLiteral("/+/status")).toUtf8();
        mosquitto_subscribe(client, nullptr, filter.constData(), 1);
        const auto end = Clock::now() + kGatherTime;
        while (Clock::now() < end && mosquitto_loop(client, 50, 1) == MOSQ_ERR_SUCCESS) {
        }
        for (auto it = session.statuses.cbegin(); it != session.statuses.cend(); ++it)
            out << it.key() << ' ' << it.value() << Qt::endl;
    } else {
        const QByteArray topic =
            (settings.topicPrefix + QLatin1Char('/') + rest[1] + QStringLiteral("/cmd")).toUtf8();
        const QByteArray payload = QJsonDocument(command).toJson(QJsonDocument::Compact);
        int id = 0;
        const int published = mosquitto_publish(client, &id, topic.constData(), int(payload.size()),
                                                payload.constData(), 1, false);
        session.publishId = id;
        // Sent means the broker took it (the PUBACK of QoS 1) and did not refuse it.
        if (published != MOSQ_ERR_SUCCESS) {
            err << "the command could not be sent: " << mqttError(published, errno) << Qt::endl;
            result = 1;
        } else if (!loopUntil(client, session, [&] { return session.published; })) {
            err << "the broker at " << settings.url << " did not acknowledge the command"
                << (session.lost.isEmpty() ? QString() : QStringLiteral(": ") + session.lost)
                << Qt::endl;
            result = 1;
        } else if (session.publishReason >= 128) {
            err << "the broker at " << settings.url
                << " refused the command: " << mqttReason(session.publishReason, nullptr)
                << Qt::endl;
            result = 1;
        } else {
            out << "sent " << payload << " to " << topic << Qt::endl;
        }
    }
    mosquitto_disconnect(client);
    mosquitto_loop(client, 50, 1);
    return finish(result);
}
