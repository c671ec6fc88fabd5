#include "remote/FleetClient.h"
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
    int addFile(const QString&) override { return -1; }
    bool deleteItem(int) override { return false; }
    bool moveItem(int, int) override { return false; }
    bool openProject(const QString& path, QString* error) override
    {
        *error = path + ": no such file";
        return false;
    }
    bool saveProject(QString*) override { return false; }
    QImage ledPicture() const override { return {}; }

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
