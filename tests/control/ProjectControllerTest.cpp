#include "control/ProjectController.h"
#include "base/Notifications.h"
#include "base/SafeFile.h"
#include "base/SettingsStore.h"
#include "control/ManualKeys.h"
#include "control/PlaylistModel.h"
#include "control/RemoteBridge.h"
#include "model/CAct.h"
#include "model/CPropBase.h"
#include "model/CPropText.h"
#include "model/HeadlessSectionHost.h"
#include "model/ItemKinds.h"
#include "model/ItemSettings.h"
#include "model/ProjectFile.h"
#include "remote/FleetClient.h"
#include "remote/RemoteServer.h"
#include "remote/RemoteSettings.h"
#include "render/DesktopImage.h"
#include "support/MqttBroker.h"
#include "support/TestSettings.h"
#include "support/VirtualClock.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QEventLoop>
#include <QImage>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QTimer>

#include <gtest/gtest.h>

#include <cmath>
#include <mutex>
#include <shared_mutex>
#include <thread>

using namespace std::chrono_literals;

namespace {

// An item that shows one page and holds until it is stopped, passing the pause gate as real
// players do: the state a command leaves can be read at leisure.
class HoldItem final : public CPropBase
{
public:
    static constexpr char kClass[] = "CTestHold";
    const char* className() const override { return kClass; }
    std::unique_ptr<CPropBase> clone() const override { return std::make_unique<HoldItem>(*this); }
};

std::atomic<int> g_holdStarts{0};

void playHold(const CPropBase& item, CAct& area)
{
    g_holdStarts.fetch_add(1);
    area.reportShown(item, QJsonObject{{"page", 1}});
    while (!area.PassPauseGate() && !area.stopRequested())
        std::this_thread::sleep_for(1ms);
}

std::unique_ptr<CPropBase> makeHold()
{
    return std::make_unique<HoldItem>();
}

// An item that tells the position of a frame every millisecond, as a video does, 40 ms of
// presentation time (and 1,234 us besides) further each time, until it is stopped.
class FramesItem final : public CPropBase
{
public:
    static constexpr char kClass[] = "CTestFrames";
    const char* className() const override { return kClass; }
    std::unique_ptr<CPropBase> clone() const override
    {
        return std::make_unique<FramesItem>(*this);
    }
};

void playFrames(const CPropBase& item, CAct& area)
{
    for (qint64 us = 1234; !area.PassPauseGate() && !area.stopRequested(); us += 40'000) {
        area.reportPosition(item, us);
        std::this_thread::sleep_for(1ms);
    }
}

std::unique_ptr<CPropBase> makeFrames()
{
    return std::make_unique<FramesItem>();
}

void registerHold()
{
    static const bool added =
        ItemKinds::add({HoldItem::kClass, {"HOLD"}, {}, &makeHold, &playHold, {}}) &&
        ItemKinds::add({FramesItem::kClass, {"FRAMES"}, {}, &makeFrames, &playFrames, {}});
    (void)added;
}

class ProjectControllerTest : public testing::Test
{
protected:
    void SetUp() override
    {
        TestSettings::clear();
        registerHold();
        controller.area().setClock(clock);
        ASSERT_TRUE(controller.newProject());
        for (int i = 0; i < 4; ++i)
            controller.appendItem(makeHold());
    }
    void TearDown() override { controller.stop(); }

    // The state and the line that plays, as a status answer says it.
    QString state() const { return bridge.status().value("state").toString(); }
    int item() const { return bridge.status().value("item").toInt(-1); }

    VirtualClock clock;
    HeadlessSectionHost host;
    ProjectController controller{&host};
    RemoteBridge bridge{controller};
};

// How a command reaches the controller: straight, over HTTP from the remote server, or from
// the fleet's broker.
class Source
{
public:
    virtual ~Source() = default;
    virtual bool send(const QString& command, int item = -1) = 0;
};

class BridgeSource final : public Source
{
public:
    explicit BridgeSource(RemoteBridge& bridge) : m_bridge(bridge) {}
    bool send(const QString& command, int item) override
    {
        return item >= 0 ? m_bridge.playItem(item) : m_bridge.command(command);
    }

private:
    RemoteBridge& m_bridge;
};

// The real server over the real bridge: a request and its answer.
class Api
{
public:
    explicit Api(RemoteBridge& bridge) : m_server(bridge)
    {
        RemoteSettings settings;
        settings.enabled = true;
        settings.address = QStringLiteral("127.0.0.1");
        settings.port = 0;
        settings.token = QStringLiteral("t0ken");
        settings.mediaDir = m_dir.filePath("media");
        QString error;
        EXPECT_TRUE(m_server.start(settings, &error)) << error.toStdString();
    }
    // The status code; the answer's JSON in `answer`.
    int send(const QByteArray& method, const QString& path, QJsonDocument* answer = nullptr)
    {
        QNetworkRequest request(
            QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(m_server.port()).arg(path)));
        request.setRawHeader("Authorization", "Bearer t0ken");
        QNetworkReply* reply = m_network.sendCustomRequest(request, method);
        QEventLoop loop;
        QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        QTimer::singleShot(5000, &loop, &QEventLoop::quit);
        loop.exec();
        if (answer)
            *answer = QJsonDocument::fromJson(reply->readAll());
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        reply->deleteLater();
        return status;
    }

private:
    QTemporaryDir m_dir;
    RemoteServer m_server;
    QNetworkAccessManager m_network;
};

