// Walls of a sync group, each a real controller with its real play thread and a sync member on a
// broker the test starts, their clocks moved seconds apart: every picture enters on every wall
// within one refresh of the leader, commands given to a follower are carried out by the leader
// for all, and when the leader goes the next one takes over and the others keep in step with it.
#include "control/ProjectController.h"
#include "control/SyncMember.h"
#include "model/CAct.h"
#include "model/CPropImage.h"
#include "model/HeadlessSectionHost.h"
#include "remote/FleetClient.h"
#include "support/MqttBroker.h"
#include "support/TestSettings.h"

#include <QImage>
#include <QSet>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <mutex>
#include <thread>

using namespace std::chrono_literals;

namespace {

constexpr qint64 kMs = 1'000'000;
// One refresh; sanitized builds (slower drawing, a slower watcher) get two.
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
constexpr qint64 kRefreshNs = 33'400'000;
#else
constexpr qint64 kRefreshNs = 16'700'000;
#endif

qint64 steadyNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

struct Wall
{
    explicit Wall(const char* wallName) : name(wallName) {}
    QString name;
    HeadlessSectionHost host;
    ProjectController controller{&host};
    SyncMember member{controller};
};

// Watches what each wall's first section shows, every half millisecond: when the picture at the
// middle of the LED changes, and to what.
class WallWatcher
{
public:
    struct Change
    {
        qint64 atNs;
        QRgb colour;
    };
    explicit WallWatcher(std::vector<Wall*> walls)
        : m_walls(std::move(walls)), m_changes(m_walls.size())
    {
        m_thread = std::thread([this] { watch(); });
    }
    ~WallWatcher()
    {
        m_stop.store(true);
        m_thread.join();
    }
    std::vector<Change> changes(size_t wall)
    {
        std::lock_guard lock(m_mutex);
        return m_changes[wall];
    }

private:
    void watch()
    {
        std::vector<QRgb> last(m_walls.size(), 0);
        while (!m_stop.load()) {
            for (size_t w = 0; w < m_walls.size(); ++w) {
                CAct& area = m_walls[w]->controller.area();
                std::shared_lock sections(area.sectionsMutex());
                if (area.sections().empty())
                    continue;
                BackBuffer& child = *area.sections().front()->renderChild;
                std::lock_guard lock(child.sectionMutex);
                const QImage* buffer = child.GetBackBuffer();
                if (!buffer || buffer->isNull())
                    continue;
                const QRgb colour = buffer->pixel(buffer->width() / 2, buffer->height() / 2);
                if (colour != last[w]) {
                    last[w] = colour;
                    std::lock_guard changes(m_mutex);
                    m_changes[w].push_back({steadyNs(), colour});
                }
            }
            std::this_thread::sleep_for(500us);
        }
    }

    std::vector<Wall*> m_walls;
    std::mutex m_mutex;
    std::vector<std::vector<Change>> m_changes;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

class SyncGroupTest : public testing::Test
{
protected:
    void SetUp() override
    {
        TestSettings::clear();
        const QList<QColor> colours{Qt::red, Qt::green, Qt::blue, Qt::yellow};
        for (int i = 0; i < colours.size(); ++i) {
            QImage picture(64, 16, QImage::Format_RGB32);
            picture.fill(colours[i]);
            m_colours.insert(colours[i].rgb());
            pictures << m_dir.filePath(QStringLiteral("p%1.png").arg(i));
            ASSERT_TRUE(picture.save(pictures.back()));
        }
    }

    // The project on a wall: the four pictures, each entering at once, held `holdTenths`.
    void setUpProject(Wall& wall, int holdTenths = 6)
    {
        ASSERT_TRUE(wall.controller.newProject());
        for (const QString& path : pictures) {
            const int index = wall.controller.addFile(path);
            ASSERT_GE(index, 0);
            auto* item = dynamic_cast<CPropImage*>(wall.controller.area().item(index));
            ASSERT_NE(item, nullptr);
            item->effect = 1; // a cover from the left: the middle changes halfway through
            item->speed = 1;
            item->holdTime = holdTenths;
            item->clearEffect = 0;
        }
    }

    void join(Wall& wall, qint64 shiftNs, SyncSettings::Role role = SyncSettings::Role::Auto)
    {
        FleetSettings fleet;
        fleet.url = broker.url();
        fleet.name = wall.name;
        SyncSettings settings;
        settings.group = QStringLiteral("window");
        settings.role = role;
        QString error;
        ASSERT_TRUE(wall.member.start(settings, fleet, &error, shiftNs)) << error.toStdString();
    }

