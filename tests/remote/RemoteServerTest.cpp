#include "remote/RemoteServer.h"
#include "FakeController.h"
#include "remote/RemoteController.h"
#include "remote/Uploads.h"

#include <QBuffer>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QImageReader>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <QWebSocket>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

const QString kToken =
    QStringLiteral("0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef");

struct Reply
{
    int status = 0;
    QByteArray body;
    QList<QNetworkReply::RawHeaderPair> headers;
    QJsonObject json() const { return QJsonDocument::fromJson(body).object(); }
};

class RemoteServerTest : public testing::Test
{
protected:
    void SetUp() override
    {
        settings.enabled = true;
        settings.address = QStringLiteral("127.0.0.1");
        settings.port = 0; // any free port
        settings.token = kToken;
        settings.mediaDir = dir.filePath("media");
        settings.maxUploadBytes = 64 * 1024;
        QString error;
        ASSERT_TRUE(server.start(settings, &error)) << error.toStdString();
        base = QStringLiteral("http://127.0.0.1:%1").arg(server.port());
    }

    Reply send(const QByteArray& method, const QString& path, const QByteArray& body = {},
               QList<std::pair<QByteArray, QByteArray>> headers = {}, bool withToken = true)
    {
        QNetworkRequest request(QUrl(base + path));
        if (withToken)
            request.setRawHeader("Authorization", "Bearer " + kToken.toUtf8());
        for (const auto& [key, value] : headers)
            request.setRawHeader(key, value);
        QBuffer data;
        data.setData(body);
        data.open(QIODevice::ReadOnly);
        QNetworkReply* reply = network.sendCustomRequest(request, method, &data);
        QEventLoop loop;
        QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        QTimer::singleShot(5000, &loop, &QEventLoop::quit);
        loop.exec();
        Reply r{reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(),
                reply->readAll(), reply->rawHeaderPairs()};
        reply->deleteLater();
        return r;
    }

    // A request written by hand (headers only unless a body is given), and what comes back.
    QByteArray raw(const QByteArray& request, const QHostAddress& from = QHostAddress::LocalHost)
    {
        QTcpSocket socket;
        if (from != QHostAddress::LocalHost)
            socket.bind(from);
        socket.connectToHost(QHostAddress::LocalHost, server.port());
        QByteArray answer;
        QEventLoop loop;
        QObject::connect(&socket, &QTcpSocket::connected, &loop, [&] { socket.write(request); });
        QObject::connect(&socket, &QTcpSocket::readyRead, &loop, [&] {
            answer += socket.readAll();
            if (answer.contains("\r\n\r\n") &&
                answer.size() - answer.indexOf("\r\n\r\n") - 4 >=
                    answer.mid(answer.indexOf("Content-Length:") + 15, 8).trimmed().toInt())
                loop.quit();
        });
        QObject::connect(&socket, &QTcpSocket::disconnected, &loop, &QEventLoop::quit);
        QTimer::singleShot(5000, &loop, &QEventLoop::quit);
        loop.exec();
        return answer;
    }

    QStringList media() const
    {
        return QDir(settings.mediaDir).entryList(QDir::Files | QDir::Hidden | QDir::System);
    }

    QTemporaryDir dir;
    FakeController controller;
    RemoteSettings settings;
    RemoteServer server{controller};
    QNetworkAccessManager network;
    QString base;
};

} // namespace

TEST_F(RemoteServerTest, EveryApiCallNeedsTheTokenAndErrorsAreJson)
{
    Reply r = send("GET", "/api/status", {}, {}, false);
    EXPECT_EQ(r.status, 401);
    EXPECT_FALSE(r.json().value("error").toString().isEmpty());
    r = send("GET", "/api/status", {}, {{"Authorization", "Bearer " + QByteArray(64, 'f')}}, false);
    EXPECT_EQ(r.status, 401);
    r = send("GET", "/api/status", {}, {{"Authorization", "Basic " + kToken.toUtf8()}}, false);
    EXPECT_EQ(r.status, 401);
    r = send("GET", "/api/status");
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(r.json().value("state").toString(), "playing");
    // No CORS: a page of another origin gets nothing it may read.
    for (const auto& [key, value] : r.headers)
        EXPECT_FALSE(key.toLower().startsWith("access-control")) << key.toStdString();
    EXPECT_EQ(send("GET", "/api/nothing").status, 404);
    EXPECT_EQ(send("GET", "/api/stop").status, 405);
    EXPECT_EQ(send("POST", "/api/status").status, 405);
    // The page needs no token; it speaks the interface's language.
    r = send("GET", "/", {}, {}, false);
    EXPECT_EQ(r.status, 200);
    EXPECT_TRUE(r.body.contains("<html lang=\"en\">"));
    EXPECT_EQ(send("GET", "/app.js", {}, {}, false).status, 200);
    EXPECT_EQ(send("GET", "/secret", {}, {}, false).status, 404);
}