class HttpSource final : public Source
{
public:
    explicit HttpSource(RemoteBridge& bridge) : m_api(bridge) {}
    bool send(const QString& command, int item) override
    {
        return m_api.send("POST", item >= 0 ? QStringLiteral("/api/items/%1/play").arg(item)
                                            : QStringLiteral("/api/") + command) == 200;
    }

private:
    Api m_api;
};

class FleetSource final : public Source
{
public:
    explicit FleetSource(RemoteBridge& bridge) : m_client(bridge), m_observer(m_broker.port)
    {
        FleetSettings settings;
        settings.url = m_broker.url();
        settings.name = QStringLiteral("wall");
        QString error;
        EXPECT_TRUE(m_client.start(settings, &error)) << error.toStdString();
        // Its status out means its subscriptions are in: the broker takes them in order.
        EXPECT_TRUE(within(10000, [this] {
            return !m_observer.last(QStringLiteral("tessarin/wall/status")).isEmpty();
        }));
        QObject::connect(&m_client, &FleetClient::commandHandled,
                         [this](const QString& what) { m_handled << what; });
        // The remote status tells the broker connection.
        bridge.setFleet(&m_client);
        const QJsonObject fleet = bridge.status().value("fleet").toObject();
        EXPECT_TRUE(fleet.value("connected").toBool());
        EXPECT_EQ(fleet.value("error").toString(), "");
    }
    ~FleetSource() override { m_client.stop(); }
    bool send(const QString& command, int item) override
    {
        const QJsonObject message = item >= 0 ? QJsonObject{{"cmd", "item"}, {"item", item}}
                                              : QJsonObject{{"cmd", command}};
        m_handled.clear();
        m_observer.send("tessarin/wall/cmd", QJsonDocument(message).toJson());
        return within(5000, [this] { return !m_handled.isEmpty(); }) &&
               !m_handled.first().startsWith("malformed");
    }

private:
    Broker m_broker;
    FleetClient m_client;
    Observer m_observer;
    QStringList m_handled;
};

enum class Via
{
    Bridge,
    Http,
    Fleet,
};

class EveryCommandFromEverySource : public ProjectControllerTest,
                                    public testing::WithParamInterface<Via>
{
protected:
    std::unique_ptr<Source> source()
    {
        switch (GetParam()) {
        case Via::Bridge:
            return std::make_unique<BridgeSource>(bridge);
        case Via::Http:
            return std::make_unique<HttpSource>(bridge);
        case Via::Fleet:
            return std::make_unique<FleetSource>(bridge);
        }
        return nullptr;
    }
};

} // namespace

TEST_P(EveryCommandFromEverySource, LeavesTheSameState)
{
    const std::unique_ptr<Source> via = source();
    struct Step
    {
        const char* command;
        int item;
        const char* state;
        int playing;
    } const steps[] = {
        {"play", -1, "playing", 0},    // a stopped wall starts from the first item
        {"next", -1, "playing", 1},    //
        {"pause", -1, "paused", 1},    //
        {"play", -1, "playing", 1},    // play resumes a paused wall where it was
        {"play", -1, "playing", 1},    // and leaves a playing one alone
        {"restart", -1, "playing", 0}, // restart is from the first item
        {"item", 2, "playing", 2},     //
        {"previous", -1, "playing", 1}, {"last", -1, "playing", 3},  //
        {"next", -1, "playing", 0},                                  // the last's next is the first
        {"previous", -1, "playing", 3}, {"first", -1, "playing", 0}, //
        {"pause", -1, "paused", 0},                                  //
        {"resume", -1, "playing", 0},                                //
        {"stop", -1, "stopped", -1},                                 //
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(std::string(step.command) + " " + std::to_string(step.item));
        ASSERT_TRUE(via->send(QString::fromLatin1(step.command), step.item));
        EXPECT_EQ(state(), step.state);
        EXPECT_EQ(controller.playingIndex(), step.playing);
        if (step.playing >= 0) {
            EXPECT_EQ(item(), step.playing);
        }
    }
    // Unknown items and commands change nothing.
    EXPECT_FALSE(via->send(QStringLiteral("item"), 9));
    EXPECT_EQ(state(), "stopped");
}

INSTANTIATE_TEST_SUITE_P(Sources, EveryCommandFromEverySource,
                         testing::Values(Via::Bridge, Via::Http, Via::Fleet),
                         [](const testing::TestParamInfo<Via>& info) {
                             return info.param == Via::Bridge ? "Bridge"
                                    : info.param == Via::Http ? "Http"
                                                              : "Fleet";
                         });

TEST_F(ProjectControllerTest, TheToolbarsPlayResumesOrStartsFromTheFirstItem)
{
    ASSERT_TRUE(controller.playItem(2));
    controller.pause();
    EXPECT_EQ(controller.playState(), ProjectController::PlayState::Paused);
    EXPECT_TRUE(controller.play());
    EXPECT_EQ(controller.playState(), ProjectController::PlayState::Playing);
    EXPECT_EQ(controller.playingIndex(), 2);
    EXPECT_TRUE(controller.play()); // playing: from the top again
    EXPECT_EQ(controller.playingIndex(), 0);
}

// Draws one colour into every section's picture, as a player would.
void paintSections(CAct& area, QRgb color)
{
    std::shared_lock lock(area.sectionsMutex());
    for (const auto& section : area.sections()) {
        std::lock_guard sectionLock(section->renderChild->sectionMutex);
        QImage* buffer = section->renderChild->GetBackBuffer();
        ASSERT_NE(buffer, nullptr);
        buffer->fill(color);
        section->renderChild->Present();
    }
}

