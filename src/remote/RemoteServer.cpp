#include "RemoteServer.h"

#include "ConnectionGuard.h"
#include "RemoteController.h"
#include "RemoteLog.h"
#include "Uploads.h"
#include "base/HandBack.h"
#include "base/SafeFile.h"
#include "base/StringTable.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QImageWriter>
#include <QJsonArray>
#include <QJsonDocument>
#include <QPointer>
#include <QTcpSocket>
#include <QUrl>
#include <QWebSocket>

#include <algorithm>

namespace {

constexpr int kStatusPushMs = 250;
constexpr int kWebSocketLoginMs = 5000;

QByteArray header(const QHttpServerRequest& request, const QByteArray& name)
{
    for (const auto& [key, value] : request.headers())
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    return {};
}

QString statusReason(int status)
{
    switch (status) {
    case 400:
        return QStringLiteral("bad request");
    case 401:
        return QStringLiteral("a valid token is needed: Authorization: Bearer TOKEN");
    case 404:
        return QStringLiteral("no such resource");
    case 405:
        return QStringLiteral("method not allowed here");
    default:
        return QString();
    }
}

bool isPost(const QHttpServerRequest& r)
{
    return r.method() == QHttpServerRequest::Method::Post;
}

bool isGet(const QHttpServerRequest& r)
{
    return r.method() == QHttpServerRequest::Method::Get;
}

} // namespace

RemoteServer::RemoteServer(RemoteController& controller, QObject* parent)
    : QAbstractHttpServer(parent), m_controller(controller)
{
    m_clock.start();
    m_encoders.setMaxThreadCount(2); // the play thread keeps a core to itself
    m_statusTimer.setInterval(kStatusPushMs);
    connect(&m_statusTimer, &QTimer::timeout, this, &RemoteServer::pushStatus);
    connect(this, &QAbstractHttpServer::newWebSocketConnection, this,
            &RemoteServer::acceptWebSockets);
}

RemoteServer::~RemoteServer()
{
    stop();
    // Pictures not begun are dropped; those being made end before their watchers go.
    m_encoders.clear();
    m_encoders.waitForDone();
}

bool RemoteServer::start(const RemoteSettings& settings, QString* error)
{
    stop();
    m_settings = settings;
    const QHostAddress address(settings.address);
    if (address.isNull()) {
        if (error)
            *error = QStringLiteral("%1 is not an address to listen on").arg(settings.address);
        return false;
    }
    m_listener =
        new ConnectionGuard([this](const QByteArray& method,
                                   const QByteArray& path) { return bodyLimit(method, path); },
                            this);
    if (!m_listener->listen(address, quint16(settings.port))) {
        if (error)
            *error = QStringLiteral("cannot listen on %1:%2: %3")
                         .arg(settings.address)
                         .arg(settings.port)
                         .arg(m_listener->errorString());
        delete m_listener;
        return false;
    }
    bind(m_listener);
    return true;
}

void RemoteServer::stop()
{
    m_statusTimer.stop();
    m_sockets.clear();
    delete m_listener;
}

bool RemoteServer::isListening() const
{
    return m_listener && m_listener->isListening();
}

quint16 RemoteServer::port() const
{
    return m_listener ? m_listener->serverPort() : 0;
}

qint64 RemoteServer::bodyLimit(const QByteArray& method, const QByteArray& path) const
{
    if (method == "POST" && path == "/api/items")
        return m_settings.maxUploadBytes;
    return kMostJsonBytes;
}

bool RemoteServer::tokenMatches(const QByteArray& given) const
{
    // The same time whatever the guess: every byte is compared.
    const QByteArray expected = m_settings.token.toUtf8();
    if (expected.isEmpty())
        return false;
    unsigned char difference = given.size() == expected.size() ? 0 : 1;
    for (qsizetype i = 0; i < expected.size(); ++i)
        difference |= static_cast<unsigned char>(expected[i]) ^
                      static_cast<unsigned char>(i < given.size() ? given[i] : 0);
    return difference == 0;
}

bool RemoteServer::blocked(const QString& address)
{
    const auto until = m_blockedUntil.constFind(address);
    if (until == m_blockedUntil.constEnd())
        return false;
    if (m_clock.elapsed() < *until)
        return true;
    m_blockedUntil.remove(address);
    return false;
}

