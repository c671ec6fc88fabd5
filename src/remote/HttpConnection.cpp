#include "HttpConnection.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>

#include <sys/socket.h>
#include <unistd.h>

namespace {

const char* reasonPhrase(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 201:
        return "Created";
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 408:
        return "Request Timeout";
    case 409:
        return "Conflict";
    case 411:
        return "Length Required";
    case 413:
        return "Content Too Large";
    case 414:
        return "URI Too Long";
    case 415:
        return "Unsupported Media Type";
    case 429:
        return "Too Many Requests";
    case 431:
        return "Request Header Fields Too Large";
    case 500:
        return "Internal Server Error";
    case 503:
        return "Service Unavailable";
    case 505:
        return "HTTP Version Not Supported";
    case 507:
        return "Insufficient Storage";
    default:
        return "Status";
    }
}

// An error answer after which the connection ends: the request could not be read through.
HttpAnswer closingError(int status, const QString& message)
{
    return HttpAnswer{status,
                      QJsonDocument(QJsonObject{{QStringLiteral("error"), message}})
                          .toJson(QJsonDocument::Compact),
                      "application/json",
                      {},
                      true};
}

const QString& diskFull()
{
    static const QString text =
        QStringLiteral("the upload could not be stored: the disk may be full");
    return text;
}

const QElapsedTimer& serverClock()
{
    static const QElapsedTimer started = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return started;
}

} // namespace

qint64 HttpConnection::nowMs()
{
    return serverClock().elapsed();
}

HttpConnection::HttpConnection(int descriptor, Handler& handler, const Timeouts& timeouts,
                               QObject* parent)
    : QObject(parent), m_handler(handler), m_timeouts(timeouts), m_socket(new QTcpSocket(this))
{
    m_sinceMs = m_lastActiveMs = nowMs();
    if (!m_socket->setSocketDescriptor(descriptor)) {
        ::close(descriptor);
        m_state = State::Closed;
        return;
    }
    m_socket->setReadBufferSize(kReadBufferBytes);
    m_peer = m_socket->peerAddress().toString();
    connect(m_socket, &QTcpSocket::readyRead, this, &HttpConnection::readInput);
    connect(m_socket, &QTcpSocket::bytesWritten, this, [this] {
        m_lastActiveMs = nowMs();
        if (m_state == State::Closing && !m_sendingShut && m_socket->bytesToWrite() == 0) {
            m_sendingShut = true;
            ::shutdown(int(m_socket->socketDescriptor()), SHUT_WR);
        }
    });
    connect(m_socket, &QTcpSocket::disconnected, this, &HttpConnection::close);
    connect(m_socket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError e) {
        if (e != QAbstractSocket::SocketTimeoutError)
            close();
    });
}

HttpConnection::~HttpConnection() = default;

bool HttpConnection::hasSpoken()
{
    if (!m_headStarted && m_socket && m_state == State::Head) {
        char byte = 0;
        m_headStarted =
            m_socket->bytesAvailable() > 0 ||
            ::recv(int(m_socket->socketDescriptor()), &byte, 1, MSG_PEEK | MSG_DONTWAIT) == 1;
    }
    return m_headStarted;
}

void HttpConnection::readNow()
{
    if (m_socket && m_state == State::Head)
        m_socket->waitForReadyRead(0); // one look, no wait: readyRead comes now or later
}

void HttpConnection::enter(State state)
{
    m_state = state;
    m_sinceMs = m_lastActiveMs = nowMs();
}

void HttpConnection::readInput()
{
    while (m_socket && m_socket->bytesAvailable() > 0) {
        m_lastActiveMs = nowMs();
        switch (m_state) {
        case State::Head: {
            if (!headComplete())
                return;
            const HttpRequestHead::Result result = HttpRequestHead::parse(m_headBytes, &m_head);
            // What was read stays in the socket: a WebSocket server reads the head again, and a
            // body or the next request behind it are read from there.
            m_socket->rollbackTransaction();
            m_headBytes.clear();
            if (result.state == HttpRequestHead::Parse::NeedMore)
                return; // cannot be: the head's end or a limit was seen
            if (result.state == HttpRequestHead::Parse::Refused) {
                m_head = HttpRequestHead{};
                m_bodyUnread = true;
                enter(State::Serving);
                respond(closingError(result.status, result.message));
                return;
            }
            enter(State::Serving);
            Admission admission = m_handler.admit(*this, m_head);
            if (admission.kind == Admission::Kind::Upgrade) {
                // The WebSocket server reads the handshake itself and owns the socket now.
                QTcpSocket* socket = m_socket;
                disconnect(socket, nullptr, this, nullptr);
                socket->setParent(nullptr);
                m_socket = nullptr;
                m_state = State::Closed;
                m_handler.upgrade(*this, socket);
                m_handler.finished(*this);
                return;
            }
            m_socket->skip(result.headBytes);
            if (admission.kind == Admission::Kind::Answer) {
                m_bodyUnread = m_head.contentLength > 0;
                respond(admission.answer);
                continue;
            }
            m_bodyLeft = m_head.contentLength;
            m_body.clear();
            m_file = std::move(admission.file);
            if (!m_file)
                m_body.reserve(m_bodyLeft);
            if (m_head.expectsContinue && m_bodyLeft > 0)
                m_socket->write("HTTP/1.1 100 Continue\r\n\r\n");
            enter(State::Body);
            if (m_bodyLeft == 0)
                readBody();
            continue;
        }
        case State::Body:
            readBody();
            if (m_state == State::Body)
                return;
            continue;
        case State::Serving:
            return; // the answer first: what follows stays in the socket's bounded buffer
        case State::Closing:
            m_dropped += m_socket->skip(m_socket->bytesAvailable());
            if (m_dropped > kMostDroppedBytes)
                abort();
            return;
        case State::Closed:
            return;
        }
    }
}