// Whether every section's picture is all of one colour.
bool sectionsAre(CAct& area, QRgb color)
{
    std::shared_lock lock(area.sectionsMutex());
    for (const auto& section : area.sections()) {
        std::lock_guard sectionLock(section->renderChild->sectionMutex);
        QImage* buffer = section->renderChild->GetBackBuffer();
        if (!buffer || buffer->isNull())
            return false;
        for (int y = 0; y < buffer->height(); ++y)
            for (int x = 0; x < buffer->width(); ++x)
                if ((buffer->pixel(x, y) & 0xffffff) != (color & 0xffffff))
                    return false;
    }
    return true;
}

TEST_F(ProjectControllerTest, StopLeavesTheLastPictureUnlessBlankOnStopIsSet)
{
    CAct& area = controller.area();
    area.ClearSections();
    area.AddSection(0, 240, 0);
    area.AddSection(1, 240, 0);
    area.LayoutSections();
    ASSERT_EQ(area.sections().size(), 2u);
    const QRgb red = qRgb(255, 0, 0);

    // Off (the default): the last picture stays.
    ASSERT_TRUE(controller.play());
    paintSections(area, red);
    ASSERT_TRUE(controller.stop());
    EXPECT_TRUE(sectionsAre(area, red));

    // On: every section is black after the stop.
    ASSERT_TRUE(SettingsStore::writeInt("Tessarin", "BlankOnStop", 1));
    ASSERT_TRUE(controller.play());
    paintSections(area, red);
    const quint64 presented = area.sections()[1]->renderChild->presentCount();
    ASSERT_TRUE(controller.stop());
    EXPECT_TRUE(sectionsAre(area, qRgb(0, 0, 0)));
    EXPECT_GT(area.sections()[1]->renderChild->presentCount(), presented); // the windows are told

    // Off again.
    ASSERT_TRUE(SettingsStore::writeInt("Tessarin", "BlankOnStop", 0));
    ASSERT_TRUE(controller.play());
    paintSections(area, red);
    ASSERT_TRUE(controller.stop());
    EXPECT_TRUE(sectionsAre(area, red));
}

TEST_F(ProjectControllerTest, ManualKeysMoveOnlyWhenPlayingManually)
{
    ManualKeys keys(controller);
    ASSERT_TRUE(controller.play());
    keys.press(Qt::Key_2);
    keys.press(Qt::Key_2);
    EXPECT_EQ(controller.playingIndex(), 0); // manual play is off
    controller.area().changeSettings([&](AreaSettings& s) { s.manualPlay = 1; });
    const struct
    {
        int key;
        int expected;
    } presses[] = {{Qt::Key_1, 3}, {Qt::Key_2, 0}, {Qt::Key_4, 3}, {Qt::Key_3, 0}};
    for (const auto& p : presses) {
        keys.press(p.key);
        EXPECT_TRUE(keys.pending());
        keys.press(p.key);
        EXPECT_EQ(controller.playingIndex(), p.expected) << p.key;
    }
    keys.press(Qt::Key_2);
    keys.press(Qt::Key_3); // another digit cancels
    EXPECT_FALSE(keys.pending());
    EXPECT_EQ(controller.playingIndex(), 0);
    keys.press(Qt::Key_2, true); // the keypad's digits are other keys
    EXPECT_FALSE(keys.pending());
}

TEST_F(ProjectControllerTest, ThePlaylistModelIsTheAreasListAndMarksThePlayingRow)
{
    PlaylistModel& model = controller.playlist();
    EXPECT_EQ(model.rowCount(), 4);
    QSignalSpy moved(&model, &QAbstractItemModel::rowsMoved);
    controller.area().item(3)->filePath = QStringLiteral("/media/last.hold");
    ASSERT_TRUE(controller.moveItem(3, 0));
    EXPECT_EQ(moved.count(), 1);
    EXPECT_EQ(model.index(0).data().toString(), "last.hold");
    EXPECT_EQ(model.index(0).data(PlaylistModel::ClassNameRole).toString(), HoldItem::kClass);
    ASSERT_TRUE(controller.moveItem(0, 3));
    EXPECT_EQ(model.index(3).data().toString(), "last.hold");

    ASSERT_TRUE(controller.playItem(1));
    EXPECT_TRUE(model.index(1).data(PlaylistModel::PlayingRole).toBool());
    EXPECT_FALSE(model.index(0).data(PlaylistModel::PlayingRole).toBool());
    ASSERT_TRUE(controller.removeItem(1));
    EXPECT_EQ(model.rowCount(), 3);
    EXPECT_EQ(controller.playState(), ProjectController::PlayState::Playing);
    EXPECT_EQ(model.playingRow(), 1); // the item after the removed one
    controller.stop();
    EXPECT_FALSE(controller.removeItem(7));
    EXPECT_FALSE(controller.moveItem(0, 7));
    EXPECT_EQ(controller.addFile(QStringLiteral("/media/song.mp3")), -1);
    EXPECT_EQ(model.rowCount(), 3);
    EXPECT_TRUE(controller.isModified());
}

