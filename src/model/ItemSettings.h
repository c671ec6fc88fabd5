#pragma once

#include <QJsonObject>
#include <QJsonValue>
#include <QString>

class CPropBase;

// An item's own settings beyond its stored fields: one JSON object in its reservedText, so that
// every reader of the project file still reads the item. Empty text means no settings; keys that
// this version does not know are kept when one setting is written. Callers hold the item's
// fields lock where a page and a player may meet.
namespace ItemSettings {

// The settings; empty when there are none or reservedText holds something other than an object.
QJsonObject read(const CPropBase& item);
// A number setting, or `fallback` when it is missing or not a number.
double number(const CPropBase& item, const QString& key, double fallback);
// Sets one key (a null or undefined value removes it) and keeps every other. False, changing
// nothing, when reservedText holds text that is not a JSON object: it is someone else's.
bool write(CPropBase& item, const QString& key, const QJsonValue& value);

} // namespace ItemSettings
