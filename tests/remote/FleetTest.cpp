#include "remote/FleetClient.h"
#include "remote/FleetText.h"
#include "remote/RemoteController.h"
#include "support/ChildProcess.h"
#include "support/MqttBroker.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <mosquitto.h>

#include <QRegularExpression>

#include <algorithm>
#include <atomic>
#include <functional>
#include <map>
#include <mutex>

namespace {

// A player as the fleet client sees it.
class FakePlayer final : public RemoteController
{
public:
    QJsonObject status() const override { return QJsonObject{{"state", state}, {"item", item}}; }
    QJsonArray items() const override { return {}; }
    bool command(const QString& name) override
    {
        static const QStringList known{"play",     "pause", "stop", "next",
                                       "previous", "first", "last"};
        if (!known.contains(name))
            return false;
        state = name == "stop" ? "stopped" : name == "pause" ? "paused" : "playing";
        return true;
    }
    bool playItem(int index) override
    {
        item = index;
        state = "playing";
        return index >= 0 && index < 5;
    }
    int addFile(const QString&, int) override { return -1; }
    QJsonArray zones() const override { return {}; }
    bool zoneCommand(int zone, const QString& name) override { return zone == 0 && command(name); }
    bool deleteItem(int) override { return false; }
    bool moveItem(int, int) override { return false; }
    bool openProject(const QString& path, QString* error) override
    {
        *error = path + ": no such file";
        return false;
    }
    bool saveProject(QString*) override { return false; }
    QImage ledPicture() const override { return {}; }
    QImage wallPicture() const override { return {}; }

    QString state = QStringLiteral("playing");
    int item = 0;
};

FleetSettings settingsFor(const Broker& broker, const char* name)
{
    FleetSettings s;
    s.url = broker.url();
    s.name = QString::fromLatin1(name);
    return s;
}

// Every change of a client's connection, as connectionChanged told it.
struct Changes
{
    explicit Changes(FleetClient& client)
    {
        QObject::connect(&client, &FleetClient::connectionChanged,
                         [this](bool connected, const QString& message) {
                             list.emplace_back(connected, message);
                         });
    }
    int count(bool connected) const
    {
        return int(std::count_if(list.begin(), list.end(),
                                 [&](const auto& c) { return c.first == connected; }));
    }
    QString lastMessage() const { return list.empty() ? QString() : list.back().second; }

    std::vector<std::pair<bool, QString>> list;
};

// The lines logged on the remote's category while it lives (from any thread).
class LogLines
{
public:
    LogLines()
    {
        s_self.store(this);
        m_previous = qInstallMessageHandler(&LogLines::handler);
    }
    ~LogLines()
    {
        qInstallMessageHandler(m_previous);
        s_self.store(nullptr);
    }
    QStringList containing(const QString& text)
    {
        std::lock_guard lock(m_mutex);
        return m_lines.filter(text);
    }

private:
    static void handler(QtMsgType, const QMessageLogContext& context, const QString& message)
    {
        LogLines* self = s_self.load();
        if (!self || !context.category || qstrcmp(context.category, "tessarin.remote") != 0)
            return;
        std::lock_guard lock(self->m_mutex);
        self->m_lines << message;
    }

    static inline std::atomic<LogLines*> s_self{nullptr};
    QtMessageHandler m_previous = nullptr;
    std::mutex m_mutex;
    QStringList m_lines;
};

int runTool(const QStringList& arguments)
{
    ChildProcess tool;
    if (!tool.start(QStringLiteral(TESSARIN_TOOL), arguments))
        return -1;
    // A player in this process answers on this thread's event loop while the tool waits.
    int code = -1;
    within(15000, [&] { return (code = tool.waitForExit(0)) >= 0; });
    return code;
}

} // namespace

TEST(FleetSettings, UrlsAndNames)
{
    QString host;
    int port = 0;
    bool tls = false;
    EXPECT_TRUE(FleetSettings::parseUrl("mqtt://broker.lan", &host, &port, &tls));
    EXPECT_EQ(host, "broker.lan");
    EXPECT_EQ(port, 1883);
    EXPECT_FALSE(tls);
    EXPECT_TRUE(FleetSettings::parseUrl("mqtts://10.0.0.5:9000", &host, &port, &tls));
    EXPECT_EQ(port, 9000);
    EXPECT_TRUE(tls);
    EXPECT_FALSE(FleetSettings::parseUrl("http://broker", &host, &port, &tls));
    EXPECT_FALSE(FleetSettings::parseUrl("", &host, &port, &tls));
    FakePlayer player;
    FleetClient client(player);
    QString error;
    FleetSettings bad;
    bad.url = "mqtt://127.0.0.1:1";
    bad.name = "all";
    EXPECT_FALSE(client.start(bad, &error));
    bad.name = "a/b";
    EXPECT_FALSE(client.start(bad, &error));
}