TEST_F(ProjectControllerTest, AFileThatDoesNotOpenLeavesTheProjectAsItWas)
{
    QTemporaryDir dir;
    const QString broken = dir.filePath("broken.zpm");
    QFile file(broken);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("not a project");
    file.close();
    ASSERT_TRUE(controller.play());
    QString error;
    EXPECT_FALSE(controller.openProject(broken, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(controller.openProject(dir.filePath("none.zpm"), &error));
    EXPECT_EQ(controller.itemCount(), 4);
    EXPECT_EQ(controller.playState(), ProjectController::PlayState::Playing);

    // A real project cut short: said in words, and the project and its LED stay.
    const int width = controller.area().settings().ledWidth;
    const QString whole = dir.filePath("whole.zpm");
    controller.stop();
    ASSERT_TRUE(controller.saveProject(whole, &error)) << error.toStdString();
    QFile cut(whole);
    ASSERT_TRUE(cut.open(QIODevice::ReadWrite));
    cut.resize(cut.size() - 7);
    cut.close();
    ASSERT_TRUE(controller.play());
    EXPECT_FALSE(controller.openProject(whole, &error));
    EXPECT_TRUE(error.contains("is damaged or not a whole project")) << error.toStdString();
    EXPECT_EQ(controller.itemCount(), 4);
    EXPECT_EQ(controller.area().settings().ledWidth, width);
    EXPECT_EQ(controller.playState(), ProjectController::PlayState::Playing);

    // Saved and opened again: the same project, its path kept, nothing modified.
    controller.stop();
    const QString path = dir.filePath("p.zpm");
    ASSERT_TRUE(controller.saveProject(path, &error)) << error.toStdString();
    EXPECT_FALSE(controller.isModified());
    QSignalSpy replaced(&controller, &ProjectController::projectReplaced);
    ASSERT_TRUE(controller.openProject(path, &error)) << error.toStdString();
    EXPECT_EQ(replaced.count(), 1);
    EXPECT_EQ(controller.itemCount(), 4);
    EXPECT_EQ(controller.playlist().rowCount(), 4);
    EXPECT_EQ(controller.projectPath(), path);
}

TEST_F(ProjectControllerTest, AStopThatTakesLongerIsToldAndChangesWaitForIt)
{
    // A player stuck in one step (a long decode): the command returns at once instead.
    static std::atomic<bool> release{false};
    static const bool added = ItemKinds::add({"CTestStuck",
                                              {"STUCK"},
                                              {},
                                              &makeHold,
                                              [](const CPropBase&, CAct&) {
                                                  while (!release.load())
                                                      std::this_thread::sleep_for(1ms);
                                              },
                                              {}});
    ASSERT_TRUE(added);
    struct Stuck final : CPropBase
    {
        const char* className() const override { return "CTestStuck"; }
        std::unique_ptr<CPropBase> clone() const override { return std::make_unique<Stuck>(); }
    };
    controller.appendItem(std::make_unique<Stuck>());
    QSignalSpy messages(&controller, &ProjectController::message);
    ASSERT_TRUE(controller.playItem(4));
    std::this_thread::sleep_for(50ms); // into the player's step
    EXPECT_FALSE(controller.stop());
    EXPECT_EQ(messages.count(), 1);
    QString error;
    EXPECT_FALSE(controller.removeItem(0, &error)); // refused, not blocked
    EXPECT_EQ(controller.itemCount(), 5);
    EXPECT_FALSE(controller.playItem(0));
    release.store(true);
    EXPECT_TRUE(within(5000, [this] { return controller.stop(); }));
    EXPECT_TRUE(controller.removeItem(4));
    release.store(false);
}

TEST_F(ProjectControllerTest, StatusTellsThePageThePlayingItemShows)
{
    EXPECT_EQ(state(), "stopped");
    ASSERT_TRUE(controller.playItem(1));
    EXPECT_TRUE(within(2000, [this] { return bridge.status().value("page").toInt() == 1; }));
    controller.stop();
    EXPECT_TRUE(bridge.status().value("item").isNull());
    ProjectController empty(&host);
    ASSERT_TRUE(empty.newProject());
    EXPECT_EQ(RemoteBridge(empty).status().value("state").toString(), "idle");
}

TEST_F(ProjectControllerTest, StatusTellsThePositionOfTheFrameTheVideoItemShows)
{
    const auto position = [this] { return bridge.status().value("position"); };
    EXPECT_TRUE(position().isNull()) << "stopped";
    ASSERT_TRUE(controller.playItem(1));
    EXPECT_TRUE(within(2000, [this] { return bridge.status().value("page").toInt() == 1; }));
    EXPECT_TRUE(position().isNull()) << "an item that is no video";

    const int frames = controller.appendItem(std::make_unique<FramesItem>());
    ASSERT_TRUE(controller.playItem(frames));
    EXPECT_TRUE(within(2000, [&] { return position().toDouble() > 0.5; }));
    const double first = position().toDouble();
    EXPECT_TRUE(within(2000, [&] { return position().toDouble() > first + 0.5; }))
        << "the position does not advance from " << first;
    // Seconds with two decimals: 1,234 us past a whole number of frames is 0.00 s more.
    const double at = position().toDouble();
    EXPECT_DOUBLE_EQ(at * 100, std::round(at * 100)) << at;
    EXPECT_NEAR(at * 25, std::round(at * 25), 1e-9) << at;

    // Another item plays: the position was the video's, it is told no more.
    ASSERT_TRUE(controller.playItem(0));
    EXPECT_TRUE(position().isNull()) << "after the video item";
    ASSERT_TRUE(controller.playItem(frames));
    EXPECT_TRUE(within(2000, [&] { return position().isDouble(); }));
    controller.stop();
    EXPECT_TRUE(position().isNull()) << "stopped";
}

TEST_F(ProjectControllerTest, MovingItemsWhilePlayingKeepsThePlayingItemMarked)
{
    for (int i = 0; i < 4; ++i)
        controller.area().item(i)->filePath = QStringLiteral("/media/%1.hold").arg(i);
    ASSERT_TRUE(controller.playItem(1));
    const auto playingFile = [this] { return bridge.status().value("file").toString(); };
    ASSERT_TRUE(controller.moveItem(2, 0)); // before it: it moves down a line
    EXPECT_EQ(controller.playingIndex(), 2);
    EXPECT_EQ(playingFile(), "/media/1.hold");
    EXPECT_TRUE(controller.playlist().index(2).data(PlaylistModel::PlayingRole).toBool());
    ASSERT_TRUE(controller.moveItem(2, 3)); // the playing item itself
    EXPECT_EQ(controller.playingIndex(), 3);
    EXPECT_EQ(playingFile(), "/media/1.hold");
    ASSERT_TRUE(controller.moveItem(0, 1)); // after it: it stays
    EXPECT_EQ(controller.playingIndex(), 3);
    EXPECT_EQ(playingFile(), "/media/1.hold");
    // Next goes on from where the item stands now: the last line's next is the first.
    ASSERT_TRUE(controller.next());
    EXPECT_EQ(controller.playingIndex(), 0);
}

namespace {

// A test folder with the remote's media and projects folders in the settings store, and a
// folder beside them that the network may not reach.
class RemoteFiles
{
public:
    RemoteFiles()
    {
        QDir(m_dir.path()).mkpath("media");
        QDir(m_dir.path()).mkpath("projects");
        QDir(m_dir.path()).mkpath("elsewhere");
        SettingsStore::writeString("Remote", "MediaDir", media(""));
        SettingsStore::writeString("Remote", "ProjectsDir", m_dir.filePath("projects"));
    }
    QString media(const QString& name) const { return m_dir.filePath("media/" + name); }
    QString projects(const QString& name) const { return m_dir.filePath("projects/" + name); }
    QString elsewhere(const QString& name) const { return m_dir.filePath("elsewhere/" + name); }
    // A file with a few bytes in it.
    static QString made(const QString& path)
    {
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("x");
        return path;
    }

private:
    QTemporaryDir m_dir;
};

std::unique_ptr<CPropBase> holdFor(const QString& file, const QString& background = {})
{
    auto item = std::make_unique<HoldItem>();
    item->filePath = file;
    item->backImagePath = background;
    return item;
}

} // namespace

TEST_F(ProjectControllerTest, FilesOfZerosAreNoProjectAndTheProjectStays)
{
    QTemporaryDir dir;
    const QString zeros = dir.filePath("zeros.zpm");
    ASSERT_EQ(SafeFile::write(zeros, QByteArray(100, '\0')), SafeFile::Error::None);
    const QString huge = dir.filePath("huge.zpm");
    QFile file(huge);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.resize(250LL * 1024 * 1024)); // sparse
    file.close();
    ASSERT_TRUE(controller.playItem(2));
    for (const QString& path : {zeros, huge}) {
        QString error;
        EXPECT_FALSE(controller.openProject(path, &error)) << path.toStdString();
        EXPECT_TRUE(error.contains(path)) << error.toStdString();
        EXPECT_FALSE(bridge.openProject(path, &error));
    }
    EXPECT_EQ(controller.itemCount(), 4);
    EXPECT_EQ(controller.playingIndex(), 2);
    EXPECT_EQ(controller.playState(), ProjectController::PlayState::Playing);
}

TEST_F(ProjectControllerTest, TheNetworkOpensOnlyProjectsThatStayInTheAllowedFolders)
{
    RemoteFiles files;
    QString error;
    const QString good = files.projects("good.zpm");
    controller.appendItem(holdFor(RemoteFiles::made(files.media("a.hold"))));
    ASSERT_TRUE(controller.saveProject(good, &error)) << error.toStdString();

    // An item's file, or a background picture, outside them; the project file itself outside.
    const QString outside = RemoteFiles::made(files.elsewhere("secret.hold"));
    const QString byFile = files.projects("by-file.zpm");
    const QString byBackground = files.projects("by-background.zpm");
    controller.appendItem(holdFor(QStringLiteral("/etc/passwd")));
    ASSERT_TRUE(controller.saveProject(byFile, &error));
    ASSERT_TRUE(controller.removeItem(5));
    controller.appendItem(holdFor(files.media("a.hold"), outside));
    ASSERT_TRUE(controller.saveProject(byBackground, &error));
    const QString elsewhere = files.elsewhere("p.zpm");
    ASSERT_TRUE(QFile::copy(good, elsewhere));
    ASSERT_TRUE(controller.newProject());

    EXPECT_FALSE(bridge.openProject(byFile, &error));
    EXPECT_EQ(error, byFile + ": /etc/passwd is outside the media and projects folders");
    EXPECT_FALSE(bridge.openProject(byBackground, &error));
    EXPECT_TRUE(error.endsWith(outside + " is outside the media and projects folders"))
        << error.toStdString();
    EXPECT_FALSE(bridge.openProject(elsewhere, &error));
    EXPECT_EQ(error, elsewhere + " is outside the media and projects folders");
    EXPECT_EQ(controller.itemCount(), 0); // nothing of them came in

    ASSERT_TRUE(bridge.openProject(good, &error)) << error.toStdString();
    EXPECT_EQ(controller.itemCount(), 5);
    // The operator opens what he likes.
    ASSERT_TRUE(controller.openProject(byFile, &error)) << error.toStdString();
    EXPECT_EQ(controller.itemCount(), 6);
    ASSERT_TRUE(controller.openProject(elsewhere, &error)) << error.toStdString();
}

TEST_F(ProjectControllerTest, ARemoteOpenPlaysOnWhenTheWallPlayedOrAutoPlayIsOn)
{
    RemoteFiles files;
    QString error;
    const QString path = files.projects("p.zpm");
    ASSERT_TRUE(controller.saveProject(path, &error));
    ASSERT_TRUE(controller.playItem(2));
    ASSERT_TRUE(bridge.openProject(path, &error)) << error.toStdString();
    EXPECT_EQ(state(), "playing");
    EXPECT_EQ(controller.playingIndex(), 0);

    controller.stop();
    ASSERT_TRUE(bridge.openProject(path, &error));
    EXPECT_EQ(state(), "stopped");
    SettingsStore::writeInt("Tessarin", "AutoPlay", 1);
    ASSERT_TRUE(bridge.openProject(path, &error));
    EXPECT_EQ(state(), "playing");
    EXPECT_EQ(controller.playingIndex(), 0);
}

TEST_F(ProjectControllerTest, RemovingAnItemWhilePlayingPlaysOn)
{
    for (int i = 0; i < 4; ++i)
        controller.area().item(i)->filePath = QStringLiteral("/media/%1.hold").arg(i);
    const auto playingFile = [this] { return bridge.status().value("file").toString(); };
    ASSERT_TRUE(controller.playItem(1));
    ASSERT_TRUE(bridge.deleteItem(1)); // the playing one: the one after it plays
    EXPECT_EQ(state(), "playing");
    EXPECT_EQ(playingFile(), "/media/2.hold");
    ASSERT_TRUE(bridge.deleteItem(0)); // another: the playing one goes on
    EXPECT_EQ(state(), "playing");
    EXPECT_EQ(playingFile(), "/media/2.hold");
    ASSERT_TRUE(controller.last());
    ASSERT_TRUE(bridge.deleteItem(1)); // the last: the first plays
    EXPECT_EQ(playingFile(), "/media/2.hold");
    controller.pause();
    ASSERT_TRUE(bridge.deleteItem(0)); // a paused wall does not start
    EXPECT_EQ(state(), "idle");
    controller.appendItem(makeHold());
    controller.appendItem(makeHold());
    ASSERT_TRUE(controller.playItem(0));
    controller.pause();
    ASSERT_TRUE(controller.removeItem(0));
    EXPECT_EQ(state(), "stopped");
}

TEST_F(ProjectControllerTest, ARemoteDeleteRemovesTheUploadNoOtherItemUses)
{
    RemoteFiles files;
    const QString shared = RemoteFiles::made(files.media("shared.hold"));
    const QString single = RemoteFiles::made(files.media("single.hold"));
    const QString cache = RemoteFiles::made(single + ".RT~");
    const QString outside = RemoteFiles::made(files.elsewhere("mine.hold"));
    const QString background = RemoteFiles::made(files.media("back.png"));
    controller.appendItem(holdFor(shared));              // 4
    controller.appendItem(holdFor(shared));              // 5
    controller.appendItem(holdFor(single));              // 6
    controller.appendItem(holdFor(outside));             // 7
    controller.appendItem(holdFor(background));          // 8
    controller.appendItem(holdFor(outside, background)); // 9

    ASSERT_TRUE(bridge.deleteItem(6));
    EXPECT_FALSE(QFile::exists(single));
    EXPECT_FALSE(QFile::exists(cache));
    ASSERT_TRUE(bridge.deleteItem(4));
    EXPECT_TRUE(QFile::exists(shared)); // item 5 still shows it
    ASSERT_TRUE(bridge.deleteItem(4));
    EXPECT_FALSE(QFile::exists(shared));
    ASSERT_TRUE(bridge.deleteItem(4));
    EXPECT_TRUE(QFile::exists(outside)); // never outside the media folder
    ASSERT_TRUE(bridge.deleteItem(4));
    EXPECT_TRUE(QFile::exists(background)); // the last item's background
    EXPECT_FALSE(bridge.deleteItem(9));
    // The operator's delete leaves files alone.
    const QString kept = RemoteFiles::made(files.media("kept.hold"));
    controller.appendItem(holdFor(kept));
    ASSERT_TRUE(controller.removeItem(controller.itemCount() - 1));
    EXPECT_TRUE(QFile::exists(kept));
}

TEST_F(ProjectControllerTest, AddFileRefusesAFileThatIsNotWhatItsNameSays)
{
    QTemporaryDir dir;
    const QString png = dir.filePath("notice.txt");
    QImage picture(4, 4, QImage::Format_RGB32);
    picture.fill(Qt::red);
    ASSERT_TRUE(picture.save(png, "PNG"));
    QString why;
    EXPECT_EQ(controller.addFile(png, &why), -1);
    EXPECT_EQ(why, "notice.txt is a PNG picture, not a text file");
    const QString words = dir.filePath("words.png");
    QFile file(words);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("some words\n");
    file.close();
    const QStringList refused =
        controller.addFiles({png, words, dir.filePath("clip.avi"), dir.filePath("gone.txt")});
    EXPECT_EQ(refused, (QStringList{png + " (notice.txt is a PNG picture, not a text file)",
                                    words + " (words.png is a text file, not a PNG picture)",
                                    dir.filePath("clip.avi")}));
    EXPECT_EQ(controller.itemCount(), 5); // only the missing text joined the four
}

TEST_F(ProjectControllerTest, MissingFilesAreMarkedToldOnceAndUnmarkedWhenTheyComeBack)
{
    QStringList messages;
    Notifications::setSink([&](const QString& text) { messages << text; });
    QTemporaryDir dir;
    const auto write = [&](const char* name) {
        QFile file(dir.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("text\n");
        return file.fileName();
    };
    ASSERT_TRUE(controller.newProject());
    const QString kept = write("kept.txt");
    const QString gone = write("gone.txt");
    ASSERT_EQ(controller.addFile(kept), 0);
    ASSERT_EQ(controller.addFile(gone), 1);
    QString error;
    const QString project = dir.filePath("p.zpm");
    ASSERT_TRUE(controller.saveProject(project, &error)) << error.toStdString();
    QFile::remove(gone);

    // At open.
    ASSERT_TRUE(controller.openProject(project, &error)) << error.toStdString();
    const PlaylistModel& model = controller.playlist();
    EXPECT_FALSE(model.index(0).data(PlaylistModel::MissingRole).toBool());
    EXPECT_EQ(model.index(0).data().toString(), "kept.txt");
    EXPECT_TRUE(model.index(1).data(PlaylistModel::MissingRole).toBool());
    EXPECT_EQ(model.index(1).data().toString(), "⚠ gone.txt");
    EXPECT_TRUE(model.index(1).data(Qt::ToolTipRole).toString().contains("file not found"));
    EXPECT_TRUE(model.index(1).data(Qt::ForegroundRole).isValid());
    EXPECT_FALSE(model.index(0).data(Qt::ForegroundRole).isValid());
    EXPECT_EQ(messages, QStringList{Notifications::missingText(gone)});

    const auto waitFor = [](const std::function<bool()>& done) {
        for (int i = 0; i < 500 && !done(); ++i) {
            QCoreApplication::processEvents();
            std::this_thread::sleep_for(2ms);
        }
        return done();
    };
    // Played pass after pass: told no more.
    ASSERT_TRUE(controller.play());
    ASSERT_TRUE(waitFor([&] { return clock.waitsMs().size() > 20; }));
    // Back: unmarked when it plays; the other one goes: marked when it plays, and told.
    write("gone.txt");
    QFile::remove(kept);
    EXPECT_TRUE(waitFor([&] {
        return !model.index(1).data(PlaylistModel::MissingRole).toBool() &&
               model.index(0).data(PlaylistModel::MissingRole).toBool();
    }));
    controller.stop();
    EXPECT_EQ(messages,
              (QStringList{Notifications::missingText(gone), Notifications::missingText(kept)}));
    Notifications::setSink({});
}

TEST_F(ProjectControllerTest, ZonesPlayTogetherAndCommandsMoveOnlyTheZoneTheyName)
{
    const QSize led(controller.area().settings().ledWidth, controller.area().settings().ledHeight);
    QString why;
    ASSERT_TRUE(
        controller.setZones(AreaZones::fromTemplate(AreaZones::Template::TwoHalves, led), &why))
        << why.toStdString();
    ASSERT_TRUE(controller.setItemZone(1, 1));
    ASSERT_TRUE(controller.setItemZone(3, 1));
    EXPECT_EQ(controller.zoneRows(0), (std::vector<int>{0, 2}));
    EXPECT_EQ(controller.zoneRows(1), (std::vector<int>{1, 3}));
    const auto playing = [this](int zone0, int zone1) {
        return within(3000, [&] {
            return controller.playingIndex(0) == zone0 && controller.playingIndex(1) == zone1 &&
                   controller.shownPage(0) == 1 && controller.shownPage(1) == 1;
        });
    };

    ASSERT_TRUE(controller.play());
    ASSERT_TRUE(playing(0, 1));
    EXPECT_EQ(controller.playlist().playingRows(), (std::vector<int>{0, 1}));
    EXPECT_EQ(state(), "playing");

    Api api(bridge);
    QJsonDocument answer;
    int starts = g_holdStarts.load();
    ASSERT_EQ(api.send("POST", "/api/zones/1/next", &answer), 200);
    ASSERT_TRUE(playing(0, 3));
    EXPECT_EQ(g_holdStarts.load(), starts + 1) << "the first zone was started again";
    const QJsonArray zones = bridge.status().value("zones").toArray();
    ASSERT_EQ(zones.size(), 2);
    EXPECT_EQ(zones[1].toObject().value("item").toInt(), 3);
    EXPECT_EQ(zones[1].toObject().value("rect").toArray().size(), 4);
    EXPECT_EQ(bridge.status().value("item").toInt(), 0) << "the status's own item is zone 0's";

    // Without a zone: the first zone's.
    starts = g_holdStarts.load();
    ASSERT_EQ(api.send("POST", "/api/next"), 200);
    ASSERT_TRUE(playing(2, 3));
    EXPECT_EQ(g_holdStarts.load(), starts + 1);
    ASSERT_EQ(api.send("POST", "/api/zones/1/items/1/play"), 200);
    ASSERT_TRUE(playing(2, 1));
    EXPECT_EQ(api.send("POST", "/api/zones/1/items/2/play"), 404) << "item 2 is zone 0's";
    EXPECT_EQ(api.send("POST", "/api/zones/2/next"), 404);
    EXPECT_EQ(api.send("POST", "/api/zones/x/next"), 404);
    ASSERT_EQ(api.send("GET", "/api/zones/1/items", &answer), 200);
    ASSERT_EQ(answer.array().size(), 2);
    EXPECT_EQ(answer.array()[1].toObject().value("index").toInt(), 3);
    ASSERT_EQ(api.send("GET", "/api/zones/0", &answer), 200);
    EXPECT_EQ(answer.object().value("item").toInt(), 2);
    // A whole-list play starts its zone only, too.
    ASSERT_TRUE(controller.playItem(0));
    ASSERT_TRUE(playing(0, 1));

    // Pause and stop hold and end both.
    ASSERT_EQ(api.send("POST", "/api/zones/1/pause"), 200);
    EXPECT_EQ(state(), "paused");
    EXPECT_TRUE(controller.area().zoneArea(0).isPaused());
    EXPECT_TRUE(controller.area().zoneArea(1).isPaused());
    EXPECT_TRUE(controller.play());
    EXPECT_EQ(state(), "playing");
    EXPECT_TRUE(controller.stop());
    EXPECT_EQ(state(), "stopped");
    EXPECT_FALSE(controller.area().zoneArea(1).isPlaying());

    // Overlapping zones are refused and change nothing.
    std::vector<AreaZone> overlapping = controller.zones();
    overlapping[1].rect.translate(-1, 0);
    EXPECT_FALSE(controller.setZones(overlapping, &why));
    EXPECT_FALSE(why.isEmpty());
    EXPECT_EQ(controller.zoneCount(), 2);

    // The second zone goes: its items join the first.
    ASSERT_TRUE(controller.removeZone(1, &why)) << why.toStdString();
    EXPECT_EQ(controller.zoneCount(), 1);
    EXPECT_EQ(controller.zoneRows(0), (std::vector<int>{0, 1, 2, 3}));
    EXPECT_FALSE(bridge.status().contains("zones"));
    EXPECT_FALSE(bridge.items()[1].toObject().contains("zone"));
}

TEST_F(ProjectControllerTest, AZoneWhoseItemsAreAllOutOfScheduleShowsTheBackground)
{
    const QSize led(controller.area().settings().ledWidth, controller.area().settings().ledHeight);
    ASSERT_TRUE(controller.setZones(AreaZones::fromTemplate(AreaZones::Template::TwoHalves, led)));
    ASSERT_TRUE(controller.setItemZone(3, 1));
    CPropBase* outOfTime = controller.area().item(3);
    {
        std::lock_guard lock(outOfTime->fieldsMutex());
        // A day that has passed: never again.
        ItemSettings::write(*outOfTime, QStringLiteral("schedule"),
                            QJsonObject{{"from", "2001-01-01"}, {"until", "2001-01-02"}});
    }
    controller.area().changeSettings([](AreaSettings& s) { s.backColor = 0x0000ff; }); // red
    ASSERT_TRUE(controller.play());
    ASSERT_TRUE(within(3000, [this] { return controller.shownPage(0) == 1; }));
    const QRect right = controller.zones()[1].rect;
    EXPECT_TRUE(within(3000, [&] {
        const QImage wall = composeWall(controller.area());
        return !wall.isNull() && wall.pixel(right.center()) == qRgb(255, 0, 0);
    }));
    EXPECT_EQ(controller.playingIndex(0), 0);
}

// With zones, removing an item or moving it to another zone ends only its zone's thread: the
// other zones play on, and the item's zone goes on with its next item.
TEST_F(ProjectControllerTest, RemovingOrMovingAnItemLeavesTheOtherZonesPlaying)
{
    const QSize led(controller.area().settings().ledWidth, controller.area().settings().ledHeight);
    ASSERT_TRUE(controller.setZones(AreaZones::fromTemplate(AreaZones::Template::TwoHalves, led)));
    controller.appendItem(makeHold());
    for (const int row : {1, 3, 4})
        ASSERT_TRUE(controller.setItemZone(row, 1));
    // Zone 0: items 0, 2; zone 1: items 1, 3, 4.
    const auto playing = [this](int zone0, int zone1) {
        return within(3000, [&] {
            return controller.playingIndex(0) == zone0 && controller.playingIndex(1) == zone1;
        });
    };
    ASSERT_TRUE(controller.play());
    ASSERT_TRUE(playing(0, 1));
    // Both started (an index is set before its item starts): a start counted after `starts`
    // would look like a zone started again.
    ASSERT_TRUE(within(
        3000, [this] { return controller.shownPage(0) == 1 && controller.shownPage(1) == 1; }));

    int starts = g_holdStarts.load();
    QString why;
    ASSERT_TRUE(controller.removeItem(1, &why)) << why.toStdString();
    // Zone 1 goes on with what was item 3 (now 2); zone 0 plays item 0 still, not started again.
    ASSERT_TRUE(playing(0, 2));
    EXPECT_TRUE(within(3000, [&] { return g_holdStarts.load() == starts + 1; }));
    EXPECT_EQ(g_holdStarts.load(), starts + 1);
    EXPECT_EQ(controller.zoneRows(1), (std::vector<int>{2, 3}));
    EXPECT_EQ(controller.playlist().playingRows(), (std::vector<int>{0, 2}));

    // Zone 0's playing item moved to zone 1: zone 0 goes on with its next (item 1), zone 1 is
    // not started again.
    starts = g_holdStarts.load();
    ASSERT_TRUE(controller.setItemZone(0, 1, &why)) << why.toStdString();
    ASSERT_TRUE(playing(1, 2));
    EXPECT_TRUE(within(3000, [&] { return g_holdStarts.load() == starts + 1; }));
    EXPECT_EQ(controller.zoneRows(1), (std::vector<int>{0, 2, 3}));
    // An item no zone plays now moves without stopping anything.
    starts = g_holdStarts.load();
    ASSERT_TRUE(controller.setItemZone(3, 0));
    within(100, [] { return false; });
    EXPECT_EQ(g_holdStarts.load(), starts);
    EXPECT_EQ(state(), "playing");
}
