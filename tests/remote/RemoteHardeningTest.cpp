#include "FakeController.h"
#include "remote/LoginGuard.h"
#include "remote/RemoteListener.h"
#include "remote/RemoteServer.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QWebSocket>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace {

const QByteArray kToken = QByteArray(64, 'c');

// Under a sanitizer freed memory is held back on purpose (the resident size says nothing about
// what is kept), and its runtime needs descriptors of its own.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif
constexpr bool kResidentSizeTells = !kSanitized;

// The resident memory of this process: the server's and the test's clients.
qint64 residentBytes()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.value(1).toLongLong() * 4096;
}

template <typename Done>
bool within(int ms, Done done)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    return true;
}

class RemoteHardeningTest : public testing::Test
{
protected:
    void SetUp() override
    {
        settings.enabled = true;
        settings.address = QStringLiteral("127.0.0.1");
        settings.port = 0;
        settings.token = QString::fromLatin1(kToken);
        settings.mediaDir = dir.filePath("media");
        settings.projectsDir = dir.filePath("projects");
        settings.maxUploadBytes = 600LL * 1024 * 1024;
        QString error;
        ASSERT_TRUE(server.start(settings, &error)) << error.toStdString();
    }

    std::unique_ptr<QTcpSocket> connectClient(const QHostAddress& from = QHostAddress::LocalHost)
    {
        auto socket = std::make_unique<QTcpSocket>();
        if (from != QHostAddress::LocalHost)
            socket->bind(from);
        socket->connectToHost(QHostAddress::LocalHost, server.port());
        socket->waitForConnected(2000);
        return socket;
    }

    // Writes, then collects what comes back until `answers` whole answers are in or the
    // connection closes.
    QByteArray exchange(QTcpSocket& socket, const QByteArray& bytes, int answers = 1)
    {
        socket.write(bytes);
        QByteArray in;
        within(5000, [&] {
            in += socket.readAll();
            return socket.state() != QAbstractSocket::ConnectedState ||
                   completeAnswers(in) >= answers;
        });
        return in + socket.readAll();
    }

    static int completeAnswers(const QByteArray& in)
    {
        int count = 0;
        qsizetype at = 0;
        while (true) {
            const qsizetype end = in.indexOf("\r\n\r\n", at);
            if (end < 0)
                return count;
            const qsizetype length = in.indexOf("Content-Length: ", at);
            const qint64 body = length >= 0 && length < end
                                    ? in.mid(length + 16, 12).split('\r')[0].toLongLong()
                                    : 0;
            if (in.size() < end + 4 + body)
                return count;
            at = end + 4 + body;
            ++count;
        }
    }

    QByteArray get(const QByteArray& path, const QByteArray& extra = {})
    {
        auto socket = connectClient();
        return exchange(*socket, "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" +
                                     "Authorization: Bearer " + kToken + "\r\n" + extra + "\r\n");
    }

    QTemporaryDir dir;
    FakeController controller;
    RemoteSettings settings;
    RemoteServer server{controller};
};

} // namespace

TEST_F(RemoteHardeningTest, PipelinedRequestsAreAnsweredInOrderAndCloseIsHonoured)
{
    controller.files = {"/a.txt"};
    auto socket = connectClient();
    const QByteArray auth = "Host: 127.0.0.1\r\nAuthorization: Bearer " + kToken + "\r\n";
    const QByteArray in =
        exchange(*socket,
                 "GET /api/items HTTP/1.1\r\n" + auth + "\r\n" + "GET /nothing HTTP/1.1\r\n" +
                     auth + "\r\n" + "GET /api/status HTTP/1.1\r\n" + auth + "\r\n",
                 3);
    ASSERT_EQ(completeAnswers(in), 3) << in.toStdString();
    const qsizetype items = in.indexOf("[{\"file\"");
    const qsizetype missing = in.indexOf("404 Not Found");
    const qsizetype status = in.indexOf("{\"itemCount\"");
    EXPECT_TRUE(items >= 0 && items < missing && missing < status) << in.toStdString();
    EXPECT_EQ(socket->state(), QAbstractSocket::ConnectedState);

    // Connection: close, and HTTP/1.0 without keep-alive: one answer, then the end.
    for (const QByteArray& request :
         {QByteArray("GET /api/status HTTP/1.1\r\nConnection: close\r\n" + auth + "\r\n"),
          QByteArray("GET /api/status HTTP/1.0\r\nAuthorization: Bearer " + kToken + "\r\n\r\n")}) {
        auto once = connectClient();
        const QByteArray answer = exchange(*once, request + request, 2);
        EXPECT_EQ(completeAnswers(answer), 1) << answer.toStdString();
        EXPECT_TRUE(answer.contains("Connection: close"));
        EXPECT_TRUE(within(3000, [&] {
            once->readAll();
            return once->state() != QAbstractSocket::ConnectedState;
        }));
    }
    auto kept = connectClient();
    const QByteArray answer = exchange(
        *kept, "GET /api/status HTTP/1.0\r\nConnection: keep-alive\r\nAuthorization: Bearer " +
                   kToken + "\r\n\r\n");
    EXPECT_TRUE(answer.contains("Connection: keep-alive"));
}