TEST(Fleet, TwoPlayersAnswerAllStatusIsRetainedAndTheWillSaysOffline)
{
    Broker broker;
    Observer observer(broker.port);
    FakePlayer a, b;
    FleetClient wallA(a), wallB(b);
    QString error;
    ASSERT_TRUE(wallA.start(settingsFor(broker, "lobby"), &error)) << error.toStdString();
    ASSERT_TRUE(wallB.start(settingsFor(broker, "hall"), &error)) << error.toStdString();
    ASSERT_TRUE(within(5000, [&] {
        return observer.last("tessarin/lobby/online") == "true" &&
               observer.last("tessarin/hall/online") == "true" &&
               observer.last("tessarin/hall/status").contains("playing");
    }));

    observer.send("tessarin/all/cmd", R"({"cmd": "stop"})");
    ASSERT_TRUE(within(5000, [&] { return a.state == "stopped" && b.state == "stopped"; }));
    EXPECT_TRUE(within(5000, [&] {
        return observer.last("tessarin/lobby/status").contains("stopped") &&
               observer.last("tessarin/hall/status").contains("stopped");
    }));
    observer.send("tessarin/hall/cmd", R"({"cmd": "item", "item": 3})");
    ASSERT_TRUE(within(5000, [&] { return b.item == 3; }));
    EXPECT_EQ(a.item, 0); // only the hall was asked

    // Malformed commands are ignored.
    QStringList refused;
    QObject::connect(&wallA, &FleetClient::commandHandled,
                     [&](const QString& what) { refused << what; });
    observer.send("tessarin/lobby/cmd", "not json");
    observer.send("tessarin/lobby/cmd", R"({"cmd": "explode"})");
    observer.send("tessarin/lobby/cmd", R"({"cmd": "item", "item": "x"})");
    ASSERT_TRUE(within(5000, [&] { return refused.size() == 3; }));
    for (const QString& what : refused)
        EXPECT_TRUE(what.startsWith("malformed")) << what.toStdString();
    EXPECT_EQ(a.state, "stopped");

    // A new listener gets the retained status at once.
    Observer late(broker.port);
    EXPECT_TRUE(
        within(3000, [&] { return late.last("tessarin/hall/status").contains("\"item\":3"); }));

    // A crash: the broker tells the last will.
    wallB.dropWithoutGoodbye();
    EXPECT_TRUE(within(5000, [&] { return observer.last("tessarin/hall/online") == "false"; }));
    // A clean stop says so itself.
    wallA.stop();
    EXPECT_TRUE(within(5000, [&] { return observer.last("tessarin/lobby/online") == "false"; }));
}

TEST(Fleet, PlayersReconnectAndPublishAgainWhenTheBrokerComesBack)
{
    Broker broker;
    FakePlayer a;
    FleetClient wall(a);
    QString error;
    ASSERT_TRUE(wall.start(settingsFor(broker, "gate"), &error));
    ASSERT_TRUE(within(5000, [&] { return wall.isConnected(); }));
    broker.stop();
    ASSERT_TRUE(within(5000, [&] { return !wall.isConnected(); }));
    ASSERT_TRUE(broker.start());
    // The broker keeps nothing (no persistence): what it shows now the player sent again.
    Observer observer(broker.port);
    EXPECT_TRUE(within(15000, [&] {
        return wall.isConnected() && observer.last("tessarin/gate/online") == "true" &&
               observer.last("tessarin/gate/status").contains("playing");
    }));
}

