#include "FleetText.h"

#include <mosquitto.h>
#include <mqtt_protocol.h>

#include <cstdlib>
#include <cstring>

QByteArray quotedPayload(QByteArrayView payload, qsizetype limit)
{
    static constexpr char kHex[] = "0123456789abcdef";
    QByteArray quoted;
    quoted.reserve(std::min(payload.size(), limit) + 8);
    for (qsizetype i = 0; i < payload.size() && i < limit; ++i) {
        const auto c = static_cast<unsigned char>(payload[i]);
        if (c == '\\') {
            quoted += "\\\\";
        } else if (c == '\n') {
            quoted += "\\n";
        } else if (c == '\r') {
            quoted += "\\r";
        } else if (c == '\t') {
            quoted += "\\t";
        } else if (c >= 0x20 && c < 0x7f) {
            quoted += char(c);
        } else {
            quoted += "\\x";
            quoted += kHex[c >> 4];
            quoted += kHex[c & 0xf];
        }
    }
    if (payload.size() > limit)
        quoted += "...";
    return quoted;
}

bool LogBudget::take(qint64 nowMs)
{
    if (!m_started || nowMs - m_windowStart >= m_windowMs) {
        // A new window; what the last one left out stays counted until it is taken.
        m_started = true;
        m_windowStart = nowMs;
        m_used = 0;
    }
    if (m_used < m_lines) {
        ++m_used;
        return true;
    }
    ++m_leftOut;
    return false;
}

int LogBudget::takeLeftOut(qint64 nowMs)
{
    if (m_leftOut == 0 || nowMs - m_windowStart < m_windowMs)
        return 0;
    const int leftOut = m_leftOut;
    m_leftOut = 0;
    return leftOut;
}

QString mqttError(int rc, int savedErrno, const QByteArray& detail)
{
    QString text = rc == MOSQ_ERR_ERRNO ? QString::fromLocal8Bit(std::strerror(savedErrno))
                                        : QString::fromUtf8(mosquitto_strerror(rc));
    if (text.endsWith(QLatin1Char('.')))
        text.chop(1);
    if (!detail.isEmpty())
        text +=
            QStringLiteral(" (") + QString::fromUtf8(quotedPayload(detail, 200)) + QLatin1Char(')');
    return text;
}

QString mqttReason(int reasonCode, const mqtt5__property* properties)
{
    QString text = QString::fromUtf8(mosquitto_reason_string(reasonCode));
    char* brokerSays = nullptr;
    if (properties &&
        mosquitto_property_read_string(properties, MQTT_PROP_REASON_STRING, &brokerSays, false)) {
        text += QStringLiteral(": ") + QString::fromUtf8(quotedPayload(brokerSays));
        free(brokerSays);
    }
    return text + QStringLiteral(" (reason %1)").arg(reasonCode);
}

QString mqttConnectError(int rc, int savedErrno, const QByteArray& detail)
{
    if (rc == MOSQ_ERR_PROTOCOL && detail.isEmpty())
        return QStringLiteral("the connection failed (the host or its network unreachable, or "
                              "not an MQTT broker)");
    return mqttError(rc, savedErrno, detail);
}

bool parseNumber(const QByteArray& text, qint64* value)
{
    bool ok = false;
    *value = text.toLongLong(&ok);
    return ok;
}