void RemoteServer::failed(const QString& address)
{
    const qint64 now = m_clock.elapsed();
    std::deque<qint64>& times = m_failures[address];
    times.push_back(now);
    while (!times.empty() && times.front() <= now - kFailureWindowMs)
        times.pop_front();
    if (int(times.size()) >= kFailuresBeforeBlock) {
        m_blockedUntil.insert(address, now + kBlockMs);
        times.clear();
    }
}

RemoteServer::Answer RemoteServer::json(const QJsonValue& value, int status)
{
    const QJsonDocument document =
        value.isArray() ? QJsonDocument(value.toArray()) : QJsonDocument(value.toObject());
    return Answer{status, document.toJson(QJsonDocument::Compact), "application/json", {}};
}

RemoteServer::Answer RemoteServer::error(int status, const QString& message)
{
    return json(QJsonObject{{QStringLiteral("error"), message}}, status);
}

bool RemoteServer::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket)
{
    // A WebSocket upgrade is answered by the WebSocket server that takes the socket over.
    if (header(request, "Upgrade").compare("websocket", Qt::CaseInsensitive) == 0)
        return true;
    const QString path = request.url().path();
    const bool isApi = path.startsWith(QLatin1String("/api/"));
    const Answer answer = isApi            ? api(request, path)
                          : isGet(request) ? page(path)
                                           : error(405, statusReason(405));
    qCDebug(lcRemote) << socket->peerAddress().toString() << request.method() << path
                      << answer.status;
    if (!answer.picture.isNull()) {
        answerPictureLater(answer.picture, socket);
        return true;
    }
    QHttpServerResponder responder = makeResponder(request, socket);
    responder.write(answer.body,
                    {{"Content-Type", answer.type},
                     {"Cache-Control", "no-store"},
                     {"X-Content-Type-Options", "nosniff"}},
                    static_cast<QHttpServerResponder::StatusCode>(answer.status));
    return true;
}

void RemoteServer::answerPictureLater(const QImage& picture, QTcpSocket* socket)
{
    // A client that asks faster than pictures are made waits its turn elsewhere: the queue
    // stays short, whatever the clients do.
    if (m_picturesPending >= kMostPendingPictures) {
        socket->write("HTTP/1.1 503 Service Unavailable\r\nContent-Type: application/json\r\n"
                      "Retry-After: 1\r\nContent-Length: 36\r\n\r\n"
                      "{\"error\":\"busy making LED pictures\"}");
        return;
    }
    ++m_picturesPending;
    QPointer<QTcpSocket> client(socket);
    runAndHandBack(
        this, m_encoders,
        [picture] {
            QByteArray png;
            QBuffer buffer(&png);
            buffer.open(QIODevice::WriteOnly);
            QImageWriter writer(&buffer, "png");
            writer.setCompression(1); // quick to make, small enough for a LAN
            writer.write(picture);
            return png;
        },
        [this, client](const QByteArray& png) {
            --m_picturesPending;
            if (!client || client->state() != QAbstractSocket::ConnectedState)
                return;
            client->write("HTTP/1.1 200 OK\r\nContent-Type: image/png\r\n"
                          "Cache-Control: no-store\r\nX-Content-Type-Options: nosniff\r\n"
                          "Content-Length: " +
                          QByteArray::number(png.size()) + "\r\n\r\n" + png);
        });
}

void RemoteServer::missingHandler(const QHttpServerRequest& request, QTcpSocket* socket)
{
    const Answer answer = error(404, statusReason(404));
    makeResponder(request, socket)
        .write(answer.body, {{"Content-Type", answer.type}},
               QHttpServerResponder::StatusCode::NotFound);
}

RemoteServer::Answer RemoteServer::page(const QString& path) const
{
    QString resource;
    QByteArray type;
    if (path == QLatin1String("/") || path == QLatin1String("/index.html")) {
        resource = QStringLiteral(":/remote/index.html");
        type = "text/html; charset=utf-8";
    } else if (path == QLatin1String("/app.js")) {
        resource = QStringLiteral(":/remote/app.js");
        type = "text/javascript; charset=utf-8";
    } else if (path == QLatin1String("/style.css")) {
        resource = QStringLiteral(":/remote/style.css");
        type = "text/css; charset=utf-8";
    } else {
        return error(404, statusReason(404));
    }
    QFile file(resource);
    if (!file.open(QIODevice::ReadOnly))
        return error(404, statusReason(404));
    QByteArray body = file.readAll();
    // The page speaks the program's language.
    body.replace("%LANG%", textSet() == TextSet::Chinese ? "zh" : "en");
    return Answer{200, body, type, {}};
}

