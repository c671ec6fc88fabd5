#pragma once

#include <QHostAddress>
#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

#include <functional>
#include <memory>

// The listening socket of the remote server, accepted by hand so that running out of file
// descriptors neither spins nor shuts the server: a spare descriptor is kept, given up to take
// and close the connection that cannot be served, and accepting rests with a growing pause.
class RemoteListener final : public QObject
{
    Q_OBJECT

public:
    // Called with each accepted, non-blocking descriptor, which it then owns.
    using Accepted = std::function<void(int descriptor)>;
    explicit RemoteListener(Accepted accepted, QObject* parent = nullptr);
    ~RemoteListener() override;

    bool listen(const QHostAddress& address, quint16 port, QString* error);
    void close();
    bool isListening() const { return m_descriptor >= 0; }
    quint16 port() const { return m_port; }
    // Accepting paused (by the owner, for a while).
    void pause(int pauseMs);

    // The crowd that has sent nothing waits in the system's queue (deferred accept), so the
    // queue is as long as the system allows (net.core.somaxconn caps it): once it is full the
    // system answers with SYN cookies, and under a flood some of those connections are reset
    // at their first request, an operator's as likely as anyone's.
    static constexpr int kBacklog = 65535;
    static constexpr int kFirstPauseMs = 50;
    static constexpr int kLongestPauseMs = 2000;

private:
    void acceptAll();
    void outOfDescriptors(int error);

    Accepted m_accepted;
    int m_descriptor = -1;
    int m_spare = -1;
    quint16 m_port = 0;
    std::unique_ptr<QSocketNotifier> m_notifier;
    QTimer m_resume;
    int m_pauseMs = kFirstPauseMs;
};
