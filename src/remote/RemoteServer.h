#pragma once

#include "RemoteSettings.h"

#include <QAbstractHttpServer>
#include <QElapsedTimer>
#include <QHash>
#include <QImage>
#include <QJsonObject>
#include <QPointer>
#include <QThreadPool>
#include <QTimer>

#include <deque>
#include <memory>
#include <vector>

class ConnectionGuard;
class QWebSocket;
class RemoteController;

// The remote control of a running program: a JSON API under /api/ (every call with the bearer
// token), the LED picture, live status over a WebSocket (/api/events, the token as the first
// message) and a small web page at /. Runs on the GUI thread's event loop; the playback never
// waits for it.
class RemoteServer final : public QAbstractHttpServer
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

    static constexpr qint64 kMostJsonBytes = 64 * 1024;
    static constexpr int kFailuresBeforeBlock = 10;
    static constexpr qint64 kFailureWindowMs = 60 * 1000;
    static constexpr qint64 kBlockMs = 60 * 1000;
    // LED pictures being made at once, beyond which a request is told to come back.
    static constexpr int kMostPendingPictures = 8;

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

private:
    struct Answer
    {
        int status = 200;
        QByteArray body;
        QByteArray type = "application/json";
        QImage picture; // to be sent as PNG, encoded away from the GUI thread
    };
    Answer api(const QHttpServerRequest& request, const QString& path);
    Answer upload(const QHttpServerRequest& request);
    Answer page(const QString& path) const;
    static Answer json(const QJsonValue& value, int status = 200);
    static Answer error(int status, const QString& message);
    bool tokenMatches(const QByteArray& given) const;
    // Failed logins of an address; true when it is blocked now.
    bool blocked(const QString& address);
    void failed(const QString& address);
    qint64 bodyLimit(const QByteArray& method, const QByteArray& path) const;
    void acceptWebSockets();
    // Encodes the picture on one of the server's encoder threads and answers on the socket when
    // it is done (or not, when the client or the server left meanwhile).
    void answerPictureLater(const QImage& picture, QTcpSocket* socket);
    void pushStatus();

    RemoteController& m_controller;
    RemoteSettings m_settings;
    QPointer<ConnectionGuard> m_listener; // a child: the HTTP server keeps its listeners
    QElapsedTimer m_clock;
    QHash<QString, std::deque<qint64>> m_failures;
    QHash<QString, qint64> m_blockedUntil;
    // Live status: the sockets that gave the token, and those that still have to.
    std::vector<std::unique_ptr<QWebSocket>> m_sockets;
    QTimer m_statusTimer;
    QJsonObject m_lastStatus;
    int m_picturesPending = 0;
    // The PNG encoders, the server's own: waited for before the server goes.
    QThreadPool m_encoders;
};