RemoteServer::Answer RemoteServer::api(const QHttpServerRequest& request, const QString& path)
{
    const QString address = request.remoteAddress().toString();
    if (blocked(address))
        return error(429,
                     QStringLiteral("too many failed logins from %1: wait a minute").arg(address));
    const QByteArray authorization = header(request, "Authorization");
    if (!authorization.startsWith("Bearer ") || !tokenMatches(authorization.mid(7).trimmed())) {
        failed(address);
        return error(401, statusReason(401));
    }

    const QStringList parts = path.mid(5).split(QLatin1Char('/'), Qt::SkipEmptyParts);
    const QString first = parts.value(0);
    static const QStringList commands{
        QStringLiteral("play"),     QStringLiteral("pause"), QStringLiteral("resume"),
        QStringLiteral("restart"),  QStringLiteral("stop"),  QStringLiteral("next"),
        QStringLiteral("previous"), QStringLiteral("first"), QStringLiteral("last")};
    if (parts.size() == 1 && first == QLatin1String("status")) {
        if (!isGet(request))
            return error(405, statusReason(405));
        return json(m_controller.status());
    }
    if (parts.size() == 1 && commands.contains(first)) {
        if (!isPost(request))
            return error(405, statusReason(405));
        m_controller.command(first);
        return json(m_controller.status());
    }
    if (parts.size() == 1 && first == QLatin1String("led.png")) {
        if (!isGet(request))
            return error(405, statusReason(405));
        Answer answer{200, {}, "image/png", {}};
        // Composed here under the sections' locks (quick); made into a PNG elsewhere.
        answer.picture = m_controller.ledPicture();
        if (answer.picture.isNull())
            return error(500, QStringLiteral("the LED picture could not be made"));
        return answer;
    }
    if (first == QLatin1String("items")) {
        if (parts.size() == 1) {
            if (isGet(request))
                return json(m_controller.items());
            if (isPost(request))
                return upload(request);
            return error(405, statusReason(405));
        }
        bool ok = false;
        const int index = parts.value(1).toInt(&ok);
        if (!ok)
            return error(404, statusReason(404));
        if (parts.size() == 2) {
            if (request.method() != QHttpServerRequest::Method::Delete)
                return error(405, statusReason(405));
            if (!m_controller.deleteItem(index))
                return error(404, QStringLiteral("there is no item %1").arg(index));
            return json(m_controller.status());
        }
        if (parts.size() == 3 && parts[2] == QLatin1String("play") && isPost(request)) {
            if (!m_controller.playItem(index))
                return error(404, QStringLiteral("there is no item %1").arg(index));
            return json(m_controller.status());
        }
        if (parts.size() == 3 && parts[2] == QLatin1String("move") && isPost(request)) {
            const QJsonValue to = QJsonDocument::fromJson(request.body()).object().value("to");
            if (!to.isDouble())
                return error(400, QStringLiteral("the body must be {\"to\": N}"));
            if (!m_controller.moveItem(index, to.toInt()))
                return error(
                    404,
                    QStringLiteral("no item %1, or no place %2 for it").arg(index).arg(to.toInt()));
            return json(m_controller.items());
        }
        return error(404, statusReason(404));
    }
    if (first == QLatin1String("project") && parts.size() == 2 && isPost(request)) {
        QString message;
        if (parts[1] == QLatin1String("open")) {
            const QJsonValue file = QJsonDocument::fromJson(request.body()).object().value("path");
            if (!file.isString() || file.toString().isEmpty())
                return error(400, QStringLiteral("the body must be {\"path\": \"...\"}"));
            if (!m_controller.openProject(file.toString(), &message))
                return error(400, message);
            return json(m_controller.status());
        }
        if (parts[1] == QLatin1String("save")) {
            if (!m_controller.saveProject(&message))
                return error(409, message);
            return json(m_controller.status());
        }
    }
    return error(404, statusReason(404));
}