TEST(Fleet, TheToolListsEveryPlayersStatusAndSendsCommands)
{
    Broker broker;
    FakePlayer a;
    FleetClient wall(a);
    QString error;
    ASSERT_TRUE(wall.start(settingsFor(broker, "entrance"), &error));
    ASSERT_TRUE(within(5000, [&] { return wall.isConnected(); }));
    within(300, [] { return false; }); // the first status goes out
    ChildProcess tool;
    const QString program = QStringLiteral(TESSARIN_TOOL);
    ASSERT_TRUE(tool.start(program, {"fleet", "--broker", broker.url(), "status"}));
    // The player answers on this thread's event loop while the tool waits for it.
    int code = -1;
    ASSERT_TRUE(within(10000, [&] { return (code = tool.waitForExit(0)) >= 0; }));
    const QByteArray listed = tool.output();
    EXPECT_TRUE(listed.startsWith("entrance {")) << listed.toStdString();
    EXPECT_TRUE(listed.contains("\"state\":\"playing\""));

    ASSERT_TRUE(tool.start(program, {"fleet", "--broker", broker.url(), "send", "all", "pause"}));
    ASSERT_TRUE(within(10000, [&] { return (code = tool.waitForExit(0)) >= 0; }));
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(within(5000, [&] { return a.state == "paused"; }));
    ASSERT_TRUE(
        tool.start(program, {"fleet", "--broker", broker.url(), "send", "entrance", "item", "4"}));
    ASSERT_TRUE(within(10000, [&] { return (code = tool.waitForExit(0)) >= 0; }));
    EXPECT_TRUE(within(5000, [&] { return a.item == 4; }));

    ASSERT_TRUE(tool.start(program, {"fleet", "--broker", "mqtt://127.0.0.1:1", "status"}));
    EXPECT_EQ(tool.waitForExit(10000), 1); // no broker there
    ASSERT_TRUE(tool.start(program, {"fleet", "status"}));
    EXPECT_EQ(tool.waitForExit(10000), 2);
}

TEST(FleetText, PayloadsAreQuotedOnOneLine)
{
    EXPECT_EQ(quotedPayload(R"({"cmd": "stop"})"), R"({"cmd": "stop"})");
    EXPECT_EQ(quotedPayload("a\nfleet: forged line\r\t\\"), "a\\nfleet: forged line\\r\\t\\\\");
    EXPECT_EQ(quotedPayload(QByteArray("\x00\x1b[31m\x7f", 7)), "\\x00\\x1b[31m\\x7f");
    EXPECT_EQ(quotedPayload("\xe4\xbd\xa0\xff"), "\\xe4\\xbd\\xa0\\xff"); // UTF-8 or not
    const QByteArray quoted = quotedPayload(QByteArray(500, 'x'));
    EXPECT_EQ(quoted, QByteArray(120, 'x') + "...");
    EXPECT_EQ(quotedPayload(QByteArray(120, 'y')), QByteArray(120, 'y'));
}

TEST(FleetText, TheLogBudgetCountsWhatItLeavesOut)
{
    LogBudget budget(5, 10000);
    int written = 0;
    for (int i = 0; i < 100; ++i)
        written += budget.take(1000 + i) ? 1 : 0;
    EXPECT_EQ(written, 5);
    EXPECT_EQ(budget.takeLeftOut(5000), 0); // not before the window ends
    EXPECT_EQ(budget.takeLeftOut(11000), 95);
    EXPECT_EQ(budget.takeLeftOut(11001), 0);
    EXPECT_TRUE(budget.take(11002)); // a new window
}

TEST(FleetSettings, TheDefaultNameHasTheMachineId)
{
    EXPECT_EQ(FleetSettings::cleanName("lobby", "0123456789abcdef0123456789abcdef\n"),
              "lobby-01234567");
    EXPECT_EQ(FleetSettings::cleanName("my host/#+", "ABCDEF0123"), "my-host----abcdef01");
    EXPECT_EQ(FleetSettings::cleanName("wall", "uninitialized"), "wall");
    EXPECT_EQ(FleetSettings::cleanName("wall", ""), "wall");
    EXPECT_EQ(FleetSettings::cleanName("", "0123456789"), "player-01234567");
    const QString name = FleetSettings().playerName();
    EXPECT_FALSE(name.isEmpty());
    EXPECT_FALSE(name.contains('/') || name.contains('+') || name.contains('#'));
    if (QFile::exists("/etc/machine-id")) {
        EXPECT_TRUE(QRegularExpression("-[0-9a-f]{8}$").match(name).hasMatch())
            << name.toStdString();
    }
}

