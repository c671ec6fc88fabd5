#pragma once

#include "HttpConnection.h"
#include "LoginGuard.h"
#include "RemoteSettings.h"

#include <QImage>
#include <QJsonObject>
#include <QList>
#include <QPointer>
#include <QStringList>
#include <QThreadPool>
#include <QTimer>
#include <QWebSocketServer>

#include <memory>
#include <vector>

class QWebSocket;
class RemoteController;
class RemoteListener;

// The remote control of a running program: a JSON API under /api/ (every call with the bearer
// token), the LED pictures, live status over a WebSocket (/api/events, the token as the first
// message) and a small web page at /. Runs on the GUI thread's event loop; the playback never
// waits for it. Everything a client can make it hold is bounded: connections (in all and per
// address), time to send a head or a body, bodies (read only after the token, uploads straight
// to a file), pictures being made, WebSocket messages.
class RemoteServer final : public QObject, private HttpConnection::Handler
{
    Q_OBJECT

public:
    explicit RemoteServer(RemoteController& controller, QObject* parent = nullptr);
    ~RemoteServer() override;

    // Listens as the settings say; false with the reason when the address or port cannot be had.
    bool start(const RemoteSettings& settings, QString* error);
    void stop();
    bool isListening() const;
    quint16 port() const;
    // Open HTTP connections and WebSockets now (tests, the status).
    int connectionCount() const { return int(m_connections.size()); }
    int webSocketCount() const { return int(m_sockets.size()); }
    int mostConnections() const { return m_mostConnections; }
    // Tests: shorter time-outs.
    void setTimeouts(const HttpConnection::Timeouts& timeouts) { m_timeouts = timeouts; }

    static constexpr qint64 kMostJsonBytes = 64 * 1024;
    static constexpr int kFailuresBeforeBlock = LoginGuard::kFailuresBeforeBlock;
    // LED pictures being made at once, beyond which a request is told to come back.
    static constexpr int kMostPendingPictures = 8;
    // Connections in all are also kept under half of what the file limit leaves after the
    // descriptors kept for the program's own files.
    static constexpr int kMostConnections = 256;
    static constexpr int kMostPerAddress = 32;
    static constexpr int kReservedFiles = 256;
    static constexpr int kMostWebSockets = 32;
    static constexpr qint64 kMostWebSocketMessage = 4 * 1024;
    // A connection whose head is this young is never let go for a newer one.
    static constexpr qint64 kGraceMs = 200;

private:
    struct Answer
    {
        int status = 200;
        QByteArray body;
        QByteArray type = "application/json";
        QImage picture; // to be sent as PNG, encoded away from the GUI thread
    };
    struct Request
    {
        const HttpRequestHead& head;
        const QByteArray& body;
        const QString& peer;
    };

    // HttpConnection::Handler
    HttpConnection::Admission admit(HttpConnection& connection,
                                    const HttpRequestHead& head) override;
    void serve(HttpConnection& connection, const HttpRequestHead& head, const QByteArray& body,
               std::unique_ptr<QTemporaryFile> file) override;
    void upgrade(HttpConnection& connection, QTcpSocket* socket) override;
    void finished(HttpConnection& connection) override;

    void accepted(int descriptor);
    // Lets the stalest connection without a request under way go, preferring those that never
    // showed the token; false when none may go.
    bool letOneGo(const QString* address, bool forASpeaker);
    void sweep();

    Answer api(const Request& request, std::unique_ptr<QTemporaryFile> file);
    Answer upload(const Request& request, std::unique_ptr<QTemporaryFile> file, int zone);
    Answer zonesApi(const Request& request, const QStringList& parts,
                    std::unique_ptr<QTemporaryFile> file);
    Answer page(const QByteArray& path) const;
    static Answer json(const QJsonValue& value, int status = 200);
    static Answer error(int status, const QString& message);
    static HttpAnswer toHttp(const Answer& answer, bool close = false);
    bool tokenMatches(const QByteArray& given) const;
    // Why a request from a browser page of another site, or under another host name, is
    // refused; empty when it is not.
    QString foreignReason(const HttpRequestHead& head, bool api) const;
    bool hostAllowed(const QByteArray& host) const;
    qint64 bodyLimit(const HttpRequestHead& head) const;
    void acceptWebSockets();
    // Encodes the picture on one of the server's encoder threads and answers on the connection
    // when it is done (or not, when the client or the server left meanwhile).
    void answerPictureLater(const QImage& picture, HttpConnection& connection);
    void pushStatus();

    RemoteController& m_controller;
    RemoteSettings m_settings;
    std::unique_ptr<RemoteListener> m_listener;
    std::vector<HttpConnection*> m_connections; // children, deleted later once finished
    int m_mostConnections = kMostConnections;
    HttpConnection::Timeouts m_timeouts;
    QTimer m_sweepTimer;
    LoginGuard m_logins;
    QWebSocketServer m_webSocketServer;
    // Live status: the sockets that gave the token, and those that still have to.
    std::vector<std::unique_ptr<QWebSocket>> m_sockets;
    QTimer m_statusTimer;
    QJsonObject m_lastStatus;
    int m_picturesPending = 0;
    // The PNG encoders, the server's own: waited for before the server goes.
    QThreadPool m_encoders;
};