TEST_F(RemoteServerTest, TenWrongTokensBlockGuessingFromThatAddressButNeverTheToken)
{
    // Requests without any token are not guesses: a page the operator visits cannot count.
    for (int i = 0; i < 3 * RemoteServer::kFailuresBeforeBlock; ++i)
        EXPECT_EQ(send("POST", "/api/stop", {}, {}, false).status, 401);
    EXPECT_EQ(send("GET", "/api/status", {}, {{"Authorization", "Bearer nope"}}, false).status,
              401);
    for (int i = 1; i < RemoteServer::kFailuresBeforeBlock; ++i)
        EXPECT_EQ(send("GET", "/api/status", {}, {{"Authorization", "Bearer nope"}}, false).status,
                  401);
    // Guessing is shut out now, the right token is not.
    EXPECT_EQ(send("GET", "/api/status", {}, {{"Authorization", "Bearer nope"}}, false).status,
              429);
    EXPECT_EQ(send("GET", "/api/status").status, 200);
    EXPECT_EQ(send("GET", "/api/status", {}, {}, false).status, 429);
    // Another address of this machine is not blocked at all.
    const QByteArray answer = raw("GET /api/status HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                                  "Authorization: Bearer nope\r\n\r\n",
                                  QHostAddress(QStringLiteral("127.0.0.2")));
    EXPECT_TRUE(answer.startsWith("HTTP/1.1 401")) << answer.left(40).toStdString();
}

TEST_F(RemoteServerTest, TransportCommandsAnswerTheNewStatus)
{
    for (const char* command : {"play", "pause", "stop", "next", "previous", "first", "last"})
        EXPECT_EQ(send("POST", QStringLiteral("/api/") + command).status, 200) << command;
    EXPECT_EQ(controller.commands,
              QStringList({"play", "pause", "stop", "next", "previous", "first", "last"}));
    EXPECT_EQ(send("POST", "/api/stop").json().value("state").toString(), "stopped");
    controller.files = {"/a.txt", "/b.txt"};
    EXPECT_EQ(send("POST", "/api/items/1/play").status, 200);
    EXPECT_EQ(send("POST", "/api/items/7/play").status, 404);
    EXPECT_EQ(send("POST", "/api/items/0/move", R"({"to": 1})").status, 200);
    EXPECT_EQ(controller.files, QStringList({"/b.txt", "/a.txt"}));
    EXPECT_EQ(send("POST", "/api/items/0/move", R"({"to": "x"})").status, 400);
    EXPECT_EQ(send("DELETE", "/api/items/0").status, 200);
    EXPECT_EQ(controller.files, QStringList({"/a.txt"}));
    EXPECT_EQ(send("DELETE", "/api/items/5").status, 404);
    EXPECT_EQ(send("GET", "/api/items").body, R"([{"file":"/a.txt","index":0}])");
    // Only the media and projects folders may be named.
    Reply r = send("POST", "/api/project/open", R"({"path": "/nowhere.zpm"})");
    EXPECT_EQ(r.status, 403);
    EXPECT_TRUE(controller.commands.filter("open").isEmpty());
    ASSERT_TRUE(QDir().mkpath(settings.mediaDir));
    const QString inside = QDir(settings.mediaDir).filePath("nowhere.zpm");
    r = send("POST", "/api/project/open",
             QJsonDocument(QJsonObject{{"path", inside}}).toJson(QJsonDocument::Compact));
    EXPECT_EQ(r.status, 400);
    EXPECT_EQ(r.json().value("error").toString(), inside + ": cannot be read");
    const QString around = settings.mediaDir + "/../../" + QFileInfo(dir.path()).fileName();
    r = send("POST", "/api/project/open",
             QJsonDocument(QJsonObject{{"path", around + "/x.zpm"}}).toJson());
    EXPECT_EQ(r.status, 403);
    EXPECT_EQ(send("POST", "/api/project/open", "not json").status, 400);
    EXPECT_EQ(send("POST", "/api/project/save").status, 409);
}