TEST(Fleet, TlsThatCannotBeSetUpIsAnErrorAndNothingGoesInClear)
{
    Broker broker;
    FakePlayer player;
    FleetClient client(player);
    Changes changes(client);
    QTemporaryDir dir;
    const auto connections = [&] { return broker.log().count("New connection"); };
    ASSERT_TRUE(within(3000, [&] { return connections() == 1; })); // the test's own, at start
    FleetSettings s = settingsFor(broker, "vault");
    // The plain port, asked for TLS: not one byte may go there in clear.
    s.url = QStringLiteral("mqtts://127.0.0.1:%1").arg(broker.port);
    s.caFile = dir.filePath("missing-ca.pem");
    QString error;
    EXPECT_FALSE(client.start(s, &error));
    EXPECT_TRUE(error.contains("missing-ca.pem") && error.contains("does not exist"))
        << error.toStdString();
    const TestCertificates& certificates = TestCertificates::get();
    ASSERT_TRUE(certificates.made);
    s.caFile = certificates.ca;
    s.certFile = certificates.ca; // without its key
    EXPECT_FALSE(client.start(s, &error));
    EXPECT_TRUE(error.contains("KeyFile")) << error.toStdString();
    s.keyFile = dir.filePath("missing.key");
    EXPECT_FALSE(client.start(s, &error));
    EXPECT_TRUE(error.contains("missing.key")) << error.toStdString();
    within(300, [] { return false; });
    EXPECT_FALSE(client.isConnected());
    // A connection of the test's own marks the log: what the client did came before it.
    QTcpSocket marker;
    marker.connectToHost(QHostAddress::LocalHost, broker.port);
    EXPECT_TRUE(marker.waitForConnected(1000));
    ASSERT_TRUE(within(3000, [&] { return connections() >= 2; }));
    EXPECT_EQ(connections(), 2) << broker.log().toStdString();
    EXPECT_TRUE(changes.list.empty());
}

TEST(Fleet, TlsWithAPrivateCaAndClientCertificatesAndRefusalsTold)
{
    BrokerOptions options;
    options.tls = true;
    options.requireCertificate = true;
    Broker broker(options);
    const TestCertificates& certificates = TestCertificates::get();
    ASSERT_TRUE(certificates.made);
    FleetSettings s = settingsFor(broker, "secure");
    s.url = broker.tlsUrl();
    s.caFile = certificates.ca;
    s.certFile = certificates.ca;
    s.keyFile = certificates.key;
    FakePlayer a, b, c;
    FleetClient good(a), noCertificate(b), wrongCa(c);
    Changes goodChanges(good), noCertificateChanges(noCertificate), wrongCaChanges(wrongCa);
    QString error;
    ASSERT_TRUE(good.start(s, &error)) << error.toStdString();
    s.name = "nocert";
    s.certFile.clear();
    s.keyFile.clear();
    ASSERT_TRUE(noCertificate.start(s, &error)) << error.toStdString();
    s.name = "wrongca";
    s.caFile = certificates.other;
    ASSERT_TRUE(wrongCa.start(s, &error)) << error.toStdString();
    EXPECT_TRUE(within(5000, [&] { return good.isConnected(); }));
    ASSERT_TRUE(within(5000, [&] {
        return noCertificateChanges.count(false) > 0 && wrongCaChanges.count(false) > 0;
    }));
    EXPECT_EQ(goodChanges.count(true), 1);
    EXPECT_TRUE(good.connectionError().isEmpty());
    EXPECT_TRUE(wrongCaChanges.lastMessage().contains("certificate verify failed"))
        << wrongCaChanges.lastMessage().toStdString();
    EXPECT_EQ(wrongCa.connectionError(), wrongCaChanges.lastMessage());
    EXPECT_TRUE(noCertificateChanges.lastMessage().contains("cannot connect"))
        << noCertificateChanges.lastMessage().toStdString();
    EXPECT_FALSE(noCertificate.isConnected());
    EXPECT_FALSE(wrongCa.isConnected());

    // The tool: the same certificates, or no connection and a failure.
    EXPECT_EQ(runTool({"fleet", "--broker", broker.tlsUrl(), "--ca", certificates.ca, "--cert",
                       certificates.ca, "--key", certificates.key, "send", "secure", "pause"}),
              0);
    EXPECT_TRUE(within(5000, [&] { return a.state == "paused"; }));
    EXPECT_EQ(runTool({"fleet", "--broker", broker.tlsUrl(), "--cert", certificates.ca, "--key",
                       certificates.key, "status"}),
              1); // the system's CAs did not sign the broker's certificate
    EXPECT_EQ(
        runTool({"fleet", "--broker", broker.tlsUrl(), "--ca", "/nonexistent/ca.pem", "status"}),
        1);
}

