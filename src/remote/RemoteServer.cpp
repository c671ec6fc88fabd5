#include "RemoteServer.h"

#include "RemoteController.h"
#include "RemoteListener.h"
#include "RemoteLog.h"
#include "Uploads.h"
#include "base/FileLimit.h"
#include "base/FileSniff.h"
#include "base/HandBack.h"
#include "base/SafeFile.h"
#include "base/StringTable.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QHostInfo>
#include <QImageWriter>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTcpSocket>
#include <QUrl>
#include <QWebSocket>

#include <algorithm>
#include <cmath>
#include <tuple>

namespace {

constexpr int kStatusPushMs = 250;
constexpr int kWebSocketLoginMs = 5000;
constexpr int kSweepMs = 500;

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

// A whole number in [0, count): JSON numbers are doubles, and 2.5 or 1e300 name no item.
bool wholeIndex(const QJsonValue& value, int count, int* index)
{
    if (!value.isDouble())
        return false;
    const double number = value.toDouble();
    if (!std::isfinite(number) || number != std::floor(number) || number < 0 || number >= count)
        return false;
    *index = int(number);
    return true;
}

// An item number in a path: digits only, no sign, no leading zeros beyond "0".
bool pathIndex(const QString& text, int* index)
{
    if (text.isEmpty() || text.size() > 9 || (text.size() > 1 && text.startsWith(u'0')))
        return false;
    for (const QChar c : text)
        if (c < u'0' || c > u'9')
            return false;
    *index = text.toInt();
    return true;
}

// The zone an upload goes into: 0 for /api/items, Z for /api/zones/Z/items, -1 for no upload.
int uploadZone(const QByteArray& path)
{
    if (path == "/api/items")
        return 0;
    const QStringList parts = QString::fromLatin1(path).split(QLatin1Char('/'));
    int zone = -1;
    if (parts.size() == 5 && parts[1] == QLatin1String("api") &&
        parts[2] == QLatin1String("zones") && parts[4] == QLatin1String("items") &&
        pathIndex(parts[3], &zone))
        return zone;
    return -1;
}

int connectionsTheFileLimitAllows()
{
    const long limit = FileLimit::openFiles();
    if (limit < 0)
        return RemoteServer::kMostConnections;
    const qint64 spare = qint64(limit) - RemoteServer::kReservedFiles;
    return int(std::clamp<qint64>(spare / 2, 16, RemoteServer::kMostConnections));
}

} // namespace