    static bool reckons(const Wall& wall)
    {
        const QJsonObject s = wall.member.group()->status();
        return s.value("role").toString() == "follower" && !s.value("offsetMs").isNull();
    }

    // For each entry of a picture on the leader after `fromNs`, the follower's entry of the same
    // picture nearest to it: how far apart they are. A clearing's frames between pictures are not
    // compared: a loaded wall may skip one of them, and that is no entry missed.
    std::vector<qint64> skews(const std::vector<WallWatcher::Change>& leader,
                              const std::vector<WallWatcher::Change>& follower, qint64 fromNs) const
    {
        std::vector<qint64> out;
        for (const auto& change : leader) {
            if (change.atNs < fromNs || !m_colours.contains(change.colour))
                continue;
            qint64 best = std::numeric_limits<qint64>::max();
            for (const auto& other : follower)
                if (other.colour == change.colour &&
                    std::llabs(other.atNs - change.atNs) < std::llabs(best))
                    best = other.atNs - change.atNs;
            out.push_back(best);
        }
        return out;
    }

    // Whether every skew is within a refresh; each one that is not fails on its own.
    static bool withinARefresh(const std::vector<qint64>& apart, const std::string& what)
    {
        bool all = true;
        for (qint64 ns : apart) {
            EXPECT_LT(std::llabs(ns), kRefreshNs) << what << ": " << ns / 1e6 << " ms";
            all = all && std::llabs(ns) < kRefreshNs;
        }
        return all;
    }

    // Every wall's changes since `fromNs`, for a failure's message: which wall was off, and how.
    static std::string timeline(WallWatcher& watcher, size_t walls, qint64 fromNs)
    {
        std::string out;
        for (size_t w = 0; w < walls; ++w) {
            out += "\n  wall " + std::to_string(w) + ":";
            for (const auto& change : watcher.changes(w)) {
                if (change.atNs < fromNs)
                    continue;
                char entry[48];
                std::snprintf(entry, sizeof entry, " %.1f=%06x", (change.atNs - fromNs) / 1e6,
                              unsigned(change.colour & 0xffffff));
                out += entry;
            }
        }
        return out;
    }