TEST_F(RemoteHardeningTest, BodiesWithoutTheTokenAreNeverReadAndUploadsStream)
{
    const qint64 before = residentBytes();
    // Two 512 MB uploads without a token, with the first megabytes already sent.
    std::vector<std::unique_ptr<QTcpSocket>> clients;
    QByteArray answers;
    for (int i = 0; i < 2; ++i) {
        auto socket = connectClient();
        socket->write("POST /api/items HTTP/1.1\r\nHost: 127.0.0.1\r\nX-File-Name: a.txt\r\n"
                      "Content-Length: 536870912\r\n\r\n");
        socket->write(QByteArray(2 * 1024 * 1024, 'a'));
        clients.push_back(std::move(socket));
    }
    EXPECT_TRUE(within(5000, [&] {
        int closed = 0;
        for (auto& c : clients) {
            answers += c->readAll();
            closed += c->state() != QAbstractSocket::ConnectedState;
        }
        return closed == 2;
    }));
    EXPECT_EQ(answers.count("HTTP/1.1 401"), 2) << answers.left(200).toStdString();
    if (kResidentSizeTells) {
        EXPECT_LT(residentBytes() - before, 10 * 1024 * 1024);
    }
    clients.clear();

    // With the token, 64 MB go to the file as they come, never whole into memory.
    const qint64 start = residentBytes();
    auto socket = connectClient();
    constexpr qint64 kBytes = 64LL * 1024 * 1024;
    socket->write("POST /api/items HTTP/1.1\r\nHost: 127.0.0.1\r\nX-File-Name: big.txt\r\n"
                  "Authorization: Bearer " +
                  kToken + "\r\nContent-Length: " + QByteArray::number(kBytes) + "\r\n\r\n");
    const QByteArray piece(256 * 1024, 'x');
    qint64 sent = 0;
    QByteArray answer;
    qint64 peak = 0;
    EXPECT_TRUE(within(30000, [&] {
        while (sent < kBytes && socket->bytesToWrite() < 1024 * 1024) {
            socket->write(piece);
            sent += piece.size();
        }
        peak = std::max(peak, residentBytes() - start);
        answer += socket->readAll();
        return completeAnswers(answer) == 1;
    }));
    EXPECT_TRUE(answer.startsWith("HTTP/1.1 201")) << answer.left(300).toStdString();
    if (kResidentSizeTells) {
        EXPECT_LT(peak, 16 * 1024 * 1024);
    }
    EXPECT_EQ(QFileInfo(QDir(settings.mediaDir).filePath("big.txt")).size(), kBytes);
    // No temporary file is left behind.
    EXPECT_EQ(QDir(settings.mediaDir).entryList(QDir::Files | QDir::Hidden),
              QStringList({"big.txt"}));
}

TEST_F(RemoteHardeningTest, UploadsMustBeWhatTheirNamesSay)
{
    const QByteArray pngBytes =
        QByteArray("\x89PNG\r\n\x1a\n", 8) + QByteArray("\0\0\0\rIHDR\0\0\0\x10\0\0\0\x10", 16);
    // The head of a project: split mode, ..., an LED of 480 x 64.
    QByteArray project(100, '\0');
    project[24] = char(0xE0);
    project[25] = 0x01;
    project[28] = 64;
    for (const auto& [name, bytes] : {std::pair<QByteArray, QByteArray>{"notice.txt", pngBytes},
                                      {"notice.png", "just some words\n"},
                                      {"project.txt", project}}) {
        auto socket = connectClient();
        const QByteArray answer = exchange(
            *socket, "POST /api/items HTTP/1.1\r\nHost: 127.0.0.1\r\nX-File-Name: " + name +
                         "\r\nAuthorization: Bearer " + kToken + "\r\nContent-Length: " +
                         QByteArray::number(bytes.size()) + "\r\n\r\n" + bytes);
        EXPECT_TRUE(answer.startsWith("HTTP/1.1 415"))
            << name.toStdString() << answer.toStdString();
    }
    EXPECT_TRUE(controller.files.isEmpty());
    EXPECT_TRUE(QDir(settings.mediaDir).entryList(QDir::Files | QDir::Hidden).isEmpty());
}

