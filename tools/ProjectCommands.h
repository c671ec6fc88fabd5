#pragma once

#include <QString>

class QTextStream;

// tessarin-tool dump FILE: the project as JSON on out; 0, or 1 with the error on err.
int dumpProject(const QString& path, QTextStream& out, QTextStream& err);
// tessarin-tool make IN.json OUT: a project file from JSON; 0, or 1 with the error on err and OUT
// untouched.
int makeProject(const QString& jsonPath, const QString& outPath, QTextStream& err);