    Broker broker;
    QTemporaryDir m_dir;
    QSet<QRgb> m_colours;
    QStringList pictures;
};

} // namespace

TEST_F(SyncGroupTest, FollowersSecondsOffEnterEveryPictureWithinARefreshOfTheLeader)
{
    Wall a("wall-a"), b("wall-b"), c("wall-c");
    for (Wall* wall : {&a, &b, &c})
        setUpProject(*wall);
    join(a, 0);
    join(b, 3'700 * kMs);
    join(c, -2'200 * kMs);
    ASSERT_TRUE(within(10000, [&] { return reckons(b) && reckons(c); }));
    EXPECT_TRUE(a.member.group()->leads());
    EXPECT_EQ(b.member.group()->leaderName(), "wall-a");
    const QJsonObject status = b.member.group()->status();
    EXPECT_NEAR(status.value("offsetMs").toDouble(), -3700.0, 1.0);
    EXPECT_LT(status.value("roundTripMs").toDouble(), 50.0);

    WallWatcher watcher({&a, &b, &c});
    // The leader plays; the followers hear its state and play with it.
    ASSERT_TRUE(a.controller.play());
    ASSERT_TRUE(within(3000, [&] {
        return b.controller.playState() == ProjectController::PlayState::Playing &&
               c.controller.playState() == ProjectController::PlayState::Playing;
    }));
    const qint64 from = steadyNs() + 1500 * kMs; // the followers' first item may be the wrong one
    within(7500, [] { return false; });          // six seconds compared
    const auto leader = watcher.changes(0);
    bool inStep = true;
    for (size_t w : {1u, 2u}) {
        const std::vector<qint64> apart = skews(leader, watcher.changes(w), from);
        ASSERT_GE(apart.size(), 3u)
            << "wall " << w << ", changes (ms=colour):" << timeline(watcher, 3, from);
        inStep = withinARefresh(apart, "wall " + std::to_string(w)) && inStep;
    }
    if (!inStep)
        ADD_FAILURE() << "changes (ms=colour):" << timeline(watcher, 3, from);
    // Followers measured the skew themselves, against the leader's own lateness.
    EXPECT_FALSE(b.member.group()->status().value("skewMs").isNull());

    // A follower's commands are the leader's to carry out: the whole wall moves on.
    const int before = a.controller.currentIndex(0);
    b.controller.next();
    ASSERT_TRUE(within(2000, [&] { return a.controller.currentIndex(0) != before; }));
    const int now = a.controller.currentIndex(0);
    EXPECT_TRUE(within(2000, [&] {
        return b.controller.currentIndex(0) == now && c.controller.currentIndex(0) == now;
    }));
    c.controller.pause();
    ASSERT_TRUE(within(2000, [&] {
        return a.controller.playState() == ProjectController::PlayState::Paused &&
               b.controller.playState() == ProjectController::PlayState::Paused &&
               c.controller.playState() == ProjectController::PlayState::Paused;
    }));
    b.controller.play();
    ASSERT_TRUE(within(2000, [&] {
        return a.controller.playState() == ProjectController::PlayState::Playing &&
               c.controller.playState() == ProjectController::PlayState::Playing;
    }));

    // The leader goes: wall-b, the lowest name left, takes over where the timeline stands, and
    // wall-c keeps in step with it.
    a.member.stop();
    ASSERT_TRUE(within(3000, [&] {
        return b.member.group()->leads() && c.member.group()->leaderName() == "wall-b";
    }));
    const qint64 takeover = steadyNs() + 1000 * kMs;
    within(7000, [] { return false; }); // six seconds compared
    const std::vector<qint64> after = skews(watcher.changes(1), watcher.changes(2), takeover);
    ASSERT_GE(after.size(), 3u) << "changes (ms=colour):" << timeline(watcher, 3, takeover);
    if (!withinARefresh(after, "after the takeover"))
        ADD_FAILURE() << "changes (ms=colour):" << timeline(watcher, 3, takeover);
    EXPECT_EQ(b.controller.playState(), ProjectController::PlayState::Playing);
    for (Wall* wall : {&a, &b, &c})
        wall->controller.stop();
}

TEST_F(SyncGroupTest, AFollowerOfAnotherProjectSaysSoAndPlaysAlone)
{
    Wall a("wall-a"), b("wall-b");
    setUpProject(a);
    setUpProject(b);
    b.controller.removeItem(3);
    join(a, 0, SyncSettings::Role::Leader);
    join(b, 1'000 * kMs, SyncSettings::Role::Follower);
    ASSERT_TRUE(
        within(5000, [&] { return b.member.group()->status().value("projectDiffers").toBool(); }));
    EXPECT_EQ(b.member.group()->status().value("role").toString(), "alone");
    ASSERT_TRUE(a.controller.play());
    ASSERT_TRUE(within(
        3000, [&] { return b.controller.playState() == ProjectController::PlayState::Playing; }));
    // It plays on by itself, item after item.
    const int first = b.controller.currentIndex(0);
    EXPECT_TRUE(within(4000, [&] { return b.controller.currentIndex(0) != first; }));
    for (Wall* wall : {&a, &b})
        wall->controller.stop();
}

TEST_F(SyncGroupTest, AFollowerThatLosesTheBrokerPlaysOnAloneAndFallsInAgain)
{
    Wall a("wall-a"), b("wall-b");
    setUpProject(a, 4);
    setUpProject(b, 4);
    join(a, 0);
    join(b, 2'500 * kMs);
    ASSERT_TRUE(within(10000, [&] { return reckons(b); }));
    WallWatcher watcher({&a, &b});
    ASSERT_TRUE(a.controller.play());
    ASSERT_TRUE(within(
        3000, [&] { return b.controller.playState() == ProjectController::PlayState::Playing; }));
    within(1500, [] { return false; });

    // No broker: each plays on by itself, the follower too.
    broker.stop();
    ASSERT_TRUE(within(5000, [&] { return !b.member.group()->follows(); }));
    EXPECT_EQ(b.member.group()->status().value("role").toString(), "alone");
    const size_t changesBefore = watcher.changes(1).size();
    within(2000, [] { return false; });
    EXPECT_GE(watcher.changes(1).size(), changesBefore + 2) << "the follower stood still";

    // Back: the follower falls in with the leader again at its next item.
    ASSERT_TRUE(broker.start());
    ASSERT_TRUE(within(15000, [&] { return b.member.group()->follows() && reckons(b); }));
    const qint64 back = steadyNs() + 2000 * kMs;
    within(7000, [] { return false; }); // five seconds compared
    const std::vector<qint64> apart = skews(watcher.changes(0), watcher.changes(1), back);
    ASSERT_GE(apart.size(), 3u) << "changes (ms=colour):" << timeline(watcher, 2, back);
    if (!withinARefresh(apart, "after the broker came back"))
        ADD_FAILURE() << "changes (ms=colour):" << timeline(watcher, 2, back);
    for (Wall* wall : {&a, &b})
        wall->controller.stop();
}
