#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <utility>

// The head of one HTTP/1.x request (request line and header fields), read strictly: what two
// parsers could read differently (a space before a colon, a folded line, two lengths, a bare
// LF, a chunked body) is refused, never guessed at. Limits hold however the bytes arrive.
struct HttpRequestHead
{
    QByteArray method;
    QByteArray target; // as sent: path and query
    QByteArray path;   // the target up to '?', not decoded
    int minorVersion = 1;
    QList<std::pair<QByteArray, QByteArray>> fields; // names in lower case, values trimmed
    qint64 contentLength = 0;
    bool keepAlive = true;
    bool expectsContinue = false;

    // The value of a field (the first of that name); empty when there is none.
    QByteArray field(QByteArrayView lowerName) const;
    bool hasField(QByteArrayView lowerName) const;
    // Upgrade: websocket, and Connection names upgrade.
    bool asksWebSocket() const;
    bool asksUpgradeOnly() const; // Upgrade: websocket without Connection: upgrade

    static constexpr qsizetype kMostHeadBytes = 32 * 1024;
    static constexpr int kMostFields = 100;
    static constexpr qsizetype kMostTargetBytes = 8 * 1024;

    enum class Parse
    {
        NeedMore, // no end of the head yet, and within the limits
        Complete,
        Refused, // answer `status` with `message` and close
    };
    struct Result
    {
        Parse state = Parse::NeedMore;
        qsizetype headBytes = 0; // with the blank line, when complete
        int status = 0;
        QString message;
    };
    // Reads a head from the start of `bytes`, which may hold less or more than one head.
    static Result parse(QByteArrayView bytes, HttpRequestHead* head);
};