RemoteServer::RemoteServer(RemoteController& controller, QObject* parent)
    : QObject(parent), m_controller(controller),
      m_webSocketServer(QStringLiteral("Tessarin"), QWebSocketServer::NonSecureMode)
{
    m_encoders.setMaxThreadCount(2); // the play thread keeps a core to itself
    m_statusTimer.setInterval(kStatusPushMs);
    connect(&m_statusTimer, &QTimer::timeout, this, &RemoteServer::pushStatus);
    m_sweepTimer.setInterval(kSweepMs);
    connect(&m_sweepTimer, &QTimer::timeout, this, &RemoteServer::sweep);
    m_webSocketServer.setMaxPendingConnections(kMostWebSockets);
    m_webSocketServer.setHandshakeTimeout(kWebSocketLoginMs);
    connect(&m_webSocketServer, &QWebSocketServer::newConnection, this,
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
    m_mostConnections = connectionsTheFileLimitAllows();
    m_listener = std::make_unique<RemoteListener>([this](int fd) { accepted(fd); });
    QString why;
    if (!m_listener->listen(address, quint16(settings.port), &why)) {
        if (error)
            *error = QStringLiteral("cannot listen on %1:%2: %3")
                         .arg(settings.address)
                         .arg(settings.port)
                         .arg(why);
        m_listener.reset();
        return false;
    }
    m_sweepTimer.start();
    return true;
}

void RemoteServer::stop()
{
    m_statusTimer.stop();
    m_sweepTimer.stop();
    m_sockets.clear();
    m_listener.reset();
    const std::vector<HttpConnection*> open = m_connections;
    for (HttpConnection* connection : open)
        connection->abort();
    m_connections.clear();
}

bool RemoteServer::isListening() const
{
    return m_listener && m_listener->isListening();
}

quint16 RemoteServer::port() const
{
    return m_listener ? m_listener->port() : 0;
}

void RemoteServer::accepted(int descriptor)
{
    auto* connection = new HttpConnection(descriptor, *this, m_timeouts, this);
    if (!connection->isOpen()) {
        connection->deleteLater();
        return;
    }
    const QString& address = connection->peer();
    const auto fromThere = std::count_if(m_connections.begin(), m_connections.end(),
                                         [&](const auto* c) { return c->peer() == address; });
    // Whoever has sent a request already is let in before whoever sits silent.
    const bool speaks = connection->hasSpoken();
    const bool room = (fromThere < kMostPerAddress || letOneGo(&address, speaks)) &&
                      (int(m_connections.size()) < m_mostConnections || letOneGo(nullptr, speaks));
    if (!room) {
        // Everyone here is asking something: the newcomer waits its turn elsewhere.
        qCDebug(lcRemote) << "no room for a connection from" << address << "speaking" << speaks
                          << "open" << m_connections.size();
        m_connections.push_back(connection);
        connection->abort();
        return;
    }
    m_connections.push_back(connection);
    // A request that came with the connection is answered before the next newcomer counts.
    connection->readNow();
}

bool RemoteServer::letOneGo(const QString* address, bool forASpeaker)
{
    // First those that have said nothing at all, oldest first; then heads that come too slowly;
    // last those that showed the token before. A newcomer that has sent its request may push
    // out anyone still waiting for a head; a silent one only the silent, and heads that had
    // time to come. Whether a connection spoke is asked of the system at this moment, so a
    // request on its way is not mistaken for silence.
    const qint64 now = HttpConnection::nowMs();
    HttpConnection* chosen = nullptr;
    std::tuple<bool, bool, qint64> chosenRank;
    for (HttpConnection* c : m_connections) {
        if (!c->isWaiting() || (address && c->peer() != *address))
            continue;
        const bool spoken = c->hasSpoken();
        const qint64 age = now - c->sinceMs();
        if (!forASpeaker && spoken && age < kGraceMs)
            continue;
        const std::tuple<bool, bool, qint64> rank(c->trusted, spoken, c->sinceMs());
        if (!chosen || rank < chosenRank) {
            chosen = c;
            chosenRank = rank;
        }
    }
    if (!chosen)
        return false;
    chosen->abort(); // finished() takes it off the list
    return true;
}

void RemoteServer::finished(HttpConnection& connection)
{
    const auto it = std::find(m_connections.begin(), m_connections.end(), &connection);
    if (it != m_connections.end())
        m_connections.erase(it);
    connection.deleteLater();
}

void RemoteServer::sweep()
{
    const qint64 now = HttpConnection::nowMs();
    const std::vector<HttpConnection*> open = m_connections;
    for (HttpConnection* connection : open)
        connection->check(now);
}

qint64 RemoteServer::bodyLimit(const HttpRequestHead& head) const
{
    if (!head.path.startsWith("/api/"))
        return 0;
    if (head.method == "POST" && uploadZone(head.path) >= 0)
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

bool RemoteServer::hostAllowed(const QByteArray& hostField) const
{
    // An address is what the browser was given; a name must be one of ours, or a page whose
    // name an attacker's DNS points here (DNS rebinding) would be same-origin with us.
    QByteArray host = hostField.toLower();
    if (host.startsWith('[')) {
        const qsizetype end = host.indexOf(']');
        return end > 0 && !QHostAddress(QString::fromLatin1(host.mid(1, end - 1))).isNull();
    }
    if (const qsizetype colon = host.lastIndexOf(':'); colon >= 0)
        host.truncate(colon);
    if (host.isEmpty())
        return false;
    const QString name = QString::fromLatin1(host);
    if (!QHostAddress(name).isNull() || name == QLatin1String("localhost"))
        return true;
    const QString local = QHostInfo::localHostName().toLower();
    if (name == local || name == local + QLatin1String(".local") ||
        (!QHostInfo::localDomainName().isEmpty() &&
         name == local + QLatin1Char('.') + QHostInfo::localDomainName().toLower()))
        return true;
    return m_settings.allowedHosts.contains(name);
}

QString RemoteServer::foreignReason(const HttpRequestHead& head, bool api) const
{
    const QByteArray host = head.field("host");
    if (head.minorVersion == 1 || !host.isEmpty()) {
        if (!hostAllowed(host))
            return QStringLiteral("%1 is not a name of this server (add it to AllowedHosts "
                                  "under [Remote])")
                .arg(QString::fromLatin1(host.left(100)));
    }
    if (!api)
        return {};
    // Browsers tell where a request comes from; scripts and curl send neither field.
    const QByteArray site = head.field("sec-fetch-site").toLower();
    if (!site.isEmpty() && site != "same-origin" && site != "none")
        return QStringLiteral("requests from pages of other sites are refused");
    if (head.hasField("origin")) {
        const QUrl origin(QString::fromLatin1(head.field("origin")));
        const bool web =
            origin.scheme() == QLatin1String("http") || origin.scheme() == QLatin1String("https");
        if (!web || origin.authority().toLower().toLatin1() != host.toLower())
            return QStringLiteral("requests from pages of other origins are refused");
    }
    return {};
}

HttpAnswer RemoteServer::toHttp(const Answer& answer, bool close)
{
    return HttpAnswer{answer.status,
                      answer.body,
                      answer.type,
                      {{"Cache-Control", "no-store"}, {"X-Content-Type-Options", "nosniff"}},
                      close};
}

HttpConnection::Admission RemoteServer::admit(HttpConnection& connection,
                                              const HttpRequestHead& head)
{
    using Kind = HttpConnection::Admission::Kind;
    const auto answer = [&connection, &head](const Answer& a) {
        qCDebug(lcRemote) << connection.peer() << head.method << head.path << a.status;
        return HttpConnection::Admission{Kind::Answer, toHttp(a), nullptr};
    };
    const bool isApi = head.path.startsWith("/api/");
    if (const QString why = foreignReason(head, isApi || head.asksWebSocket()); !why.isEmpty())
        return answer(error(403, why));
    if (head.asksWebSocket()) {
        if (head.method != "GET" || head.path != "/api/events")
            return answer(error(404, statusReason(404)));
        if (int(m_sockets.size()) >= kMostWebSockets)
            return answer(error(503, QStringLiteral("too many live status connections")));
        return HttpConnection::Admission{Kind::Upgrade, {}, nullptr};
    }
    if (head.asksUpgradeOnly())
        return answer(error(400, QStringLiteral("a WebSocket needs Connection: Upgrade")));
    if (isApi) {
        // The token before any of the body: nothing a stranger sends is kept.
        const QByteArray authorization = head.field("authorization");
        const bool bearer = authorization.startsWith("Bearer ");
        if (!bearer || !tokenMatches(authorization.mid(7).trimmed())) {
            const qint64 now = HttpConnection::nowMs();
            if (m_logins.isBlocked(connection.peer(), now))
                return answer(error(429, QStringLiteral("too many wrong tokens from %1: wait a "
                                                        "minute")
                                             .arg(connection.peer())));
            if (bearer)
                m_logins.failed(connection.peer(), now);
            return answer(error(401, statusReason(401)));
        }
        connection.trusted = true;
    }
    if (const qint64 most = bodyLimit(head); head.contentLength > most)
        return answer(error(413, most == 0 ? QStringLiteral("this request takes no body")
                                           : QStringLiteral("the request body is larger than "
                                                            "%1 bytes allow")
                                                 .arg(most)));
    if (head.method == "POST" && uploadZone(head.path) >= 0) {
        if (!QDir().mkpath(m_settings.mediaDir))
            return answer(error(
                500,
                QStringLiteral("the media folder %1 cannot be made").arg(m_settings.mediaDir)));
        auto file = std::make_unique<QTemporaryFile>(
            QDir(m_settings.mediaDir).filePath(QStringLiteral(".upload-XXXXXX")));
        if (!file->open())
            return answer(error(507, QStringLiteral("the media folder %1 takes no file: %2")
                                         .arg(m_settings.mediaDir, file->errorString())));
        return HttpConnection::Admission{Kind::ReadBody, {}, std::move(file)};
    }
    return HttpConnection::Admission{Kind::ReadBody, {}, nullptr};
}

void RemoteServer::serve(HttpConnection& connection, const HttpRequestHead& head,
                         const QByteArray& body, std::unique_ptr<QTemporaryFile> file)
{
    const Request request{head, body, connection.peer()};
    const Answer answer = head.path.startsWith("/api/") ? api(request, std::move(file))
                          : head.method == "GET" || head.method == "HEAD"
                              ? page(head.path)
                              : error(405, statusReason(405));
    qCDebug(lcRemote) << connection.peer() << head.method << head.path << answer.status;
    if (!answer.picture.isNull())
        return answerPictureLater(answer.picture, connection);
    connection.respond(toHttp(answer));
}

void RemoteServer::upgrade(HttpConnection&, QTcpSocket* socket)
{
    // The WebSocket server reads the handshake that is still in the socket and owns it now.
    m_webSocketServer.handleConnection(socket);
}

void RemoteServer::answerPictureLater(const QImage& picture, HttpConnection& connection)
{
    // A client that asks faster than pictures are made waits its turn elsewhere: the queue
    // stays short, whatever the clients do.
    if (m_picturesPending >= kMostPendingPictures) {
        Answer busy = error(503, QStringLiteral("busy making LED pictures"));
        HttpAnswer http = toHttp(busy);
        http.fields.append(std::pair<QByteArray, QByteArray>("Retry-After", "1"));
        return connection.respond(http);
    }
    ++m_picturesPending;
    QPointer<HttpConnection> client(&connection);
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
            if (client && client->state() == HttpConnection::State::Serving)
                client->respond(toHttp(Answer{200, png, "image/png", {}}));
        });
}

