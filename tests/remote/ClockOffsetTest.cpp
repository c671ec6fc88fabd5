// The follower's reckoning of its leader's clock from exchanges with the delays networks have:
// uneven both ways, jittery, now and then a long wait in a queue, and clocks seconds apart that
// run at slightly different rates.
#include "remote/ClockOffset.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <random>

namespace {

constexpr qint64 kMs = 1'000'000;
constexpr qint64 kSecond = 1'000'000'000;

// The leader's clock as a function of the follower's: seconds ahead, a few ppm faster, and
// stepped by `stepNs` from `stepAtNs` on.
struct TrueClocks
{
    qint64 offsetNs = 0;
    double drift = 0;
    qint64 stepAtNs = -1;
    qint64 stepNs = 0;

    qint64 offsetAt(qint64 localNs) const
    {
        qint64 offset = offsetNs + qint64(std::llround(drift * double(localNs)));
        if (stepAtNs >= 0 && localNs >= stepAtNs)
            offset += stepNs;
        return offset;
    }
    qint64 leader(qint64 localNs) const { return localNs + offsetAt(localNs); }
};

// An exchange sent at `sentNs` (follower's clock) with the given delays on the way there and back.
ClockExchange exchange(const TrueClocks& clocks, qint64 sentNs, qint64 thereNs, qint64 backNs,
                       qint64 leaderBusyNs)
{
    ClockExchange e;
    e.sentNs = sentNs;
    const qint64 arrives = sentNs + thereNs;
    e.leaderReceivedNs = clocks.leader(arrives);
    e.leaderSentNs = clocks.leader(arrives + leaderBusyNs);
    e.receivedNs = arrives + leaderBusyNs + backNs;
    return e;
}

// Delays of a loaded network: a floor, exponential jitter, one in ten stuck behind a queue.
struct Network
{
    std::mt19937_64 random{20261209};
    qint64 delay(qint64 floorNs, double meanJitterNs)
    {
        std::exponential_distribution<double> jitter(1.0 / meanJitterNs);
        qint64 d = floorNs + qint64(jitter(random));
        if (std::uniform_int_distribution<int>(0, 9)(random) == 0)
            d += 30 * kMs;
        return d;
    }
};

} // namespace

TEST(ClockOffset, OneExchangeSeesTheOffsetWithinHalfItsRoundTrip)
{
    const TrueClocks clocks{3'200 * kMs, 0};
    const ClockExchange e = exchange(clocks, 10 * kSecond, 3 * kMs, 1 * kMs, 200'000);
    EXPECT_EQ(e.roundTripNs(), 4 * kMs);
    EXPECT_EQ(e.offsetNs(), 3'200 * kMs + kMs); // half the unevenness
    ClockOffset offset;
    EXPECT_FALSE(offset.ready());
    ASSERT_TRUE(offset.add(e));
    // Answers before their question, or a round trip below nothing, are refused.
    ClockExchange backwards = e;
    backwards.receivedNs = e.sentNs - 1;
    EXPECT_FALSE(offset.add(backwards));
    ClockExchange impossible = e;
    impossible.leaderSentNs = impossible.leaderReceivedNs + 10 * kMs; // longer than the wait
    EXPECT_FALSE(offset.add(impossible));
    EXPECT_EQ(offset.samples(), 1);
}

// Exchanges every two seconds for four minutes over a jittery, uneven network (the way there
// slower and twice as jittery as the way back, one in ten 30 ms late in a queue), the
// leader 3.2 s ahead and 40 ppm fast (then the other way round): the reckoning stays within a
// millisecond of the truth once it holds, at every moment between exchanges too.
TEST(ClockOffset, UnevenJitteryDelaysAndDriftingClocksStayWithinAMillisecond)
{
    for (const TrueClocks clocks :
         {TrueClocks{3'200 * kMs, 40e-6}, TrueClocks{-5'000 * kMs, -25e-6}}) {
        SCOPED_TRACE(testing::Message() << "offset " << clocks.offsetNs / kMs << " ms");
        Network network;
        ClockOffset offset;
        qint64 worstNs = 0;
        for (int n = 0; n < 120; ++n) {
            const qint64 sent = 100 * kSecond + n * 2 * kSecond;
            // Drawn in this order whatever the compiler's order of arguments.
            const qint64 there = network.delay(400'000, 1.0 * kMs);
            const qint64 back = network.delay(200'000, 0.5 * kMs);
            ASSERT_TRUE(offset.add(exchange(clocks, sent, there, back, 50'000)));
            if (n < 10)
                continue;
            for (const qint64 later : {qint64(0), kSecond, 2 * kSecond - 1}) {
                const qint64 at = sent + later;
                worstNs = std::max(worstNs, std::llabs(offset.offsetAt(at) - clocks.offsetAt(at)));
                // Both ways round agree.
                EXPECT_LE(std::llabs(offset.localTime(offset.leaderTime(at)) - at), 1);
            }
        }
        EXPECT_LT(worstNs, kMs) << "worst error " << worstNs << " ns";
        EXPECT_NEAR(offset.driftPpm(), clocks.drift * 1e6, 5.0);
        EXPECT_LT(offset.roundTripNs(), 5 * kMs);
        EXPECT_EQ(offset.steps(), 0);
    }
}

// The leader's clock set two seconds on (NTP stepped it): the reckoning starts again from the
// first exchange that shows it and holds the new offset within a millisecond by the third.
TEST(ClockOffset, AClockStepStartsTheReckoningAgain)
{
    TrueClocks clocks{1'500 * kMs, 10e-6};
    clocks.stepAtNs = 61 * kSecond;
    clocks.stepNs = 2 * kSecond;
    Network network;
    ClockOffset offset;
    for (int n = 0; n < 60; ++n) {
        const qint64 sent = n * 2 * kSecond;
        const qint64 there = network.delay(300'000, 0.5 * kMs);
        const qint64 back = network.delay(300'000, 0.5 * kMs);
        ASSERT_TRUE(offset.add(exchange(clocks, sent, there, back, 50'000)));
        if (sent > clocks.stepAtNs + 6 * kSecond) {
            EXPECT_LT(std::llabs(offset.offsetAt(sent) - clocks.offsetAt(sent)), kMs) << n;
        }
    }
    EXPECT_EQ(offset.steps(), 1);
    // Small disagreements (a long round trip) are no step.
    ClockOffset steady;
    const TrueClocks still{700 * kMs, 0};
    for (int n = 0; n < 10; ++n)
        steady.add(exchange(still, n * kSecond, n == 6 ? 40 * kMs : kMs, kMs, 0));
    EXPECT_EQ(steady.steps(), 0);
    EXPECT_LT(std::llabs(steady.offsetAt(10 * kSecond) - still.offsetNs), kMs);
}