TEST_F(RemoteServerTest, ZoneCommandsNameTheirZoneAndUploadsGoIntoIt)
{
    EXPECT_EQ(send("GET", "/api/zones").body,
              R"([{"index":0,"name":"main"},{"index":1,"name":"ticker"}])");
    EXPECT_EQ(send("GET", "/api/zones/1").json().value("name").toString(), "ticker");
    EXPECT_EQ(send("GET", "/api/zones/2").status, 404);
    EXPECT_EQ(send("GET", "/api/zones/-1").status, 404);
    EXPECT_EQ(send("POST", "/api/zones/1/next").status, 200);
    EXPECT_EQ(send("POST", "/api/zones/0/first").status, 200);
    EXPECT_EQ(send("GET", "/api/zones/1/next").status, 405);
    EXPECT_EQ(send("POST", "/api/zones/1/nonsense/more").status, 404);
    EXPECT_EQ(controller.commands, QStringList({"zone 1 next", "zone 0 first"}));
    const QByteArray bmp = QByteArray("BM") + QByteArray(60, '\0');
    Reply r = send("POST", "/api/zones/1/items", bmp, {{"X-File-Name", "z.bmp"}});
    EXPECT_EQ(r.status, 201) << r.body.toStdString();
    EXPECT_TRUE(controller.commands.contains("upload into zone 1"));
    EXPECT_EQ(send("POST", "/api/zones/9/items", bmp, {{"X-File-Name", "y.bmp"}}).status, 404);
    EXPECT_EQ(controller.files.size(), 1);
}

TEST_F(RemoteServerTest, TheLedAndWallPicturesArePngsBehindTheToken)
{
    const auto png = [](const Reply& r) {
        EXPECT_TRUE(std::any_of(r.headers.begin(), r.headers.end(), [](const auto& header) {
            return header.first.toLower() == "content-type" && header.second == "image/png";
        }));
        QBuffer buffer;
        buffer.setData(r.body);
        QImageReader reader(&buffer, "png");
        return reader.read();
    };
    Reply r = send("GET", "/api/led.png");
    ASSERT_EQ(r.status, 200);
    QImage image = png(r);
    EXPECT_EQ(image.size(), QSize(48, 16));
    EXPECT_EQ(image.pixel(5, 5), qRgb(255, 128, 0));
    r = send("GET", "/api/wall.png");
    ASSERT_EQ(r.status, 200);
    image = png(r);
    EXPECT_EQ(image.size(), QSize(96, 8));
    EXPECT_EQ(image.pixel(90, 5), qRgb(0, 128, 255));

    EXPECT_EQ(send("GET", "/api/wall.png", {}, {}, false).status, 401);
    EXPECT_EQ(send("GET", "/api/wall.png", {}, {{"Authorization", "Bearer nope"}}, false).status,
              401);
    EXPECT_EQ(send("POST", "/api/wall.png").status, 405);
    EXPECT_EQ(send("GET", "/api/wall.png/1").status, 404);
    controller.wall = QImage(); // no window shown
    r = send("GET", "/api/wall.png");
    EXPECT_EQ(r.status, 500);
    EXPECT_FALSE(r.json().value("error").toString().isEmpty());
}

namespace {

// Keeps the word that a picture is made from reaching the server, so that its pictures stay
// pending while this lives (and after: the word is dropped).
class HoldPictures final : public QObject
{
public:
    explicit HoldPictures(QObject& server) : m_server(server)
    {
        QCoreApplication::instance()->installEventFilter(this);
    }
    ~HoldPictures() override { QCoreApplication::instance()->removeEventFilter(this); }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        return event->type() == QEvent::FutureCallOut && watched->parent() == &m_server;
    }

private:
    QObject& m_server;
};

} // namespace