RemoteServer::Answer RemoteServer::page(const QByteArray& path) const
{
    QString resource;
    QByteArray type;
    if (path == "/" || path == "/index.html") {
        resource = QStringLiteral(":/remote/index.html");
        type = "text/html; charset=utf-8";
    } else if (path == "/app.js") {
        resource = QStringLiteral(":/remote/app.js");
        type = "text/javascript; charset=utf-8";
    } else if (path == "/style.css") {
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

RemoteServer::Answer RemoteServer::api(const Request& request, std::unique_ptr<QTemporaryFile> file)
{
    const QByteArray& method = request.head.method;
    const bool get = method == "GET" || method == "HEAD";
    const bool post = method == "POST";
    const QStringList parts =
        QString::fromLatin1(request.head.path.mid(5)).split(QLatin1Char('/'), Qt::SkipEmptyParts);
    const QString first = parts.value(0);
    static const QStringList commands{
        QStringLiteral("play"),     QStringLiteral("pause"), QStringLiteral("resume"),
        QStringLiteral("restart"),  QStringLiteral("stop"),  QStringLiteral("next"),
        QStringLiteral("previous"), QStringLiteral("first"), QStringLiteral("last")};
    if (parts.size() == 1 && first == QLatin1String("status")) {
        if (!get)
            return error(405, statusReason(405));
        return json(m_controller.status());
    }
    if (parts.size() == 1 && commands.contains(first)) {
        if (!post)
            return error(405, statusReason(405));
        m_controller.command(first);
        return json(m_controller.status());
    }
    // The desktop rectangle the controller reads, or the wall as its audience sees it.
    const bool led = first == QLatin1String("led.png");
    if (parts.size() == 1 && (led || first == QLatin1String("wall.png"))) {
        if (!get)
            return error(405, statusReason(405));
        Answer answer{200, {}, "image/png", {}};
        // Composed here under the sections' locks (quick); made into a PNG elsewhere.
        answer.picture = led ? m_controller.ledPicture() : m_controller.wallPicture();
        if (answer.picture.isNull())
            return error(500, QStringLiteral("the LED picture could not be made"));
        return answer;
    }
    if (first == QLatin1String("items")) {
        if (parts.size() == 1) {
            if (get)
                return json(m_controller.items());
            if (post)
                return upload(request, std::move(file), 0);
            return error(405, statusReason(405));
        }
        int index = 0;
        if (!pathIndex(parts.value(1), &index))
            return error(404, statusReason(404));
        if (parts.size() == 2) {
            if (method != "DELETE")
                return error(405, statusReason(405));
            if (!m_controller.deleteItem(index))
                return error(404, QStringLiteral("there is no item %1").arg(index));
            return json(m_controller.status());
        }
        if (parts.size() == 3 && parts[2] == QLatin1String("play") && post) {
            if (!m_controller.playItem(index))
                return error(404, QStringLiteral("there is no item %1").arg(index));
            return json(m_controller.status());
        }
        if (parts.size() == 3 && parts[2] == QLatin1String("move") && post) {
            const QJsonValue to = QJsonDocument::fromJson(request.body).object().value("to");
            const int count = int(m_controller.items().size());
            int place = 0;
            if (!wholeIndex(to, count, &place))
                return error(400, QStringLiteral("the body must be {\"to\": N}, N a whole "
                                                 "number from 0 to %1")
                                      .arg(count - 1));
            if (!m_controller.moveItem(index, place))
                return error(404, QStringLiteral("there is no item %1").arg(index));
            return json(m_controller.items());
        }
        return error(404, statusReason(404));
    }
    if (first == QLatin1String("zones"))
        return zonesApi(request, parts, std::move(file));
    if (first == QLatin1String("project") && parts.size() == 2 && post) {
        QString message;
        if (parts[1] == QLatin1String("open")) {
            const QJsonValue path = QJsonDocument::fromJson(request.body).object().value("path");
            if (!path.isString() || path.toString().isEmpty())
                return error(400, QStringLiteral("the body must be {\"path\": \"...\"}"));
            if (!m_settings.allowsFile(path.toString()))
                return error(403, QStringLiteral("%1 is outside the media and projects folders")
                                      .arg(path.toString()));
            if (!m_controller.openProject(path.toString(), &message))
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

// /api/zones, /api/zones/Z, /api/zones/Z/COMMAND, /api/zones/Z/items,
// /api/zones/Z/items/N/play (N as /api/items counts, an item of zone Z).
RemoteServer::Answer RemoteServer::zonesApi(const Request& request, const QStringList& parts,
                                            std::unique_ptr<QTemporaryFile> file)
{
    const QByteArray& method = request.head.method;
    const bool get = method == "GET" || method == "HEAD";
    const bool post = method == "POST";
    const QJsonArray zones = m_controller.zones();
    if (parts.size() == 1)
        return get ? json(zones) : error(405, statusReason(405));
    int zone = 0;
    if (!pathIndex(parts[1], &zone) || zone >= zones.size())
        return error(404, QStringLiteral("there is no zone %1").arg(parts[1]));
    if (parts.size() == 2)
        return get ? json(zones[zone]) : error(405, statusReason(405));
    const QString& what = parts[2];
    if (parts.size() == 3 && what != QLatin1String("items")) {
        if (!post)
            return error(405, statusReason(405));
        if (!m_controller.zoneCommand(zone, what))
            return error(404, statusReason(404));
        return json(m_controller.status());
    }
    if (what != QLatin1String("items"))
        return error(404, statusReason(404));
    const auto inZone = [&](const QJsonValue& line) {
        return line.toObject().value(QStringLiteral("zone")).toInt(0) == zone;
    };
    if (parts.size() == 3) {
        if (post)
            return upload(request, std::move(file), zone);
        if (!get)
            return error(405, statusReason(405));
        QJsonArray lines;
        for (const QJsonValue& line : m_controller.items())
            if (inZone(line))
                lines.append(line);
        return json(lines);
    }
    int index = 0;
    if (parts.size() == 5 && parts[4] == QLatin1String("play") && pathIndex(parts[3], &index)) {
        if (!post)
            return error(405, statusReason(405));
        if (!m_controller.playZoneItem(zone, index))
            return error(404, QStringLiteral("zone %1 has no item %2").arg(zone).arg(index));
        return json(m_controller.status());
    }
    return error(404, statusReason(404));
}

RemoteServer::Answer RemoteServer::upload(const Request& request,
                                          std::unique_ptr<QTemporaryFile> file, int zone)
{
    if (!file)
        return error(500, QStringLiteral("the upload was not stored"));
    QString name;
    const QByteArray type = request.head.field("content-type");
    const bool form = type.startsWith("multipart/form-data");
    // A form is read from the stored body through a mapping: no copy of it in memory.
    const qint64 size = file->size();
    const uchar* mapped = size > 0 ? file->map(0, size) : nullptr;
    const QByteArray stored =
        mapped ? QByteArray::fromRawData(reinterpret_cast<const char*>(mapped), size)
               : QByteArray();
    QByteArray part;
    if (form) {
        if (!Uploads::multipartFile(stored, type, &name, &part))
            return error(400, QStringLiteral("the form holds no file"));
    } else {
        name = QUrl::fromPercentEncoding(request.head.field("x-file-name"));
    }
    const QByteArrayView bytes = form ? QByteArrayView(part) : QByteArrayView(stored);
    const QString base = Uploads::safeBaseName(name);
    if (base.isEmpty())
        return error(400, QStringLiteral("the file needs a name (X-File-Name: name.ext)"));
    if (!Uploads::playable(base))
        return error(415, QStringLiteral("%1: no item plays files of this kind").arg(base));
    if (bytes.isEmpty())
        return error(400, QStringLiteral("%1 is empty").arg(base));
    QString why;
    if (!FileSniff::matchesName(base, bytes.first(std::min<qsizetype>(bytes.size(), 4096)), &why))
        return error(415, why);
    const QString path = Uploads::freePath(m_settings.mediaDir, base);
    if (form) {
        if (const SafeFile::Error failure = SafeFile::write(path, bytes);
            failure != SafeFile::Error::None)
            return error(507, SafeFile::message(failure, path));
    } else {
        file->unmap(const_cast<uchar*>(mapped));
        file->setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                             QFile::ReadOther);
        if (!file->rename(path))
            return error(
                507, QStringLiteral("%1 could not be stored: %2").arg(path, file->errorString()));
        file->setAutoRemove(false);
    }
    const int index = m_controller.addFile(path, zone);
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
    while (m_webSocketServer.hasPendingConnections()) {
        std::unique_ptr<QWebSocket> socket(m_webSocketServer.nextPendingConnection());
        if (!socket)
            continue;
        QWebSocket* raw = socket.get();
        raw->setParent(nullptr);
        // A client sends one small message, its token: nothing larger is ever read.
        raw->setMaxAllowedIncomingMessageSize(kMostWebSocketMessage);
        raw->setMaxAllowedIncomingFrameSize(kMostWebSocketMessage);
        raw->setReadBufferSize(HttpConnection::kReadBufferBytes);
        raw->setProperty("loggedIn", false);
        // The token comes as the first message (a browser cannot send a header here).
        connect(raw, &QWebSocket::textMessageReceived, this, [this, raw](const QString& text) {
            if (raw->property("loggedIn").toBool())
                return;
            const QString address = raw->peerAddress().toString();
            const QByteArray token =
                QJsonDocument::fromJson(text.toUtf8()).object().value("token").toString().toUtf8();
            if (!tokenMatches(token)) {
                const qint64 now = HttpConnection::nowMs();
                if (!m_logins.isBlocked(address, now))
                    m_logins.failed(address, now);
                raw->close(QWebSocketProtocol::CloseCodePolicyViolated,
                           QStringLiteral("a valid token is needed"));
                return;
            }
            raw->setProperty("loggedIn", true);
            raw->sendTextMessage(QString::fromUtf8(
                QJsonDocument(m_controller.status()).toJson(QJsonDocument::Compact)));
            m_statusTimer.start();
        });
        connect(raw, &QWebSocket::binaryMessageReceived, raw, [raw] {
            raw->close(QWebSocketProtocol::CloseCodeDatatypeNotSupported,
                       QStringLiteral("only the token is read here"));
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
                raw->abort();
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
