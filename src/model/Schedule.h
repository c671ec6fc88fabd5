#pragma once

#include <QDate>
#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QTime>

class CPropBase;

// When an item may play: "schedule" of its own settings, {"from": "2026-12-01", "until":
// "2026-12-31", "days": [1, 2, 3, 4, 5], "start": "08:00", "end": "18:00"}, every field optional,
// days ISO (Monday 1), local time. An end before the start is overnight: the hours after
// midnight belong to the day the window opened.
struct Schedule
{
    QDate from;      // invalid: no first day
    QDate until;     // invalid: no last day
    QList<int> days; // empty: every day
    QTime start;     // invalid: from midnight
    QTime end;       // invalid: to midnight

    static Schedule fromJson(const QJsonObject& object);
    QJsonObject toJson() const;
    // The item's schedule, read under its lock.
    static Schedule of(const CPropBase& item);
    bool isAlways() const;
    bool allows(const QDateTime& local) const;
};
