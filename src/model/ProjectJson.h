#pragma once

#include <QJsonObject>
#include <QString>

class CAct;

// The project as JSON: {"area": {...}, "caption": TEXTBLOCK, "items": [...], "sections": [...]}.
// Fields go by their names; a text block's rect is [left, top, right, bottom]; an item names its
// class in "class"; image and GIF items carry "texts". Strings are Unicode.
QJsonObject projectToJson(CAct& area);

// Fills a new area from JSON. A field left out keeps its kind's default; a field of the wrong
// type, an unknown field or an unknown class is refused with a message that names where it is.
bool projectFromJson(const QJsonObject& json, CAct& area, QString* errorText);
