#include "FleetCommand.h"

#include "remote/FleetClient.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QTextStream>

#include <mosquitto.h>

#include <chrono>
#include <thread>

namespace {

constexpr int kGatherMs = 1500; // the retained statuses arrive at once; this is plenty

struct Gathered
{
    QString prefix;
    QMap<QString, QByteArray> statuses;
    bool connected = false;
};

} // namespace

int fleetCommand(const QStringList& args, QTextStream& out, QTextStream& err)
{
    QString broker;
    QString prefix = QStringLiteral("tessarin");
    QString user;
    QString password;
    QStringList rest;
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--broker") && i + 1 < args.size())
            broker = args[++i];
        else if (args[i] == QLatin1String("--prefix") && i + 1 < args.size())
            prefix = args[++i];
        else if (args[i] == QLatin1String("--user") && i + 1 < args.size())
            user = args[++i];
        else if (args[i] == QLatin1String("--password") && i + 1 < args.size())
            password = args[++i];
        else
            rest << args[i];
    }
    QString host;
    int port = 0;
    bool tls = false;
    if (!FleetSettings::parseUrl(broker, &host, &port, &tls) || rest.isEmpty() ||
        (rest[0] == QLatin1String("send") && rest.size() < 3) ||
        (rest[0] != QLatin1String("send") && rest[0] != QLatin1String("status"))) {
        err << "usage: tessarin-tool fleet --broker mqtt://HOST:PORT status\n"
               "       tessarin-tool fleet --broker mqtt://HOST:PORT send NAME|all CMD [ARG]\n";
        return 2;
    }
    mosquitto_lib_init();
    Gathered gathered{prefix, {}, false};
    mosquitto* client = mosquitto_new(nullptr, true, &gathered);
    if (!user.isEmpty())
        mosquitto_username_pw_set(client, user.toUtf8().constData(), password.toUtf8().constData());
    if (tls)
        mosquitto_tls_set(client, "/etc/ssl/certs/ca-certificates.crt", nullptr, nullptr, nullptr,
                          nullptr);
    mosquitto_message_callback_set(client, [](mosquitto*, void* data, const mosquitto_message* m) {
        auto* g = static_cast<Gathered*>(data);
        const QString topic = QString::fromUtf8(m->topic);
        const QString name = topic.mid(g->prefix.size() + 1).section(QLatin1Char('/'), 0, 0);
        g->statuses.insert(name, QByteArray(static_cast<const char*>(m->payload), m->payloadlen));
    });
    mosquitto_int_option(client, MOSQ_OPT_TCP_NODELAY, 1);
    if (mosquitto_connect(client, host.toUtf8().constData(), port, 30) != MOSQ_ERR_SUCCESS) {
        err << "cannot reach the broker at " << broker << Qt::endl;
        mosquitto_destroy(client);
        return 1;
    }
    int result = 0;
    if (rest[0] == QLatin1String("status")) {
        const QByteArray filter = (prefix + QStringLiteral("/+/status")).toUtf8();
        mosquitto_subscribe(client, nullptr, filter.constData(), 1);
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kGatherMs);
        while (std::chrono::steady_clock::now() < end)
            mosquitto_loop(client, 50, 1);
        for (auto it = gathered.statuses.cbegin(); it != gathered.statuses.cend(); ++it)
            out << it.key() << ' ' << it.value() << Qt::endl;
    } else {
        QJsonObject command{{QStringLiteral("cmd"), rest[2]}};
        if (rest[2] == QLatin1String("item") && rest.size() > 3)
            command.insert(QStringLiteral("item"), rest[3].toInt());
        else if (rest[2] == QLatin1String("open") && rest.size() > 3)
            command.insert(QStringLiteral("path"), rest[3]);
        const QByteArray topic =
            (prefix + QLatin1Char('/') + rest[1] + QStringLiteral("/cmd")).toUtf8();
        const QByteArray payload = QJsonDocument(command).toJson(QJsonDocument::Compact);
        int id = 0;
        if (mosquitto_publish(client, &id, topic.constData(), int(payload.size()),
                              payload.constData(), 1, false) != MOSQ_ERR_SUCCESS) {
            err << "the command could not be sent" << Qt::endl;
            result = 1;
        }
        // Until the broker has it (QoS 1), at most a second and a half.
        for (int i = 0; i < 30 && mosquitto_want_write(client); ++i)
            mosquitto_loop(client, 50, 1);
        mosquitto_loop(client, 50, 1);
        if (result == 0)
            out << "sent " << payload << " to " << topic << Qt::endl;
    }
    mosquitto_disconnect(client);
    mosquitto_destroy(client);
    return result;
}
