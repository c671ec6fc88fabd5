#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>

// Placeholders in a text item's file that show the time as it passes:
//   {time} {time:FORMAT} {date} {date:FORMAT} {weekday}   Qt date-time formats, in `locale`
//   {countdown:2027-01-01T00:00|FORMAT}                    what is left until then (d, dd, h, hh,
//                                                          m, mm, s, ss; never below zero)
//   {{ and }}                                              a brace
// Anything else in braces is left as it stands.
namespace LiveFields {

// Whether the text holds a placeholder at all.
bool hasFields(const QString& text);
QString expand(const QString& text, const QDateTime& now, const QLocale& locale);
// What is left until `target`, in a countdown FORMAT ("d hh:mm:ss" when empty).
QString countdown(qint64 secondsLeft, const QString& format);
// The locale of the interface's text set: Simplified Chinese or English.
QLocale interfaceLocale();

} // namespace LiveFields
