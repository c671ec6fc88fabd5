#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

struct mqtt5__property;

// A payload from the network as one safe log line: printable ASCII kept, a backslash doubled,
// newlines, tabs and carriage returns as \n \t \r, every other byte (control bytes, UTF-8 and
// broken UTF-8 alike) as \xNN; at most `limit` bytes of the payload, then "...".
QByteArray quotedPayload(QByteArrayView payload, qsizetype limit = 120);

// At most `lines` log lines in each window of `windowMs`; what is left out is counted, to be
// told in one line when the window ends.
class LogBudget
{
public:
    LogBudget(int lines, qint64 windowMs) : m_lines(lines), m_windowMs(windowMs) {}

    // True when a line may be written at `nowMs` (a monotonic clock), else counts it as left out.
    bool take(qint64 nowMs);
    // The lines left out since the last call, once their window has ended at `nowMs` (0 before).
    int takeLeftOut(qint64 nowMs);
    // When the current window ends (a monotonic time in ms); meaningful after a take().
    bool hasLeftOut() const { return m_leftOut > 0; }
    qint64 windowEnd() const { return m_windowStart + m_windowMs; }
    void setWindow(qint64 windowMs) { m_windowMs = windowMs; }

private:
    int m_lines;
    qint64 m_windowMs;
    qint64 m_windowStart = 0;
    int m_used = 0;
    int m_leftOut = 0;
    bool m_started = false;
};

// What a libmosquitto result means, in words: `savedErrno` for MOSQ_ERR_ERRNO, and `detail`
// (the library's last error line: OpenSSL's reason for a TLS failure) when there is one.
QString mqttError(int rc, int savedErrno, const QByteArray& detail = {});
// The same for an error before the broker answered: the library says "protocol error" for a
// socket that failed to connect (and has lost its errno by then).
QString mqttConnectError(int rc, int savedErrno, const QByteArray& detail = {});
// An MQTT 5 reason code (CONNACK, DISCONNECT, PUBACK) in words, with the broker's own reason
// string when it sent one.
QString mqttReason(int reasonCode, const mqtt5__property* properties);

// A whole number of a text message (a sync group's time stamps, counts and indices); false for
// anything else.
bool parseNumber(const QByteArray& text, qint64* value);