TEST_F(RemoteServerTest, TheLedAndWallPicturesShareOneLimitOnPicturesBeingMade)
{
    const QByteArray auth = "Authorization: Bearer " + kToken.toUtf8() + "\r\n";
    const HoldPictures hold(server);
    const auto pending = [&] {
        return server.findChildren<QFutureWatcherBase*>(Qt::FindDirectChildrenOnly).size();
    };
    std::vector<std::unique_ptr<QTcpSocket>> clients;
    for (int i = 0; i < RemoteServer::kMostPendingPictures; ++i) {
        auto& client = clients.emplace_back(std::make_unique<QTcpSocket>());
        client->connectToHost(QHostAddress::LocalHost, server.port());
        ASSERT_TRUE(client->waitForConnected(5000));
        client->write("GET /api/" + QByteArray(i % 2 ? "led" : "wall") +
                      ".png HTTP/1.1\r\nHost: 127.0.0.1\r\n" + auth + "\r\n");
        client->flush();
    }
    for (int i = 0; i < 500 && pending() < RemoteServer::kMostPendingPictures; ++i) {
        QEventLoop loop;
        QTimer::singleShot(10, &loop, &QEventLoop::quit);
        loop.exec();
    }
    ASSERT_EQ(pending(), RemoteServer::kMostPendingPictures);

    // Either picture is one too many now; the answer says when to come back.
    for (const QByteArray name : {"wall.png", "led.png"}) {
        const QByteArray answer =
            raw("GET /api/" + name + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + auth + "\r\n");
        EXPECT_TRUE(answer.startsWith("HTTP/1.1 503")) << answer.left(60).toStdString();
        EXPECT_TRUE(answer.contains("\r\nRetry-After: 1\r\n")) << answer.toStdString();
        EXPECT_TRUE(answer.contains("\"error\""));
    }
    // The token is looked at first, and everything else answers as before.
    EXPECT_TRUE(
        raw("GET /api/wall.png HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n").startsWith("HTTP/1.1 401"));
    EXPECT_EQ(send("GET", "/api/status").status, 200);
    EXPECT_EQ(pending(), RemoteServer::kMostPendingPictures);
}

TEST_F(RemoteServerTest, UploadsLandInTheMediaFolderUnderSafeNewNames)
{
    const QByteArray bmp = QByteArray("BM") + QByteArray(60, '\0');
    Reply r = send("POST", "/api/items", bmp, {{"X-File-Name", "../../x.bmp"}});
    EXPECT_EQ(r.status, 201) << r.body.toStdString();
    EXPECT_EQ(r.json().value("file").toString(), QDir(settings.mediaDir).filePath("x.bmp"));
    // The same name again: a numbered name, the first file kept.
    r = send("POST", "/api/items", bmp, {{"X-File-Name", "x.bmp"}});
    EXPECT_EQ(r.json().value("file").toString(), QDir(settings.mediaDir).filePath("x-2.bmp"));
    // Names percent-encoded by the page, in Chinese.
    r = send("POST", "/api/items", "text", {{"X-File-Name", "%E6%AC%A2%E8%BF%8E.txt"}});
    EXPECT_EQ(r.json().value("file").toString(), QDir(settings.mediaDir).filePath("欢迎.txt"));

    EXPECT_EQ(send("POST", "/api/items", "#!/bin/sh", {{"X-File-Name", "a.sh"}}).status, 415);
    EXPECT_EQ(send("POST", "/api/items", bmp, {{"X-File-Name", ""}}).status, 400);
    EXPECT_EQ(send("POST", "/api/items", bmp, {{"X-File-Name", "../.."}}).status, 400);
    EXPECT_EQ(send("POST", "/api/items", bmp, {{"X-File-Name", ".bmp"}}).status, 415);
    EXPECT_EQ(send("POST", "/api/items", {}, {{"X-File-Name", "empty.bmp"}}).status, 400);

    // A multipart form, as a browser's form sends it.
    const QByteArray form = "--XyZ\r\nContent-Disposition: form-data; name=\"file\"; "
                            "filename=\"dir/form.txt\"\r\nContent-Type: text/plain\r\n\r\n"
                            "from a form\r\n--XyZ--\r\n";
    r = send("POST", "/api/items", form, {{"Content-Type", "multipart/form-data; boundary=XyZ"}});
    EXPECT_EQ(r.status, 201) << r.body.toStdString();
    QFile stored(QDir(settings.mediaDir).filePath("form.txt"));
    ASSERT_TRUE(stored.open(QIODevice::ReadOnly));
    EXPECT_EQ(stored.readAll(), "from a form");

    // Nothing but the four files, and nothing outside the media folder.
    EXPECT_EQ(media(), QStringList({"form.txt", "x-2.bmp", "x.bmp", "欢迎.txt"}));
    EXPECT_FALSE(QFile::exists(dir.filePath("x.bmp")));
    EXPECT_EQ(controller.files.size(), 4);
}

