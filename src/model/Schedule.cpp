#include "Schedule.h"

#include "CPropBase.h"
#include "ItemSettings.h"

#include <QJsonArray>

#include <mutex>

namespace {

const QString kTimeFormat = QStringLiteral("HH:mm");

QTime parseTime(const QJsonValue& value)
{
    QTime time = QTime::fromString(value.toString(), kTimeFormat);
    if (!time.isValid())
        time = QTime::fromString(value.toString(), QStringLiteral("HH:mm:ss"));
    return time;
}

} // namespace

Schedule Schedule::fromJson(const QJsonObject& object)
{
    Schedule s;
    s.from = QDate::fromString(object.value(QStringLiteral("from")).toString(), Qt::ISODate);
    s.until = QDate::fromString(object.value(QStringLiteral("until")).toString(), Qt::ISODate);
    for (const QJsonValue& day : object.value(QStringLiteral("days")).toArray())
        if (day.isDouble() && day.toInt() >= 1 && day.toInt() <= 7 && !s.days.contains(day.toInt()))
            s.days << day.toInt();
    s.start = parseTime(object.value(QStringLiteral("start")));
    s.end = parseTime(object.value(QStringLiteral("end")));
    return s;
}

QJsonObject Schedule::toJson() const
{
    QJsonObject object;
    if (from.isValid())
        object.insert(QStringLiteral("from"), from.toString(Qt::ISODate));
    if (until.isValid())
        object.insert(QStringLiteral("until"), until.toString(Qt::ISODate));
    if (!days.isEmpty()) {
        QJsonArray list;
        for (int day : days)
            list.append(day);
        object.insert(QStringLiteral("days"), list);
    }
    if (start.isValid())
        object.insert(QStringLiteral("start"), start.toString(kTimeFormat));
    if (end.isValid())
        object.insert(QStringLiteral("end"), end.toString(kTimeFormat));
    return object;
}

Schedule Schedule::of(const CPropBase& item)
{
    std::lock_guard lock(item.fieldsMutex());
    return fromJson(ItemSettings::read(item).value(QStringLiteral("schedule")).toObject());
}

bool Schedule::isAlways() const
{
    return !from.isValid() && !until.isValid() && days.isEmpty() && !start.isValid() &&
           !end.isValid();
}

bool Schedule::allows(const QDateTime& local) const
{
    const QTime time = local.time();
    QDate day = local.date();
    const QTime opens = start.isValid() ? start : QTime(0, 0);
    if (start.isValid() && end.isValid() && end < start) {
        // Overnight: from the start to midnight, then on the next day up to the end.
        if (time >= start) {
        } else if (time < end) {
            day = day.addDays(-1);
        } else {
            return false;
        }
    } else {
        if (time < opens)
            return false;
        if (end.isValid() && end != opens && time >= end)
            return false;
    }
    if (!days.isEmpty() && !days.contains(day.dayOfWeek()))
        return false;
    if (from.isValid() && day < from)
        return false;
    if (until.isValid() && day > until)
        return false;
    return true;
}
