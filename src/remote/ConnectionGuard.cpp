#include "ConnectionGuard.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>

#include <memory>

namespace {

// Where one connection stands: in a request's headers, or in its body.
struct Framing
{
    QByteArray header;
    qint64 bodyLeft = 0;
    bool refused = false;
};

QByteArray headerValue(const QByteArray& headers, const QByteArray& name)
{
    for (const QByteArray& line : headers.split('\n')) {
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed().toLower() == name)
            return line.mid(colon + 1).trimmed();
    }
    return {};
}

void refuse(QTcpSocket* socket, Framing& framing, int status, const char* reason,
            const QString& message)
{
    framing.refused = true;
    socket->readAll(); // the HTTP server gets none of it
    const QByteArray body = QJsonDocument(QJsonObject{{QStringLiteral("error"), message}})
                                .toJson(QJsonDocument::Compact);
    socket->write("HTTP/1.1 " + QByteArray::number(status) + ' ' + reason +
                  "\r\nContent-Type: application/json\r\nConnection: close\r\nContent-Length: " +
                  QByteArray::number(body.size()) + "\r\n\r\n" + body);
    socket->disconnectFromHost();
}

} // namespace

ConnectionGuard::ConnectionGuard(BodyLimit limit, QObject* parent)
    : QTcpServer(parent), m_limit(std::move(limit))
{}

void ConnectionGuard::incomingConnection(qintptr descriptor)
{
    auto* socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return;
    }
    auto framing = std::make_shared<Framing>();
    // Connected before the HTTP server's own reader, so it sees every byte first.
    connect(socket, &QTcpSocket::readyRead, socket, [this, socket, framing] {
        Framing& f = *framing;
        if (f.refused) {
            socket->readAll();
            return;
        }
        const QByteArray data = socket->peek(socket->bytesAvailable());
        qsizetype at = 0;
        while (at < data.size()) {
            if (f.bodyLeft > 0) {
                const qint64 take = std::min<qint64>(f.bodyLeft, data.size() - at);
                f.bodyLeft -= take;
                at += take;
                continue;
            }
            const qsizetype before = f.header.size();
            f.header += data.mid(at);
            const qsizetype end = f.header.indexOf("\r\n\r\n");
            if (end < 0) {
                if (f.header.size() > kMostHeaderBytes)
                    return refuse(socket, f, 431, "Request Header Fields Too Large",
                                  QStringLiteral("the request's headers are too large"));
                return;
            }
            const QByteArray headers = f.header.left(end);
            at += end + 4 - before;
            f.header.clear();
            const QList<QByteArray> requestLine = headers.left(headers.indexOf("\r\n")).split(' ');
            const QByteArray method = requestLine.value(0);
            QByteArray path = requestLine.value(1);
            path.truncate(path.indexOf('?') < 0 ? path.size() : path.indexOf('?'));
            if (headerValue(headers, "transfer-encoding").toLower().contains("chunked"))
                return refuse(socket, f, 411, "Length Required",
                              QStringLiteral("a request body needs a Content-Length"));
            bool ok = true;
            const QByteArray length = headerValue(headers, "content-length");
            const qint64 bytes = length.isEmpty() ? 0 : length.toLongLong(&ok);
            if (!ok || bytes < 0)
                return refuse(socket, f, 400, "Bad Request",
                              QStringLiteral("the Content-Length is not a number"));
            if (const qint64 most = m_limit(method, path); bytes > most)
                return refuse(
                    socket, f, 413, "Payload Too Large",
                    QStringLiteral("the request body is larger than %1 bytes allow").arg(most));
            f.bodyLeft = bytes;
        }
    });
    addPendingConnection(socket); // QTcpServer tells newConnection next
}
