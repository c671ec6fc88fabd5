#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

class CAct;

// The project file: the area's ten settings, its caption, the playlist and the sections as one
// tagged-object stream with no header.

// The bytes of the project.
QByteArray projectToBytes(CAct& area);
// Reads a project from bytes into the area. On failure the area keeps its settings and caption
// but has no items and no sections, and errorText holds the archive message for `path`.
// Without `zones` it reads as a version that knows no zones: every item in one playlist, the
// first one's settings holding the zones as they were stored.
bool projectFromBytes(CAct& area, QByteArrayView bytes, const QString& path, QString* errorText,
                      bool zones = true);

// Writes to a temporary file beside the target and renames it over the target only once every
// byte is on disk, so a failed save never costs the project that was there.
bool saveProjectFile(CAct& area, const QString& path, QString* errorText);
// Why the area's zones cannot go into a project file (no item to keep them, or a first item
// whose settings are someone else's text); empty when they can, or there are none.
QString zonesNotStorable(const CAct& area);
// A file that cannot be opened leaves the area untouched.
bool loadProjectFile(CAct& area, const QString& path, QString* errorText);

// The checks before and after a read (CAct::checkProjectFile, CAct::checkProjectShape).
bool checkProjectFile(const QString& path, QString* why);
bool checkProjectShape(const CAct& area, const QString& path, QString* why);
