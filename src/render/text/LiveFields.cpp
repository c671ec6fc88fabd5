#include "LiveFields.h"

#include "base/StringTable.h"

#include <algorithm>

namespace {

const QString kDefaultTime = QStringLiteral("HH:mm:ss");
const QString kDefaultDate = QStringLiteral("yyyy-MM-dd");
const QString kDefaultCountdown = QStringLiteral("d hh:mm:ss");

// The value of one placeholder (the text between its braces); null when it is none of ours.
QString field(const QString& body, const QDateTime& now, const QLocale& locale)
{
    const qsizetype colon = body.indexOf(QLatin1Char(':'));
    const QString name = colon < 0 ? body : body.left(colon);
    const QString argument = colon < 0 ? QString() : body.mid(colon + 1);
    if (name == QLatin1String("time"))
        return locale.toString(now, argument.isEmpty() ? kDefaultTime : argument);
    if (name == QLatin1String("date"))
        return locale.toString(now, argument.isEmpty() ? kDefaultDate : argument);
    if (name == QLatin1String("weekday") && colon < 0)
        return locale.dayName(now.date().dayOfWeek());
    if (name == QLatin1String("countdown") && colon >= 0) {
        const qsizetype bar = argument.indexOf(QLatin1Char('|'));
        const QString when = bar < 0 ? argument : argument.left(bar);
        const QDateTime target = QDateTime::fromString(when, Qt::ISODate);
        if (!target.isValid())
            return QString();
        return LiveFields::countdown(std::max<qint64>(0, now.secsTo(target)),
                                     bar < 0 ? QString() : argument.mid(bar + 1));
    }
    return QString();
}

} // namespace

bool LiveFields::hasFields(const QString& text)
{
    return text.contains(QLatin1Char('{')) || text.contains(QLatin1Char('}'));
}

QString LiveFields::countdown(qint64 secondsLeft, const QString& format)
{
    const QString pattern = format.isEmpty() ? kDefaultCountdown : format;
    const qint64 left = std::max<qint64>(0, secondsLeft);
    // Without days in the format the hours hold them; without hours the minutes, and so on.
    const bool days = pattern.contains(QLatin1Char('d'));
    const bool hours = pattern.contains(QLatin1Char('h'));
    const bool minutes = pattern.contains(QLatin1Char('m'));
    const qint64 d = days ? left / 86400 : 0;
    qint64 rest = left - d * 86400;
    const qint64 h = hours ? rest / 3600 : 0;
    rest -= h * 3600;
    const qint64 m = minutes ? rest / 60 : 0;
    const qint64 s = rest - m * 60;
    QString out;
    for (qsizetype i = 0; i < pattern.size();) {
        const QChar c = pattern[i];
        qsizetype run = 1;
        while (i + run < pattern.size() && pattern[i + run] == c)
            ++run;
        const qint64 value = c == QLatin1Char('d')   ? d
                             : c == QLatin1Char('h') ? h
                             : c == QLatin1Char('m') ? m
                             : c == QLatin1Char('s') ? s
                                                     : -1;
        if (value < 0)
            out += QString(run, c);
        else
            out += QString::number(value).rightJustified(int(std::min<qsizetype>(run, 2)),
                                                         QLatin1Char('0'));
        i += run;
    }
    return out;
}

QString LiveFields::expand(const QString& text, const QDateTime& now, const QLocale& locale)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if ((c == QLatin1Char('{') || c == QLatin1Char('}')) && i + 1 < text.size() &&
            text[i + 1] == c) {
            out += c; // a doubled brace
            ++i;
            continue;
        }
        if (c == QLatin1Char('{')) {
            const qsizetype close = text.indexOf(QLatin1Char('}'), i + 1);
            if (close > i) {
                const QString value = field(text.mid(i + 1, close - i - 1), now, locale);
                if (!value.isNull()) {
                    out += value;
                    i = close;
                    continue;
                }
            }
        }
        out += c;
    }
    return out;
}

QLocale LiveFields::interfaceLocale()
{
    return textSet() == TextSet::Chinese ? QLocale(QLocale::Chinese, QLocale::China)
                                         : QLocale(QLocale::English, QLocale::UnitedStates);
}
