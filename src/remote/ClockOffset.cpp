#include "ClockOffset.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

namespace {

// Drift needs the samples spread over some time: over a few seconds a slope is noise.
constexpr qint64 kDriftSpanNs = 20'000'000'000;
// Pairs closer than this say little about the slope.
constexpr qint64 kPairSpanNs = 10'000'000'000;
// Clocks of PCs agree within a few hundred ppm; a slope past it is noise too.
constexpr double kMostDrift = 500e-6;

template <class T>
T median(std::vector<T> values)
{
    const auto middle = values.begin() + std::ptrdiff_t(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

} // namespace

bool ClockOffset::add(const ClockExchange& e)
{
    const qint64 roundTrip = e.roundTripNs();
    if (e.receivedNs < e.sentNs || e.leaderSentNs < e.leaderReceivedNs || roundTrip < 0)
        return false;
    const Sample sample{e.sentNs + (e.receivedNs - e.sentNs) / 2, e.offsetNs(), roundTrip};
    if (!m_samples.empty() && sample.atNs < m_samples.back().atNs)
        return false;
    if (ready()) {
        // The true offset lies within half the round trip of what the exchange says; further
        // than that and a step's worth, one of the clocks was set.
        const qint64 off = std::llabs(sample.offsetNs - offsetAt(sample.atNs));
        if (off > kStepNs + roundTrip / 2 + m_roundTripNs) {
            m_samples.clear();
            m_drift = 0;
            ++m_steps;
        }
    }
    m_samples.push_back(sample);
    while (int(m_samples.size()) > kKept)
        m_samples.pop_front();
    reckon();
    return true;
}

void ClockOffset::reset()
{
    m_samples.clear();
    m_offsetNs = 0;
    m_drift = 0;
    m_roundTripNs = 0;
    m_referenceNs = 0;
}

void ClockOffset::reckon()
{
    m_referenceNs = m_samples.back().atNs;
    std::vector<Sample> byRoundTrip(m_samples.begin(), m_samples.end());
    std::sort(byRoundTrip.begin(), byRoundTrip.end(),
              [](const Sample& a, const Sample& b) { return a.roundTripNs < b.roundTripNs; });
    // The drift, from the better half.
    const size_t halfCount =
        std::max(std::min(size_t(kReady), byRoundTrip.size()), byRoundTrip.size() / 2);
    qint64 earliest = byRoundTrip.front().atNs;
    qint64 latest = earliest;
    for (size_t k = 0; k < halfCount; ++k) {
        earliest = std::min(earliest, byRoundTrip[k].atNs);
        latest = std::max(latest, byRoundTrip[k].atNs);
    }
    // The median of the slopes between pairs (Theil-Sen): a few exchanges that waited in a queue
    // one way move it little, where a least-squares line follows them.
    m_drift = 0;
    if (halfCount >= size_t(kReady) && latest - earliest >= kDriftSpanNs) {
        std::vector<double> slopes;
        slopes.reserve(halfCount * halfCount / 2);
        for (size_t i = 0; i < halfCount; ++i)
            for (size_t j = i + 1; j < halfCount; ++j) {
                const Sample& a = byRoundTrip[i];
                const Sample& b = byRoundTrip[j];
                const qint64 span = b.atNs - a.atNs;
                if (std::llabs(span) >= kPairSpanNs)
                    slopes.push_back(double(b.offsetNs - a.offsetNs) / double(span));
            }
        if (!slopes.empty())
            m_drift = std::clamp(median(std::move(slopes)), -kMostDrift, kMostDrift);
    }
    // The offset now: the median of the best exchanges, each carried to now by the drift.
    const size_t bestCount = std::min(byRoundTrip.size(), size_t(kBest));
    std::vector<qint64> offsets;
    std::vector<qint64> roundTrips;
    for (size_t k = 0; k < bestCount; ++k) {
        const Sample& s = byRoundTrip[k];
        offsets.push_back(s.offsetNs +
                          qint64(std::llround(m_drift * double(m_referenceNs - s.atNs))));
        roundTrips.push_back(s.roundTripNs);
    }
    m_offsetNs = median(std::move(offsets));
    m_roundTripNs = median(std::move(roundTrips));
}

qint64 ClockOffset::offsetAt(qint64 localNs) const
{
    return m_offsetNs + qint64(std::llround(m_drift * double(localNs - m_referenceNs)));
}

qint64 ClockOffset::localTime(qint64 leaderNs) const
{
    // The offset changes by parts per million: twice round is exact to the nanosecond.
    qint64 local = leaderNs - offsetAt(leaderNs - m_offsetNs);
    local = leaderNs - offsetAt(local);
    return local;
}
