#pragma once

#include <QTcpServer>

#include <functional>

class QTcpSocket;

// The listening socket of the remote server. It reads along with the HTTP server: every request's
// headers are looked at as they arrive, and a request whose body would pass its limit (or has no
// length) is answered 413 (or 411) and the connection closed, before the body is read. The HTTP
// server, which keeps a request whole in memory, never sees it.
class ConnectionGuard final : public QTcpServer
{
    Q_OBJECT

public:
    // The most body a request may carry: by method and path.
    using BodyLimit = std::function<qint64(const QByteArray& method, const QByteArray& path)>;
    explicit ConnectionGuard(BodyLimit limit, QObject* parent = nullptr);

    static constexpr qint64 kMostHeaderBytes = 32 * 1024;

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    BodyLimit m_limit;
};