TEST(Fleet, AWrongPasswordIsToldOnceAndTheToolFails)
{
    BrokerOptions options;
    options.user = "wall";
    options.password = "secret";
    Broker broker(options);
    FakePlayer a, b;
    FleetClient wrong(a), right(b);
    Changes changes(wrong);
    FleetSettings s = settingsFor(broker, "locked");
    s.user = "wall";
    s.password = "guess";
    QString error;
    ASSERT_TRUE(wrong.start(s, &error));
    s.name = "open";
    s.password = "secret";
    ASSERT_TRUE(right.start(s, &error));
    ASSERT_TRUE(within(5000, [&] { return !changes.list.empty(); }));
    const QString message = changes.lastMessage();
    EXPECT_FALSE(changes.list.front().first);
    EXPECT_TRUE(message.contains("refused") && (message.contains("authori", Qt::CaseInsensitive) ||
                                                message.contains("password", Qt::CaseInsensitive)))
        << message.toStdString();
    EXPECT_EQ(wrong.connectionError(), message);
    EXPECT_TRUE(within(5000, [&] { return right.isConnected(); }));
    within(2500, [] { return false; }); // retried twice meanwhile, and not told again
    EXPECT_EQ(changes.list.size(), 1u);
    EXPECT_FALSE(wrong.isConnected());

    const QString url = broker.url();
    EXPECT_EQ(runTool({"fleet", "--broker", url, "--user", "wall", "--password", "guess", "send",
                       "open", "stop"}),
              1);
    EXPECT_EQ(
        runTool({"fleet", "--broker", url, "--user", "wall", "--password", "guess", "status"}), 1);
    EXPECT_EQ(runTool({"fleet", "--broker", url, "--user", "wall", "--password", "secret", "send",
                       "open", "stop"}),
              0);
    EXPECT_TRUE(within(5000, [&] { return b.state == "stopped"; }));
}

TEST(Fleet, TheToolFailsWithoutABrokerAndRefusesBadItems)
{
    EXPECT_EQ(runTool({"fleet", "--broker", "mqtt://127.0.0.1:1", "send", "all", "stop"}), 1);
    EXPECT_EQ(runTool({"fleet", "--broker", "mqtt://127.0.0.1:1", "send", "all", "item", "2.5"}),
              2);
    EXPECT_EQ(runTool({"fleet", "--broker", "mqtt://127.0.0.1:1", "send", "all", "item", "-1"}), 2);
}

TEST(Fleet, RetainedCommandsAreIgnoredLiveOnesObeyed)
{
    Broker broker;
    Observer observer(broker.port);
    observer.send("tessarin/all/cmd", R"({"cmd": "stop"})", true);
    observer.send("tessarin/porch/cmd", R"({"cmd": "item", "item": 2})", true);
    within(200, [] { return false; });
    LogLines log; // outlives the client's network thread, which logs too
    FakePlayer player;
    FleetClient wall(player);
    QStringList handled;
    QObject::connect(&wall, &FleetClient::commandHandled,
                     [&](const QString& what) { handled << what; });
    QString error;
    ASSERT_TRUE(wall.start(settingsFor(broker, "porch"), &error));
    ASSERT_TRUE(within(5000, [&] { return handled.size() == 2; }));
    EXPECT_EQ(handled, QStringList({"ignored: retained", "ignored: retained"}));
    EXPECT_EQ(player.state, "playing");
    EXPECT_EQ(player.item, 0);
    // At the next connection the broker sends them again, and again they do nothing.
    wall.dropWithoutGoodbye();
    ASSERT_TRUE(wall.start(settingsFor(broker, "porch"), &error));
    ASSERT_TRUE(within(5000, [&] { return handled.size() == 4; }));
    EXPECT_EQ(player.state, "playing");
    EXPECT_EQ(log.containing("retained command").size(), 2); // once for each topic
    observer.send("tessarin/all/cmd", R"({"cmd": "stop"})");
    EXPECT_TRUE(within(5000, [&] { return player.state == "stopped"; }));
    observer.send("tessarin/all/cmd", "", true); // cleared for the broker's later clients
}