TEST_F(RemoteHardeningTest, ForeignPagesAndForeignHostNamesAreRefused)
{
    const QByteArray port = QByteArray::number(server.port());
    const auto statusOf = [&](const QByteArray& fields) {
        auto socket = connectClient();
        return exchange(*socket, "POST /api/stop HTTP/1.1\r\n" + fields + "Authorization: Bearer " +
                                     kToken + "\r\n\r\n")
            .left(12);
    };
    EXPECT_EQ(statusOf("Host: 127.0.0.1:" + port + "\r\n"), "HTTP/1.1 200");
    EXPECT_EQ(statusOf("Host: 127.0.0.1:" + port + "\r\nOrigin: http://127.0.0.1:" + port +
                       "\r\nSec-Fetch-Site: same-origin\r\n"),
              "HTTP/1.1 200");
    EXPECT_EQ(statusOf("Host: 127.0.0.1:" + port + "\r\nOrigin: http://evil.example\r\n"),
              "HTTP/1.1 403");
    EXPECT_EQ(statusOf("Host: 127.0.0.1:" + port + "\r\nOrigin: null\r\n"), "HTTP/1.1 403");
    EXPECT_EQ(statusOf("Host: 127.0.0.1:" + port + "\r\nSec-Fetch-Site: cross-site\r\n"),
              "HTTP/1.1 403");
    // DNS rebinding: a name that is not ours, even when it points here.
    EXPECT_EQ(statusOf("Host: rebind.evil.example:" + port + "\r\n"), "HTTP/1.1 403");
    EXPECT_EQ(statusOf("Host: localhost:" + port + "\r\n"), "HTTP/1.1 200");
    EXPECT_EQ(statusOf("Host: [::1]:" + port + "\r\n"), "HTTP/1.1 200");
    EXPECT_EQ(controller.commands.size(), 4);
}

TEST_F(RemoteHardeningTest, IdleAndSlowConnectionsCannotShutTheOperatorOut)
{
    HttpConnection::Timeouts quick;
    quick.headMs = 1500;
    quick.bodyIdleMs = 1500;
    server.setTimeouts(quick);
    QString error;
    ASSERT_TRUE(server.start(settings, &error));
    // More idle connections than the server keeps, and slow ones that send a byte at a time.
    // Connected without waiting on each: the server accepts as the event loop runs.
    const auto crowd = [this](int count, const QHostAddress& from) {
        std::vector<std::unique_ptr<QTcpSocket>> sockets;
        for (int i = 0; i < count; ++i) {
            sockets.push_back(std::make_unique<QTcpSocket>());
            sockets.back()->bind(from);
            sockets.back()->connectToHost(QHostAddress::LocalHost, server.port());
            if (i % 50 == 49)
                QCoreApplication::processEvents();
        }
        within(5000, [&] {
            return std::all_of(sockets.begin(), sockets.end(), [](const auto& s) {
                return s->state() == QAbstractSocket::ConnectedState ||
                       s->state() == QAbstractSocket::UnconnectedState;
            });
        });
        return sockets;
    };
    std::vector<std::unique_ptr<QTcpSocket>> idle = crowd(300, QHostAddress::LocalHost);
    std::vector<std::unique_ptr<QTcpSocket>> slow =
        crowd(40, QHostAddress(QStringLiteral("127.0.0.3")));
    for (auto& s : slow)
        s->write("GET /api/status HTTP/1.1\r\n");
    within(300, [] { return false; });
    EXPECT_LE(server.connectionCount(), 2 * RemoteServer::kMostPerAddress);
    // The operator, from the same address as the idle crowd, is answered.
    within(RemoteServer::kGraceMs + 200, [] { return false; });
    EXPECT_TRUE(get("/api/status").startsWith("HTTP/1.1 200"));
    // The slow ones run out of time for their heads.
    for (auto& s : slow)
        s->write("X");
    EXPECT_TRUE(within(4000, [&] {
        for (auto& s : slow)
            if (s->state() == QAbstractSocket::ConnectedState && !s->waitForDisconnected(0))
                return false;
        return true;
    }));
    EXPECT_LE(server.connectionCount(), RemoteServer::kMostPerAddress);
    EXPECT_TRUE(get("/api/status").startsWith("HTTP/1.1 200"));
}

