// A sync group's clocks over a real broker: a member whose clock is seconds off reckons the
// others' within a millisecond, keeps the reckoning when one goes, and reckons a newcomer's
// clock apart from the others'.
#include "remote/FleetClient.h"
#include "remote/SyncClockLink.h"
#include "support/MqttBroker.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <future>

namespace {

constexpr qint64 kMs = 1'000'000;

FleetSettings member(const Broker& broker, const char* name)
{
    FleetSettings s;
    s.url = broker.url();
    s.name = QString::fromLatin1(name);
    return s;
}

// This PC's clock moved by `shiftNs`, as another PC's would read.
SyncClockLink::Clock shifted(qint64 shiftNs)
{
    return [shiftNs] { return SyncClockLink::monotonicNs() + shiftNs; };
}

} // namespace

TEST(SyncClock, AFollowerSecondsOffReckonsItsLeadersClockWithinAMillisecond)
{
    Broker broker;
    QString error;
    SyncClockLink leader("shopfront", shifted(0));
    ASSERT_TRUE(leader.start(member(broker, "lobby-left"), &error, 20)) << error.toStdString();
    SyncClockLink follower("shopfront", shifted(3'700 * kMs));
    ASSERT_TRUE(follower.start(member(broker, "lobby-right"), &error, 20)) << error.toStdString();
    ASSERT_TRUE(within(10000, [&] { return follower.reckoning("lobby-left").samples >= 30; }));
    SyncClockLink::Reckoning r = follower.reckoning("lobby-left");
    EXPECT_TRUE(r.ready);
    EXPECT_LT(std::llabs(r.offsetNs + 3'700 * kMs), kMs) << r.offsetNs;
    EXPECT_LT(r.roundTripNs, 50 * kMs);
    EXPECT_GE(leader.answered(), 30);
    EXPECT_EQ(r.steps, 0);
    // Both ways round: the leader's "now" is ours minus 3.7 s, and ours is its plus 3.7 s.
    const qint64 ours = SyncClockLink::monotonicNs() + 3'700 * kMs;
    EXPECT_LT(std::llabs(follower.localTime("lobby-left", ours - 3'700 * kMs) - ours), kMs);
    ASSERT_TRUE(within(10000, [&] { return leader.reckoning("lobby-right").ready; }));
    EXPECT_LT(std::llabs(leader.reckoning("lobby-right").offsetNs - 3'700 * kMs), kMs);
    EXPECT_FALSE(follower.reckoning("nobody").ready);

    // The leader gone: the follower plays on with what it reckoned.
    leader.stop();
    within(100, [] { return false; }); // an answer sent as it went may still be on its way
    const int samples = follower.reckoning("lobby-left").samples;
    within(200, [] { return false; });
    r = follower.reckoning("lobby-left");
    EXPECT_TRUE(r.ready);
    EXPECT_EQ(r.samples, samples);
    EXPECT_LT(std::llabs(r.offsetNs + 3'700 * kMs), kMs);

    // A newcomer, its clock 2 s further on: reckoned apart, the first one's reckoning kept.
    SyncClockLink next("shopfront", shifted(2'000 * kMs));
    ASSERT_TRUE(next.start(member(broker, "lobby-middle"), &error)) << error.toStdString();
    ASSERT_TRUE(within(10000, [&] { return follower.reckoning("lobby-middle").samples >= 10; }));
    r = follower.reckoning("lobby-middle");
    EXPECT_LT(std::llabs(r.offsetNs + 1'700 * kMs), kMs) << r.offsetNs;
    EXPECT_EQ(r.steps, 0);
    EXPECT_LT(std::llabs(follower.reckoning("lobby-left").offsetNs + 3'700 * kMs), kMs);

    // Another group hears none of it.
    SyncClockLink stranger("backroom", shifted(0));
    ASSERT_TRUE(stranger.start(member(broker, "backroom-1"), &error, 20));
    within(300, [] { return false; });
    EXPECT_EQ(stranger.reckoning("lobby-middle").samples, 0);
    EXPECT_EQ(stranger.reckoning("lobby-right").samples, 0);
    EXPECT_FALSE(SyncClockLink("a/b").start(member(broker, "x"), &error));
}

TEST(SyncClock, ALinkReconnectsWhenTheBrokerIsBackAndStopsWhileItIsAway)
{
    Broker broker;
    QString error;
    SyncClockLink leader("shopfront", shifted(0));
    ASSERT_TRUE(leader.start(member(broker, "lobby-left"), &error, 20)) << error.toStdString();
    SyncClockLink follower("shopfront", shifted(1'000 * kMs));
    ASSERT_TRUE(follower.start(member(broker, "lobby-right"), &error, 20)) << error.toStdString();
    ASSERT_TRUE(within(10000, [&] { return follower.reckoning("lobby-left").ready; }));

    broker.stop();
    ASSERT_TRUE(within(5000, [&] { return !leader.isConnected() && !follower.isConnected(); }));
    ASSERT_TRUE(broker.start());
    ASSERT_TRUE(within(15000, [&] { return leader.isConnected() && follower.isConnected(); }));
    const int samples = follower.reckoning("lobby-left").samples;
    EXPECT_TRUE(within(5000, [&] { return follower.reckoning("lobby-left").samples > samples; }));

    // Gone again, the links retrying: a stop still ends at once, not at the next attempt.
    broker.stop();
    ASSERT_TRUE(within(5000, [&] { return !leader.isConnected(); }));
    within(1500, [] { return false; });
    auto stopped = std::async(std::launch::async, [&] {
        leader.stop();
        follower.stop();
    });
    ASSERT_EQ(stopped.wait_for(std::chrono::seconds(10)), std::future_status::ready)
        << "a stop hung while the broker was away";
}

TEST(SyncClock, MembersReckonEachOtherOverTls)
{
    BrokerOptions options;
    options.tls = true;
    Broker broker(options);
    const auto overTls = [&](const char* name) {
        FleetSettings s = member(broker, name);
        s.url = broker.tlsUrl();
        s.caFile = TestCertificates::get().ca;
        return s;
    };
    QString error;
    SyncClockLink leader("shopfront", shifted(0));
    ASSERT_TRUE(leader.start(overTls("lobby-left"), &error, 20)) << error.toStdString();
    SyncClockLink follower("shopfront", shifted(-1'500 * kMs));
    ASSERT_TRUE(follower.start(overTls("lobby-right"), &error, 20)) << error.toStdString();
    ASSERT_TRUE(within(10000, [&] { return follower.reckoning("lobby-left").samples >= 10; }));
    EXPECT_LT(std::llabs(follower.reckoning("lobby-left").offsetNs - 1'500 * kMs), kMs);
}