TEST(Fleet, TwoPlayersOfOneNameDoNotFightForTheConnection)
{
    Broker broker;
    FakePlayer a, b;
    FleetClient first(a), second(b);
    Changes firstChanges(first), secondChanges(second);
    QString error;
    ASSERT_TRUE(first.start(settingsFor(broker, "twin"), &error));
    ASSERT_TRUE(within(5000, [&] { return first.isConnected(); }));
    ASSERT_TRUE(second.start(settingsFor(broker, "twin"), &error));
    // One is pushed off; coming back it finds the other's claim, says so and stays off. Which
    // one yields depends on whose claim the broker delivered first (usually the first player).
    const QString yielded = QStringLiteral("another player named twin took over");
    const auto settled = [&] {
        return (firstChanges.lastMessage().contains(yielded) && second.isConnected()) ||
               (secondChanges.lastMessage().contains(yielded) && first.isConnected());
    };
    ASSERT_TRUE(within(5000, settled)) << firstChanges.lastMessage().toStdString() << " / "
                                       << secondChanges.lastMessage().toStdString();
    const bool firstYielded = firstChanges.lastMessage().contains(yielded);
    FleetClient& stayed = firstYielded ? second : first;
    FleetClient& gone = firstYielded ? first : second;
    EXPECT_EQ(gone.connectionError(), (firstYielded ? firstChanges : secondChanges).lastMessage());
    // The yielder's last reconnection may have pushed the other off once more, and the other may
    // not have noticed yet when it was asked; it comes back, and then nobody connects again.
    const auto count = [&] { return broker.log().count("New client connected"); };
    qsizetype connections = count();
    QElapsedTimer sinceChange;
    sinceChange.start();
    ASSERT_TRUE(within(10000, [&] {
        if (const qsizetype now = count(); now != connections) {
            connections = now;
            sinceChange.restart();
        }
        return stayed.isConnected() && sinceChange.elapsed() > 1000;
    })) << broker.log().toStdString();
    within(2500, [] { return false; });
    EXPECT_EQ(broker.log().count("New client connected"), connections)
        << broker.log().toStdString();
    // A few rounds until the claims settle (more on a loaded machine), never an endless fight.
    EXPECT_LE(connections, 10);
    EXPECT_TRUE(stayed.isConnected());
    EXPECT_FALSE(gone.isConnected());
}

TEST(Fleet, AFloodOfMalformedMessagesIsAFewLogLines)
{
    Broker broker;
    Observer observer(broker.port);
    LogLines log; // outlives the client's network thread, which logs too
    FakePlayer player;
    FleetClient wall(player);
    wall.setLogWindow(1000);
    int refused = 0;
    QObject::connect(&wall, &FleetClient::commandHandled,
                     [&](const QString& what) { refused += what.startsWith("malformed") ? 1 : 0; });
    QString error;
    ASSERT_TRUE(wall.start(settingsFor(broker, "flood"), &error));
    ASSERT_TRUE(within(5000, [&] { return wall.isConnected(); }));
    for (int i = 0; i < 200; ++i)
        observer.send("tessarin/flood/cmd", "junk\nfleet: connected to the broker\x1b[0m");
    ASSERT_TRUE(within(10000, [&] { return refused == 200; }));
    const QStringList lines = log.containing("fleet command ignored");
    EXPECT_EQ(lines.size(), FleetClient::kMalformedLines);
    for (const QString& line : lines) {
        EXPECT_FALSE(line.contains('\n') || line.contains(QChar(0x1b))) << line.toStdString();
        EXPECT_TRUE(line.contains("junk\\nfleet: connected to the broker\\x1b[0m"))
            << line.toStdString();
    }
    ASSERT_TRUE(
        within(3000, [&] { return !log.containing("more malformed fleet messages").isEmpty(); }));
    EXPECT_EQ(log.containing("more malformed fleet messages"),
              QStringList{"195 more malformed fleet messages ignored"});
}

TEST(Fleet, OnlyWholeItemNumbersInRange)
{
    Broker broker;
    Observer observer(broker.port);
    FakePlayer player;
    player.item = 1;
    FleetClient wall(player);
    QStringList handled;
    QObject::connect(&wall, &FleetClient::commandHandled,
                     [&](const QString& what) { handled << what; });
    QString error;
    ASSERT_TRUE(wall.start(settingsFor(broker, "numbers"), &error));
    ASSERT_TRUE(within(5000, [&] { return wall.isConnected(); }));
    for (const char* bad :
         {R"({"cmd":"item","item":2.5})", R"({"cmd":"item","item":1e300})",
          R"({"cmd":"item","item":-1})", R"({"cmd":"item","item":"3"})", R"({"cmd":"item"})"})
        observer.send("tessarin/numbers/cmd", bad);
    observer.send("tessarin/numbers/cmd", R"({"cmd":"item","item":3})");
    ASSERT_TRUE(within(5000, [&] { return handled.size() == 6; }));
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(handled[i], "malformed: not a whole number in range");
    EXPECT_EQ(handled[5], "item");
    EXPECT_EQ(player.item, 3);
}