RemoteServer::Answer RemoteServer::upload(const QHttpServerRequest& request)
{
    QString name;
    QByteArray bytes;
    const QByteArray type = header(request, "Content-Type");
    if (type.startsWith("multipart/form-data")) {
        if (!Uploads::multipartFile(request.body(), type, &name, &bytes))
            return error(400, QStringLiteral("the form holds no file"));
    } else {
        name = QUrl::fromPercentEncoding(header(request, "X-File-Name"));
        bytes = request.body();
    }
    const QString base = Uploads::safeBaseName(name);
    if (base.isEmpty())
        return error(400, QStringLiteral("the file needs a name (X-File-Name: name.ext)"));
    if (!Uploads::playable(base))
        return error(415, QStringLiteral("%1: no item plays files of this kind").arg(base));
    if (bytes.isEmpty())
        return error(400, QStringLiteral("%1 is empty").arg(base));
    if (!QDir().mkpath(m_settings.mediaDir))
        return error(500,
                     QStringLiteral("the media folder %1 cannot be made").arg(m_settings.mediaDir));
    const QString path = Uploads::freePath(m_settings.mediaDir, base);
    if (const SafeFile::Error failure = SafeFile::write(path, bytes);
        failure != SafeFile::Error::None)
        return error(507, SafeFile::message(failure, path));
    const int index = m_controller.addFile(path);
    if (index < 0) {
        QFile::remove(path);
        return error(415, QStringLiteral("%1: no item plays this file").arg(base));
    }
    return json(QJsonObject{{QStringLiteral("index"), index},
                            {QStringLiteral("file"), path},
                            {QStringLiteral("status"), m_controller.status()}},
                201);
}

void RemoteServer::acceptWebSockets()
{
    while (hasPendingWebSocketConnections()) {
        std::unique_ptr<QWebSocket> socket = nextPendingWebSocketConnection();
        if (!socket)
            continue;
        QWebSocket* raw = socket.get();
        if (raw->requestUrl().path() != QLatin1String("/api/events")) {
            raw->close(QWebSocketProtocol::CloseCodeNormal, QStringLiteral("no such resource"));
            continue;
        }
        raw->setProperty("loggedIn", false);
        // The token comes as the first message (a browser cannot send a header here).
        connect(raw, &QWebSocket::textMessageReceived, this, [this, raw](const QString& text) {
            if (raw->property("loggedIn").toBool())
                return;
            const QString address = raw->peerAddress().toString();
            const QByteArray token =
                QJsonDocument::fromJson(text.toUtf8()).object().value("token").toString().toUtf8();
            if (blocked(address) || !tokenMatches(token)) {
                failed(address);
                raw->close(QWebSocketProtocol::CloseCodePolicyViolated,
                           QStringLiteral("a valid token is needed"));
                return;
            }
            raw->setProperty("loggedIn", true);
            raw->sendTextMessage(QString::fromUtf8(
                QJsonDocument(m_controller.status()).toJson(QJsonDocument::Compact)));
            m_statusTimer.start();
        });
        connect(raw, &QWebSocket::disconnected, this, [this, raw] {
            // Not deleted inside its own signal.
            const auto it = std::find_if(m_sockets.begin(), m_sockets.end(),
                                         [raw](const auto& s) { return s.get() == raw; });
            if (it != m_sockets.end()) {
                it->release()->deleteLater();
                m_sockets.erase(it);
            }
            if (m_sockets.empty())
                m_statusTimer.stop();
        });
        QTimer::singleShot(kWebSocketLoginMs, raw, [raw] {
            if (!raw->property("loggedIn").toBool())
                raw->close(QWebSocketProtocol::CloseCodePolicyViolated,
                           QStringLiteral("no token given"));
        });
        m_sockets.push_back(std::move(socket));
    }
}

void RemoteServer::pushStatus()
{
    const QJsonObject status = m_controller.status();
    if (status == m_lastStatus)
        return;
    m_lastStatus = status;
    const QString text = QString::fromUtf8(QJsonDocument(status).toJson(QJsonDocument::Compact));
    for (const auto& socket : m_sockets)
        if (socket->property("loggedIn").toBool())
            socket->sendTextMessage(text);
}
