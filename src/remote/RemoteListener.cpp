#include "RemoteListener.h"

#include "RemoteLog.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int openSpare()
{
    return ::open("/dev/null", O_RDONLY | O_CLOEXEC);
}

} // namespace

RemoteListener::RemoteListener(Accepted accepted, QObject* parent)
    : QObject(parent), m_accepted(std::move(accepted))
{
    m_resume.setSingleShot(true);
    connect(&m_resume, &QTimer::timeout, this, [this] {
        if (m_notifier)
            m_notifier->setEnabled(true);
        acceptAll();
    });
}

RemoteListener::~RemoteListener()
{
    close();
}

bool RemoteListener::listen(const QHostAddress& address, quint16 port, QString* error)
{
    close();
    const bool v6 = address.protocol() == QAbstractSocket::IPv6Protocol;
    sockaddr_storage storage{};
    socklen_t length = 0;
    if (v6) {
        auto* in6 = reinterpret_cast<sockaddr_in6*>(&storage);
        in6->sin6_family = AF_INET6;
        in6->sin6_port = htons(port);
        const Q_IPV6ADDR bytes = address.toIPv6Address();
        std::memcpy(&in6->sin6_addr, &bytes, sizeof bytes);
        length = sizeof(sockaddr_in6);
    } else {
        auto* in4 = reinterpret_cast<sockaddr_in*>(&storage);
        in4->sin_family = AF_INET;
        in4->sin_port = htons(port);
        in4->sin_addr.s_addr = htonl(address.toIPv4Address());
        length = sizeof(sockaddr_in);
    }
    const int fd = ::socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const int yes = 1;
    if (fd < 0 || ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes) != 0 ||
        ::bind(fd, reinterpret_cast<sockaddr*>(&storage), length) != 0 ||
        ::listen(fd, kBacklog) != 0) {
        if (error)
            *error = QString::fromLocal8Bit(std::strerror(errno));
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    // Connections that send nothing are not handed over until they do (or a few seconds pass):
    // an idle crowd waits in the system's queue instead of in our descriptors.
    const int deferSeconds = 5;
    ::setsockopt(fd, IPPROTO_TCP, TCP_DEFER_ACCEPT, &deferSeconds, sizeof deferSeconds);
    getsockname(fd, reinterpret_cast<sockaddr*>(&storage), &length);
    m_port = ntohs(v6 ? reinterpret_cast<sockaddr_in6*>(&storage)->sin6_port
                      : reinterpret_cast<sockaddr_in*>(&storage)->sin_port);
    m_descriptor = fd;
    m_spare = openSpare();
    m_notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &RemoteListener::acceptAll);
    return true;
}

void RemoteListener::close()
{
    m_resume.stop();
    m_notifier.reset();
    if (m_descriptor >= 0)
        ::close(m_descriptor);
    if (m_spare >= 0)
        ::close(m_spare);
    m_descriptor = m_spare = -1;
    m_port = 0;
}

void RemoteListener::pause(int pauseMs)
{
    if (!m_notifier)
        return;
    m_notifier->setEnabled(false);
    m_resume.start(pauseMs);
}

void RemoteListener::acceptAll()
{
    // A bounded batch: a flood of connections shares the GUI thread with everything else.
    for (int i = 0; i < 256 && m_descriptor >= 0; ++i) {
        const int fd = ::accept4(m_descriptor, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd >= 0) {
            m_pauseMs = kFirstPauseMs;
            m_accepted(fd);
            continue;
        }
        const int error = errno;
        if (error == EAGAIN || error == EWOULDBLOCK)
            return;
        if (error == EINTR || error == ECONNABORTED || error == EPROTO)
            continue;
        outOfDescriptors(error);
        return;
    }
}

void RemoteListener::outOfDescriptors(int error)
{
    // The connection waiting in the queue would make the socket readable again at once: it is
    // taken with the spare descriptor and closed, then accepting rests a while.
    if ((error == EMFILE || error == ENFILE) && m_spare >= 0) {
        ::close(m_spare);
        const int fd = ::accept4(m_descriptor, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd >= 0)
            ::close(fd);
        m_spare = openSpare();
    }
    if (m_pauseMs == kFirstPauseMs)
        qCWarning(lcRemote, "the remote server cannot take connections: %s", std::strerror(error));
    pause(m_pauseMs);
    m_pauseMs = std::min(m_pauseMs * 2, kLongestPauseMs);
}