TEST_F(RemoteHardeningTest, WebSocketsReadOnlyASmallTokenAndNeedAnUpgradeField)
{
    // A large first message closes the socket without being taken in.
    QWebSocket socket;
    bool closed = false;
    QObject::connect(&socket, &QWebSocket::connected,
                     [&] { socket.sendTextMessage(QString(1024 * 1024, u'a')); });
    QObject::connect(&socket, &QWebSocket::disconnected, [&] { closed = true; });
    socket.open(QUrl(QStringLiteral("ws://127.0.0.1:%1/api/events").arg(server.port())));
    EXPECT_TRUE(within(5000, [&] { return closed; }));

    // Upgrade without Connection: Upgrade is answered, not left hanging.
    auto raw = connectClient();
    const QByteArray answer = exchange(
        *raw, "GET /api/events HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\n"
              "Sec-WebSocket-Version: 13\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n\r\n");
    EXPECT_TRUE(answer.startsWith("HTTP/1.1 400")) << answer.left(60).toStdString();

    // While guessing is blocked, the right token still logs in.
    for (int i = 0; i < RemoteServer::kFailuresBeforeBlock + 2; ++i) {
        auto guess = connectClient();
        exchange(*guess, "GET /api/status HTTP/1.1\r\nHost: 127.0.0.1\r\nAuthorization: Bearer "
                         "nope\r\n\r\n");
    }
    QWebSocket operatorSocket;
    QStringList messages;
    QObject::connect(&operatorSocket, &QWebSocket::connected, [&] {
        operatorSocket.sendTextMessage("{\"token\": \"" + QString::fromLatin1(kToken) + "\"}");
    });
    QObject::connect(&operatorSocket, &QWebSocket::textMessageReceived,
                     [&](const QString& text) { messages << text; });
    operatorSocket.open(QUrl(QStringLiteral("ws://127.0.0.1:%1/api/events").arg(server.port())));
    EXPECT_TRUE(within(5000, [&] { return !messages.isEmpty(); }));
}

TEST_F(RemoteHardeningTest, NumbersInCommandsAreWholeAndInRange)
{
    controller.files = {"/a.txt", "/b.txt", "/c.txt"};
    const auto move = [&](const QByteArray& body) {
        auto socket = connectClient();
        return exchange(*socket, "POST /api/items/0/move HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                                 "Authorization: Bearer " +
                                     kToken + "\r\nContent-Length: " +
                                     QByteArray::number(body.size()) + "\r\n\r\n" + body)
            .left(12);
    };
    EXPECT_EQ(move(R"({"to": 2.5})"), "HTTP/1.1 400");
    EXPECT_EQ(move(R"({"to": 1e300})"), "HTTP/1.1 400");
    EXPECT_EQ(move(R"({"to": -1})"), "HTTP/1.1 400");
    EXPECT_EQ(move(R"({"to": 3})"), "HTTP/1.1 400");
    EXPECT_EQ(controller.files, QStringList({"/a.txt", "/b.txt", "/c.txt"}));
    EXPECT_EQ(move(R"({"to": 2})"), "HTTP/1.1 200");
    EXPECT_TRUE(get("/api/items/01/play").startsWith("HTTP/1.1 404"));
    EXPECT_TRUE(controller.commands.isEmpty());
}

TEST(LoginGuard, BlocksAfterTenGuessesExpiresAndStaysSmall)
{
    LoginGuard guard;
    for (int i = 0; i < LoginGuard::kFailuresBeforeBlock - 1; ++i)
        guard.failed("10.0.0.1", i * 1000);
    EXPECT_FALSE(guard.isBlocked("10.0.0.1", 9000));
    guard.failed("10.0.0.1", 9000);
    EXPECT_TRUE(guard.isBlocked("10.0.0.1", 9001));
    EXPECT_FALSE(guard.isBlocked("10.0.0.2", 9001));
    EXPECT_FALSE(guard.isBlocked("10.0.0.1", 9000 + LoginGuard::kBlockMs));
    // Ten spread over more than a minute are not ten in a minute.
    for (int i = 0; i < 20; ++i)
        guard.failed("10.0.0.3", i * 7000);
    EXPECT_FALSE(guard.isBlocked("10.0.0.3", 20 * 7000));
    // A flood of addresses keeps the table bounded.
    for (int i = 0; i < 5000; ++i)
        guard.failed(QStringLiteral("10.1.%1.%2").arg(i / 256).arg(i % 256), 200000 + i);
    EXPECT_LE(guard.size(), LoginGuard::kMostAddresses);
}

