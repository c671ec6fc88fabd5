#include "Uploads.h"

#include "model/ItemKinds.h"

#include <QDir>
#include <QFileInfo>

QString Uploads::safeBaseName(const QString& name)
{
    QString base = name;
    base.replace(QLatin1Char('\\'), QLatin1Char('/'));
    base = base.mid(base.lastIndexOf(QLatin1Char('/')) + 1);
    QString clean;
    for (const QChar c : base)
        if (c.unicode() >= 0x20 && c.unicode() != 0x7F && c != QLatin1Char(':'))
            clean += c;
    clean = clean.trimmed();
    while (clean.startsWith(QLatin1Char('.')))
        clean.remove(0, 1);
    if (clean.size() > 200)
        clean = clean.right(200);
    return clean;
}

bool Uploads::playable(const QString& name)
{
    return !name.isEmpty() && name.contains(QLatin1Char('.')) && ItemKinds::extensionPlays(name);
}

QString Uploads::freePath(const QString& folder, const QString& name)
{
    const QDir dir(folder);
    QString candidate = dir.filePath(name);
    const QFileInfo info(name);
    const QString stem = info.completeBaseName();
    const QString suffix = info.suffix();
    for (int n = 2; QFileInfo::exists(candidate) && n < 100000; ++n)
        candidate = dir.filePath(QStringLiteral("%1-%2.%3").arg(stem).arg(n).arg(suffix));
    return candidate;
}

bool Uploads::multipartFile(const QByteArray& body, const QByteArray& contentType, QString* name,
                            QByteArray* bytes)
{
    const qsizetype at = contentType.indexOf("boundary=");
    if (at < 0)
        return false;
    QByteArray boundary = contentType.mid(at + 9);
    if (const qsizetype semicolon = boundary.indexOf(';'); semicolon >= 0)
        boundary.truncate(semicolon);
    boundary = boundary.trimmed();
    if (boundary.startsWith('"') && boundary.endsWith('"') && boundary.size() >= 2)
        boundary = boundary.mid(1, boundary.size() - 2);
    if (boundary.isEmpty())
        return false;
    const QByteArray delimiter = "--" + boundary;
    qsizetype pos = body.indexOf(delimiter);
    while (pos >= 0) {
        const qsizetype headersStart = pos + delimiter.size() + 2; // past CRLF
        const qsizetype headersEnd = body.indexOf("\r\n\r\n", headersStart);
        if (headersEnd < 0)
            return false;
        const QByteArray headers = body.mid(headersStart, headersEnd - headersStart);
        const qsizetype next = body.indexOf("\r\n" + delimiter, headersEnd + 4);
        if (next < 0)
            return false;
        const qsizetype filename = headers.indexOf("filename=\"");
        if (filename >= 0) {
            const qsizetype end = headers.indexOf('"', filename + 10);
            if (end < 0)
                return false;
            *name = QString::fromUtf8(headers.mid(filename + 10, end - filename - 10));
            *bytes = body.mid(headersEnd + 4, next - headersEnd - 4);
            return true;
        }
        pos = next + 2;
    }
    return false;
}
