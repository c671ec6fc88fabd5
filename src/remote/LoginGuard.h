#pragma once

#include <QHash>
#include <QString>

#include <array>

// Failed token attempts by address: ten in a minute shut that address out of guessing for a
// minute. Only guesses count (a request with a wrong token, not one without any), a right token
// is let in whatever the table says, entries expire, and the table stays small whatever the
// number of addresses: it can slow a guesser, never lock out the operator.
class LoginGuard
{
public:
    static constexpr int kFailuresBeforeBlock = 10;
    static constexpr qint64 kWindowMs = 60 * 1000;
    static constexpr qint64 kBlockMs = 60 * 1000;
    static constexpr int kMostAddresses = 1024;

    bool isBlocked(const QString& address, qint64 nowMs) const;
    void failed(const QString& address, qint64 nowMs);
    int size() const { return int(m_entries.size()); }

private:
    struct Entry
    {
        std::array<qint64, kFailuresBeforeBlock> times{}; // a ring of the latest failures
        int count = 0;
        qint64 blockedUntilMs = 0;
        qint64 lastMs = 0;
    };
    void makeRoom(qint64 nowMs);

    QHash<QString, Entry> m_entries;
};
