#pragma once

#include "HttpRequestHead.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTemporaryFile>

#include <memory>
#include <utility>

class QTcpSocket;

// One answer, written as HTTP/1.1 with its length.
struct HttpAnswer
{
    int status = 200;
    QByteArray body;
    QByteArray type = "application/json";
    QList<std::pair<QByteArray, QByteArray>> fields;
    bool close = false; // the connection ends after it
};

// One client connection of the remote server: reads one request at a time (the next waits in
// the socket's bounded buffer until this one is answered, so pipelined answers keep their
// order), gives the handler the head before any of the body is read, and reads the body only
// when the handler asks, into memory or straight into a file. Closing connections shut their
// sending side and drop what still comes for a moment, so that a refusal is read, not reset.
class HttpConnection final : public QObject
{
    Q_OBJECT

public:
    struct Admission
    {
        enum class Kind
        {
            Answer,   // answered from the head alone
            ReadBody, // read the body (into `file` when one is given), then serve
            Upgrade,  // the socket goes to the WebSocket server as it is
        };
        Kind kind = Kind::Answer;
        HttpAnswer answer;
        std::unique_ptr<QTemporaryFile> file;
    };

    class Handler
    {
    public:
        virtual ~Handler() = default;
        virtual Admission admit(HttpConnection& connection, const HttpRequestHead& head) = 0;
        // The body is in: answer now or later with respond().
        virtual void serve(HttpConnection& connection, const HttpRequestHead& head,
                           const QByteArray& body, std::unique_ptr<QTemporaryFile> file) = 0;
        virtual void upgrade(HttpConnection& connection, QTcpSocket* socket) = 0;
        virtual void finished(HttpConnection& connection) = 0;
    };

    enum class State
    {
        Head,    // waiting for (the rest of) a request's head
        Body,    // reading a body the handler asked for
        Serving, // the handler answers; nothing more is read meanwhile
        Closing, // the last answer is out or on its way; input is dropped
        Closed,
    };

    struct Timeouts
    {
        qint64 headMs = 10000;     // idle, or sending a head
        qint64 bodyIdleMs = 10000; // a body that stops coming
        qint64 writeStallMs = 30000;
        qint64 servingMs = 60000;
        qint64 closingMs = 2000;
    };

    // Takes over the connected descriptor.
    HttpConnection(int descriptor, Handler& handler, const Timeouts& timeouts,
                   QObject* parent = nullptr);
    ~HttpConnection() override;

    bool isOpen() const { return m_state != State::Closed; }
    State state() const { return m_state; }
    const QString& peer() const { return m_peer; }
    // Waiting for a head: a connection that may be let go for a newer one.
    bool isWaiting() const { return m_state == State::Head; }
    // Some of a head came (read, or waiting in the system's buffer).
    bool hasSpoken();
    qint64 sinceMs() const { return m_sinceMs; }
    qint64 lastActiveMs() const { return m_lastActiveMs; }
    // Proved the token on some request.
    bool trusted = false;

    // The answer to the request being served; the connection ends after it when asked, when
    // the client asked, or when the request's body was never read.
    void respond(const HttpAnswer& answer);
    // Ends now, without an answer.
    void abort();
    // Reads what the client has sent by now, without waiting for the event loop.
    void readNow();
    // Time-outs, with the server's clock.
    void check(qint64 nowMs);

    static constexpr qint64 kReadBufferBytes = 64 * 1024;
    static constexpr qint64 kMostDroppedBytes = 1024 * 1024;

    static qint64 nowMs();

private:
    void readInput();
    // Reads what came of a head; true when its end, or a limit, is in.
    bool headComplete();
    void readBody();
    void startClosing();
    void enter(State state);
    void close();

    Handler& m_handler;
    Timeouts m_timeouts;
    QTcpSocket* m_socket; // a child, or the WebSocket server's after an upgrade
    QString m_peer;
    State m_state = State::Head;
    bool m_headStarted = false;
    qint64 m_sinceMs = 0;
    qint64 m_lastActiveMs = 0;
    HttpRequestHead m_head;
    QByteArray m_headBytes; // of the head being read, within the socket's transaction
    qsizetype m_headLines = 0;
    qint64 m_bodyLeft = 0;
    QByteArray m_body;
    std::unique_ptr<QTemporaryFile> m_file;
    bool m_bodyUnread = false;
    bool m_sendingShut = false;
    qint64 m_dropped = 0;
};
