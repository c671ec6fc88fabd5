#pragma once

#include <QtGlobal>

#include <deque>

// One request and its answer between a follower and its group's leader: when the follower sent
// and received (its own clock), when the leader received and answered (the leader's clock), all
// in nanoseconds. The two clocks may be seconds apart.
struct ClockExchange
{
    qint64 sentNs = 0;
    qint64 leaderReceivedNs = 0;
    qint64 leaderSentNs = 0;
    qint64 receivedNs = 0;

    // The leader's clock minus the follower's, as this exchange sees it (exact when the way there
    // took as long as the way back).
    qint64 offsetNs() const
    {
        return ((leaderReceivedNs - sentNs) + (leaderSentNs - receivedNs)) / 2;
    }
    // The time on the wire both ways, the leader's own time taken out.
    qint64 roundTripNs() const { return (receivedNs - sentNs) - (leaderSentNs - leaderReceivedNs); }
};

// The leader's clock as a follower reckons it from its exchanges, NTP-style: of the last
// exchanges, those with the shortest round trips (the least queueing, so the least asymmetry)
// give the offset, their median; the drift between the two clocks comes from how the offset
// moves over the kept minutes. An exchange that disagrees with the reckoning by far more than its
// round trip allows is a step of a clock (NTP set it, an operator did): the reckoning starts
// again from it.
class ClockOffset
{
public:
    static constexpr int kKept = 64;              // exchanges kept, two minutes of them or more
    static constexpr int kBest = 8;               // of those, the shortest round trips
    static constexpr int kReady = 3;              // exchanges before the reckoning holds
    static constexpr qint64 kStepNs = 20'000'000; // a disagreement past this and the round trip

    // False, keeping nothing, for an exchange that cannot be: a negative round trip, an answer
    // before its request (on the leader's clock), times out of order.
    bool add(const ClockExchange& exchange);
    void reset();

    bool ready() const { return int(m_samples.size()) >= kReady; }
    // The leader's clock minus ours at our time `localNs`.
    qint64 offsetAt(qint64 localNs) const;
    qint64 leaderTime(qint64 localNs) const { return localNs + offsetAt(localNs); }
    // Our time at which the leader's clock shows `leaderNs`.
    qint64 localTime(qint64 leaderNs) const;
    // The median round trip of the best exchanges.
    qint64 roundTripNs() const { return m_roundTripNs; }
    // How much faster the leader's clock runs than ours, in parts per million.
    double driftPpm() const { return m_drift * 1e6; }
    // Clock steps seen (each started the reckoning again).
    int steps() const { return m_steps; }
    int samples() const { return int(m_samples.size()); }

private:
    struct Sample
    {
        qint64 atNs; // our time in the middle of the exchange
        qint64 offsetNs;
        qint64 roundTripNs;
    };
    void reckon();

    std::deque<Sample> m_samples;
    qint64 m_referenceNs = 0; // our time the offset below holds at
    qint64 m_offsetNs = 0;
    double m_drift = 0; // offset change per nanosecond of ours
    qint64 m_roundTripNs = 0;
    int m_steps = 0;
};
