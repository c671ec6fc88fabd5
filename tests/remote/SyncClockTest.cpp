// A sync group's clock over a real broker: a follower whose clock is seconds off reckons its
// leader's within a millisecond, keeps the reckoning when the leader goes, and reckons a new
// leader's clock afresh.
#include "remote/FleetClient.h"
#include "remote/SyncClockLink.h"
#include "support/MqttBroker.h"

#include <gtest/gtest.h>

#include <cstdlib>

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
    SyncClockLink leader(SyncClockLink::Role::Leader, "shopfront", shifted(0));
    ASSERT_TRUE(leader.start(member(broker, "lobby-left"), &error)) << error.toStdString();
    SyncClockLink follower(SyncClockLink::Role::Follower, "shopfront", shifted(3'700 * kMs));
    ASSERT_TRUE(follower.start(member(broker, "lobby-right"), &error, 20)) << error.toStdString();
    ASSERT_TRUE(within(10000, [&] { return follower.reckoning().samples >= 30; }));
    SyncClockLink::Reckoning r = follower.reckoning();
    EXPECT_TRUE(r.ready);
    EXPECT_LT(std::llabs(r.offsetNs + 3'700 * kMs), kMs) << r.offsetNs;
    EXPECT_LT(r.roundTripNs, 50 * kMs);
    EXPECT_GE(leader.reckoning().answered, 30);
    EXPECT_EQ(r.steps, 0);
    // Both ways round: the leader's "now" is ours minus 3.7 s.
    const qint64 ours = SyncClockLink::monotonicNs() + 3'700 * kMs;
    EXPECT_LT(std::llabs(follower.localTime(ours - 3'700 * kMs) - ours), kMs);

    // The leader gone: the follower plays on with what it reckoned.
    leader.stop();
    const int samples = follower.reckoning().samples;
    within(200, [] { return false; });
    r = follower.reckoning();
    EXPECT_TRUE(r.ready);
    EXPECT_EQ(r.samples, samples);
    EXPECT_LT(std::llabs(r.offsetNs + 3'700 * kMs), kMs);

    // Another leader, its clock 2 s further on: a step, reckoned afresh.
    SyncClockLink next(SyncClockLink::Role::Leader, "shopfront", shifted(2'000 * kMs));
    ASSERT_TRUE(next.start(member(broker, "lobby-middle"), &error)) << error.toStdString();
    ASSERT_TRUE(within(10000, [&] {
        const SyncClockLink::Reckoning now = follower.reckoning();
        return now.steps == 1 && now.samples >= 10;
    }));
    r = follower.reckoning();
    EXPECT_LT(std::llabs(r.offsetNs + 1'700 * kMs), kMs) << r.offsetNs;

    // Another group hears none of it.
    SyncClockLink stranger(SyncClockLink::Role::Follower, "backroom", shifted(0));
    ASSERT_TRUE(stranger.start(member(broker, "backroom-1"), &error, 20));
    within(300, [] { return false; });
    EXPECT_EQ(stranger.reckoning().samples, 0);
    EXPECT_FALSE(
        SyncClockLink(SyncClockLink::Role::Leader, "a/b").start(member(broker, "x"), &error));
}