bool HttpConnection::headComplete()
{
    // Each byte of a head is looked at once, however many pieces it comes in: the head is
    // read inside a transaction that is rolled back once its end (or a limit) is seen.
    if (!m_socket->isTransactionStarted()) {
        m_socket->startTransaction();
        m_headBytes.clear();
        m_headLines = 0;
    }
    m_headStarted = true;
    const qsizetype before = m_headBytes.size();
    const qint64 room = HttpRequestHead::kMostHeadBytes + 8 - before;
    if (room > 0)
        m_headBytes += m_socket->read(room);
    const QByteArrayView fresh = QByteArrayView(m_headBytes).sliced(before);
    m_headLines += fresh.count('\n');
    const qsizetype from = std::max<qsizetype>(0, before - 3);
    return m_headBytes.size() > HttpRequestHead::kMostHeadBytes + 4 || fresh.contains('\0') ||
           m_headLines > HttpRequestHead::kMostFields + 2 ||
           QByteArrayView(m_headBytes).sliced(from).contains("\r\n\r\n");
}

void HttpConnection::readBody()
{
    char chunk[16 * 1024];
    while (m_bodyLeft > 0) {
        const qint64 got = m_socket->read(chunk, std::min<qint64>(sizeof chunk, m_bodyLeft));
        if (got <= 0)
            return;
        m_bodyLeft -= got;
        if (m_file) {
            if (m_file->write(chunk, got) != got) {
                m_file.reset();
                m_bodyUnread = true;
                enter(State::Serving);
                return respond(closingError(507, diskFull()));
            }
        } else {
            m_body.append(chunk, got);
        }
    }
    enter(State::Serving);
    if (m_file && !m_file->flush()) {
        m_file.reset();
        return respond(closingError(507, diskFull()));
    }
    const QByteArray body = std::move(m_body);
    m_body = QByteArray();
    m_handler.serve(*this, m_head, body, std::move(m_file));
}

void HttpConnection::respond(const HttpAnswer& answer)
{
    if (m_state != State::Serving || !m_socket)
        return;
    const bool closing = answer.close || !m_head.keepAlive || m_bodyUnread;
    QByteArray out = "HTTP/1.1 " + QByteArray::number(answer.status) + ' ' +
                     reasonPhrase(answer.status) + "\r\n";
    if (!answer.type.isEmpty())
        out += "Content-Type: " + answer.type + "\r\n";
    for (const auto& [name, value] : answer.fields)
        out += name + ": " + value + "\r\n";
    out += "Content-Length: " + QByteArray::number(answer.body.size()) + "\r\n";
    out += closing ? "Connection: close\r\n" : "Connection: keep-alive\r\n";
    out += "\r\n";
    m_socket->write(out);
    if (m_head.method != "HEAD")
        m_socket->write(answer.body);
    m_head = HttpRequestHead{};
    m_bodyUnread = false;
    m_headStarted = false;
    if (closing)
        return startClosing();
    enter(State::Head);
    // A request that came behind this one is read now.
    if (m_socket->bytesAvailable() > 0)
        QMetaObject::invokeMethod(this, &HttpConnection::readInput, Qt::QueuedConnection);
}

void HttpConnection::startClosing()
{
    enter(State::Closing);
    m_dropped = 0;
    m_dropped += m_socket->skip(m_socket->bytesAvailable());
    if (m_socket->bytesToWrite() == 0) {
        m_sendingShut = true;
        ::shutdown(int(m_socket->socketDescriptor()), SHUT_WR);
    }
}

void HttpConnection::abort()
{
    if (m_socket)
        m_socket->abort();
    close();
}

void HttpConnection::close()
{
    if (m_state == State::Closed)
        return;
    m_state = State::Closed;
    m_file.reset();
    if (m_socket)
        m_socket->abort();
    m_handler.finished(*this);
}

void HttpConnection::check(qint64 now)
{
    if (!m_socket)
        return;
    if (m_socket->bytesToWrite() > 0 && now - m_lastActiveMs > m_timeouts.writeStallMs)
        return abort();
    switch (m_state) {
    case State::Head:
        if (now - m_sinceMs > m_timeouts.headMs)
            abort();
        return;
    case State::Body:
        if (now - m_lastActiveMs > m_timeouts.bodyIdleMs)
            abort();
        return;
    case State::Serving:
        if (now - m_sinceMs > m_timeouts.servingMs)
            abort();
        return;
    case State::Closing:
        if (now - m_sinceMs > m_timeouts.closingMs ||
            (m_sendingShut && m_socket->bytesToWrite() == 0 &&
             m_socket->state() != QAbstractSocket::ConnectedState))
            abort();
        return;
    case State::Closed:
        return;
    }
}