TEST(RemoteListener, OutOfDescriptorsItRestsInsteadOfSpinningAndComesBack)
{
    if (kSanitized)
        GTEST_SKIP() << "the sanitizer's runtime cannot work without descriptors";
    int taken = 0;
    RemoteListener listener([&taken](int fd) {
        ++taken;
        ::close(fd);
    });
    QString error;
    ASSERT_TRUE(listener.listen(QHostAddress::LocalHost, 0, &error)) << error.toStdString();
    QTcpSocket first;
    first.connectToHost(QHostAddress::LocalHost, listener.port());
    ASSERT_TRUE(first.waitForConnected(2000));
    first.write("GET / HTTP/1.1\r\n\r\n"); // deferred accept: a client that speaks
    first.flush();

    // Every descriptor taken: the connection waiting cannot be accepted.
    std::vector<int> hog;
    for (int fd = ::dup(0); fd >= 0; fd = ::dup(0))
        hog.push_back(fd);
    const auto cpuMs = [] {
        rusage usage{};
        ::getrusage(RUSAGE_SELF, &usage);
        return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000 +
               (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000;
    };
    const long before = cpuMs();
    within(1000, [] { return false; });
    const long spent = cpuMs() - before;
    for (int fd : hog)
        ::close(fd);
    EXPECT_LT(spent, 300) << "ms of CPU in a second without descriptors";
    // The client that could not be served was let go, not left hanging.
    EXPECT_TRUE(within(2000, [&] {
        return first.state() != QAbstractSocket::ConnectedState || first.waitForDisconnected(0);
    }));
    EXPECT_EQ(taken, 0);

    // With descriptors again, accepting comes back by itself.
    QTcpSocket second;
    second.connectToHost(QHostAddress::LocalHost, listener.port());
    ASSERT_TRUE(second.waitForConnected(2000));
    second.write("GET / HTTP/1.1\r\n\r\n");
    EXPECT_TRUE(within(RemoteListener::kLongestPauseMs + 1000, [&] { return taken == 1; }));
}

TEST_F(RemoteHardeningTest, HeadLimitsHoldHoweverTheBytesArrive)
{
    const auto inPieces = [this](const QByteArray& bytes, int piece) {
        auto socket = connectClient();
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        QByteArray in;
        for (qsizetype at = 0;
             at < bytes.size() && socket->state() == QAbstractSocket::ConnectedState; at += piece) {
            socket->write(bytes.mid(at, piece));
            socket->flush();
            if (at % (64 * piece) == 0)
                QCoreApplication::processEvents();
            in += socket->readAll();
        }
        within(5000, [&] {
            in += socket->readAll();
            return completeAnswers(in) >= 1 || socket->state() != QAbstractSocket::ConnectedState;
        });
        return in + socket->readAll();
    };
    const QByteArray request =
        "GET /api/status HTTP/1.1\r\nHost: 127.0.0.1\r\nAuthorization: Bearer " + kToken +
        "\r\n\r\n";
    EXPECT_TRUE(inPieces(request, 1).startsWith("HTTP/1.1 200"));
    const QByteArray huge =
        "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Pad: " + QByteArray(40 * 1024, 'a');
    EXPECT_TRUE(inPieces(huge, 5).startsWith("HTTP/1.1 431"));
    EXPECT_TRUE(inPieces(huge, int(huge.size())).startsWith("HTTP/1.1 431"));
    QByteArray lines = "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n";
    for (int i = 0; i < 150; ++i)
        lines += "X: 1\r\n";
    // Too many lines is a 431, not a counted failure: the right token still goes in after it.
    EXPECT_TRUE(inPieces(lines + "\r\n", 3).startsWith("HTTP/1.1 431"));
    EXPECT_TRUE(inPieces(request, int(request.size())).startsWith("HTTP/1.1 200"));
}