TEST_F(RemoteServerTest, OversizedBodiesAreRefusedBeforeTheyAreRead)
{
    const QByteArray auth = "Authorization: Bearer " + kToken.toUtf8() + "\r\n";
    // Only the headers are sent: the answer comes without the body.
    QByteArray answer = raw("POST /api/stop HTTP/1.1\r\nHost: 127.0.0.1\r\n" + auth +
                            "Content-Length: 70000\r\n\r\n");
    EXPECT_TRUE(answer.startsWith("HTTP/1.1 413")) << answer.left(60).toStdString();
    EXPECT_TRUE(answer.contains("\"error\""));
    answer = raw("POST /api/items HTTP/1.1\r\nHost: 127.0.0.1\r\nX-File-Name: big.bmp\r\n" + auth +
                 "Content-Length: 70000\r\n\r\n");
    EXPECT_TRUE(answer.startsWith("HTTP/1.1 413")) << answer.left(60).toStdString();
    answer =
        raw("POST /api/items HTTP/1.1\r\nHost: 127.0.0.1\r\nTransfer-Encoding: chunked\r\n\r\n");
    EXPECT_TRUE(answer.startsWith("HTTP/1.1 411")) << answer.left(60).toStdString();
    answer = raw("GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Pad: " + QByteArray(40 * 1024, 'a'));
    EXPECT_TRUE(answer.startsWith("HTTP/1.1 431")) << answer.left(60).toStdString();
    // The limit is read from the same parse that frames the request: "Content-Length :" is
    // not a length one reader sees and another misses, it is refused.
    answer = raw("POST /api/stop HTTP/1.1\r\nHost: 127.0.0.1\r\n" + auth +
                 "Content-Length : 100000000\r\n\r\n");
    EXPECT_TRUE(answer.startsWith("HTTP/1.1 400")) << answer.left(60).toStdString();
    // The page takes no body at all.
    answer = raw("GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 10\r\n\r\n0123456789");
    EXPECT_TRUE(answer.startsWith("HTTP/1.1 413")) << answer.left(60).toStdString();
    // An upload within the limit still goes through, on a connection that already sent one.
    const Reply r =
        send("POST", "/api/items", QByteArray(60 * 1024, 'a'), {{"X-File-Name", "ok.txt"}});
    EXPECT_EQ(r.status, 201);
    EXPECT_EQ(media(), QStringList({"ok.txt"}));
}

TEST_F(RemoteServerTest, LiveStatusComesOverAWebSocketAfterTheToken)
{
    QWebSocket socket;
    QStringList messages;
    QEventLoop loop;
    QObject::connect(&socket, &QWebSocket::connected, &loop, [&] {
        socket.sendTextMessage(QStringLiteral("{\"token\": \"%1\"}").arg(kToken));
    });
    QObject::connect(&socket, &QWebSocket::textMessageReceived, &loop, [&](const QString& text) {
        messages << text;
        if (messages.size() == 1)
            controller.command("stop"); // a change the server pushes without being asked
        else
            loop.quit();
    });
    QTimer::singleShot(5000, &loop, &QEventLoop::quit);
    socket.open(QUrl(QStringLiteral("ws://127.0.0.1:%1/api/events").arg(server.port())));
    loop.exec();
    ASSERT_EQ(messages.size(), 2);
    EXPECT_TRUE(messages[0].contains("\"playing\""));
    EXPECT_TRUE(messages[1].contains("\"stopped\""));

    // A wrong token closes the socket.
    QWebSocket intruder;
    bool closed = false;
    QEventLoop wait;
    QObject::connect(&intruder, &QWebSocket::connected, &wait,
                     [&] { intruder.sendTextMessage(QStringLiteral("{\"token\": \"guess\"}")); });
    QObject::connect(&intruder, &QWebSocket::disconnected, &wait, [&] {
        closed = true;
        wait.quit();
    });
    QTimer::singleShot(5000, &wait, &QEventLoop::quit);
    intruder.open(QUrl(QStringLiteral("ws://127.0.0.1:%1/api/events").arg(server.port())));
    wait.exec();
    EXPECT_TRUE(closed);
}

TEST(Uploads, NamesAreReducedToSafeBaseNames)
{
    EXPECT_EQ(Uploads::safeBaseName("../../x.bmp"), "x.bmp");
    EXPECT_EQ(Uploads::safeBaseName("C:\\Users\\op\\pic.JPG"), "pic.JPG");
    EXPECT_EQ(Uploads::safeBaseName("a\nb\t.txt"), "ab.txt");
    EXPECT_EQ(Uploads::safeBaseName("..."), "");
    EXPECT_EQ(Uploads::safeBaseName(""), "");
    EXPECT_EQ(Uploads::safeBaseName(".hidden.txt"), "hidden.txt");
    EXPECT_TRUE(Uploads::playable("a.gif"));
    EXPECT_TRUE(Uploads::playable("doc.docx"));
    EXPECT_FALSE(Uploads::playable("a.sh"));
    EXPECT_FALSE(Uploads::playable("bmp"));
}
