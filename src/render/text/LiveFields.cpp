#include "LiveFields.h"

#include "base/StringTable.h"

#include <algorithm>
#include <vector>

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
    // Runs of one letter outside quotes, as Qt's formats have them: 'text' is literal, '' a quote.
    struct Run
    {
        QChar letter; // null: literal text
        int length;
        QString text;
    };
    std::vector<Run> runs;
    bool hasDays = false, hasHours = false, hasMinutes = false;
    for (qsizetype i = 0; i < pattern.size();) {
        const QChar c = pattern[i];
        if (c == QLatin1Char('\'')) {
            qsizetype end = i + 1;
            QString literal;
            while (end < pattern.size()) {
                if (pattern[end] == QLatin1Char('\'')) {
                    if (end + 1 < pattern.size() && pattern[end + 1] == QLatin1Char('\'')) {
                        literal += QLatin1Char('\'');
                        end += 2;
                        continue;
                    }
                    break;
                }
                literal += pattern[end++];
            }
            runs.push_back(Run{
                QChar(), 0, end == i + 1 && end < pattern.size() ? QStringLiteral("'") : literal});
            i = end + 1;
            continue;
        }
        qsizetype run = 1;
        while (i + run < pattern.size() && pattern[i + run] == c)
            ++run;
        const bool token = c == QLatin1Char('d') || c == QLatin1Char('h') ||
                           c == QLatin1Char('m') || c == QLatin1Char('s');
        hasDays = hasDays || c == QLatin1Char('d');
        hasHours = hasHours || c == QLatin1Char('h');
        hasMinutes = hasMinutes || c == QLatin1Char('m');
        runs.push_back(token ? Run{c, int(run), QString()} : Run{QChar(), 0, QString(run, c)});
        i += run;
    }
    // Without days in the format the hours hold them; without hours the minutes, and so on.
    const qint64 left = std::max<qint64>(0, secondsLeft);
    const qint64 d = hasDays ? left / 86400 : 0;
    qint64 rest = left - d * 86400;
    const qint64 h = hasHours ? rest / 3600 : 0;
    rest -= h * 3600;
    const qint64 m = hasMinutes ? rest / 60 : 0;
    const qint64 s = rest - m * 60;
    QString out;
    for (const Run& r : runs) {
        if (r.letter.isNull()) {
            out += r.text;
            continue;
        }
        const qint64 value = r.letter == QLatin1Char('d')   ? d
                             : r.letter == QLatin1Char('h') ? h
                             : r.letter == QLatin1Char('m') ? m
                                                            : s;
        out += QString::number(value).rightJustified(std::min(r.length, 2), QLatin1Char('0'));
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
