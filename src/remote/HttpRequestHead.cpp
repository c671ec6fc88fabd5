#include "HttpRequestHead.h"

namespace {

using Result = HttpRequestHead::Result;
using Parse = HttpRequestHead::Parse;

Result refused(int status, const QString& message)
{
    return Result{Parse::Refused, 0, status, message};
}

// RFC 9110 token characters: what a method or a field name may be made of.
bool isTokenChar(char c)
{
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
        return true;
    switch (c) {
    case '!':
    case '#':
    case '$':
    case '%':
    case '&':
    case '\'':
    case '*':
    case '+':
    case '-':
    case '.':
    case '^':
    case '_':
    case '`':
    case '|':
    case '~':
        return true;
    default:
        return false;
    }
}

bool isToken(QByteArrayView text)
{
    if (text.isEmpty())
        return false;
    for (char c : text)
        if (!isTokenChar(c))
            return false;
    return true;
}

bool listNames(QByteArrayView value, QByteArrayView lowerName)
{
    for (const QByteArray& part : value.toByteArray().split(','))
        if (part.trimmed().toLower() == lowerName)
            return true;
    return false;
}

bool parseRequestLine(QByteArrayView line, HttpRequestHead* head, Result* error)
{
    const qsizetype firstSpace = line.indexOf(' ');
    const qsizetype lastSpace = line.lastIndexOf(' ');
    if (firstSpace <= 0 || lastSpace == firstSpace) {
        *error = refused(400, QStringLiteral("the request line is not METHOD TARGET HTTP/1.1"));
        return false;
    }
    const QByteArrayView method = line.first(firstSpace);
    const QByteArrayView target = line.sliced(firstSpace + 1, lastSpace - firstSpace - 1);
    const QByteArrayView version = line.sliced(lastSpace + 1);
    if (!isToken(method)) {
        *error = refused(400, QStringLiteral("the method is not a token"));
        return false;
    }
    if (target.size() > HttpRequestHead::kMostTargetBytes) {
        *error = refused(414, QStringLiteral("the request target is too long"));
        return false;
    }
    if (!target.startsWith('/')) {
        *error = refused(400, QStringLiteral("the request target must be a path"));
        return false;
    }
    for (char c : target)
        if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7F) {
            *error = refused(400, QStringLiteral("the request target holds a space or control"));
            return false;
        }
    if (version == "HTTP/1.1")
        head->minorVersion = 1;
    else if (version == "HTTP/1.0")
        head->minorVersion = 0;
    else if (version.startsWith("HTTP/")) {
        *error = refused(505, QStringLiteral("only HTTP/1.0 and HTTP/1.1 are spoken here"));
        return false;
    } else {
        *error = refused(400, QStringLiteral("the request line is not METHOD TARGET HTTP/1.1"));
        return false;
    }
    head->method = method.toByteArray();
    head->target = target.toByteArray();
    const qsizetype query = head->target.indexOf('?');
    head->path = query < 0 ? head->target : head->target.left(query);
    return true;
}

} // namespace

QByteArray HttpRequestHead::field(QByteArrayView lowerName) const
{
    for (const auto& [name, value] : fields)
        if (name == lowerName)
            return value;
    return {};
}

bool HttpRequestHead::hasField(QByteArrayView lowerName) const
{
    for (const auto& entry : fields)
        if (entry.first == lowerName)
            return true;
    return false;
}

bool HttpRequestHead::asksWebSocket() const
{
    return listNames(field("upgrade"), "websocket") && listNames(field("connection"), "upgrade");
}

bool HttpRequestHead::asksUpgradeOnly() const
{
    return listNames(field("upgrade"), "websocket") && !listNames(field("connection"), "upgrade");
}

HttpRequestHead::Result HttpRequestHead::parse(QByteArrayView bytes, HttpRequestHead* head)
{
    // Browsers and curl may send an empty line between requests; one is tolerated.
    qsizetype start = 0;
    if (bytes.startsWith("\r\n"))
        start = 2;
    const QByteArrayView window =
        bytes.sliced(start).first(std::min<qsizetype>(bytes.size() - start, kMostHeadBytes + 4));
    const qsizetype end = window.indexOf("\r\n\r\n");
    if (end < 0) {
        if (window.size() > kMostHeadBytes)
            return refused(431, QStringLiteral("the request's headers are too large"));
        // Early answers for what can never become a good head.
        if (window.indexOf('\0') >= 0)
            return refused(400, QStringLiteral("the request holds a NUL byte"));
        if (window.count('\n') > kMostFields + 1)
            return refused(431, QStringLiteral("the request has too many header lines"));
        return Result{};
    }
    *head = HttpRequestHead{};
    const QByteArrayView text = window.first(end);
    qsizetype lineStart = 0;
    bool first = true;
    bool sawLength = false;
    int count = 0;
    while (lineStart <= text.size()) {
        qsizetype lineEnd = text.indexOf("\r\n", lineStart);
        if (lineEnd < 0)
            lineEnd = text.size();
        const QByteArrayView line = text.sliced(lineStart, lineEnd - lineStart);
        lineStart = lineEnd + 2;
        for (char c : line)
            if (c == '\n' || c == '\r' || c == '\0')
                return refused(400, QStringLiteral("a header line holds a bare CR, LF or NUL"));
        if (first) {
            first = false;
            Result error;
            if (!parseRequestLine(line, head, &error))
                return error;
            continue;
        }
        if (++count > kMostFields)
            return refused(431, QStringLiteral("the request has too many header lines"));
        if (line.startsWith(' ') || line.startsWith('\t'))
            return refused(400, QStringLiteral("folded header lines are not accepted"));
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0 || !isToken(line.first(colon)))
            return refused(400, QStringLiteral("a header name is not a token followed by ':'"));
        QByteArray name = line.first(colon).toByteArray().toLower();
        const QByteArray value = line.sliced(colon + 1).toByteArray().trimmed();
        for (char c : value)
            if ((static_cast<unsigned char>(c) < 0x20 && c != '\t') || c == 0x7F)
                return refused(400, QStringLiteral("a header value holds a control character"));
        if (name == "content-length") {
            bool ok = !value.isEmpty() && value.size() <= 18;
            for (char c : value)
                ok = ok && c >= '0' && c <= '9';
            const qint64 length = ok ? value.toLongLong(&ok) : -1;
            if (!ok || (sawLength && length != head->contentLength))
                return refused(400, QStringLiteral("the Content-Length is not one number"));
            sawLength = true;
            head->contentLength = length;
        } else if (name == "host" && head->hasField("host")) {
            return refused(400, QStringLiteral("a request has one Host"));
        } else if (name == "transfer-encoding") {
            return refused(411, QStringLiteral("a request body needs a Content-Length"));
        }
        head->fields.append({std::move(name), value});
    }
    if (head->minorVersion == 1 && !head->hasField("host"))
        return refused(400, QStringLiteral("an HTTP/1.1 request needs a Host"));
    const QByteArray connection = head->field("connection");
    head->keepAlive = head->minorVersion == 1 ? !listNames(connection, "close")
                                              : listNames(connection, "keep-alive");
    head->expectsContinue = head->field("expect").toLower() == "100-continue";
    return Result{Parse::Complete, start + end + 4, 0, {}};
}
