#pragma once

#include <QDateTime>
#include <QString>

class QTextStream;

struct RenderOptions
{
    QString projectPath;
    QString outDir;
    bool fast = false; // every wait takes no time
    int loops = 1;
    int everyMs = 0;     // also a picture every this many ms of play time; 0: none
    QDateTime wallClock; // where the wall clock starts; invalid: the system's
};

// tessarin-tool render: plays the project's playlist headless on the real players and engine and
// writes the LED rectangle as OUT_DIR/NNNN.png each time a page or picture has fully entered,
// with one line per picture in OUT_DIR/log.jsonl; with everyMs also every that many milliseconds
// of play time ("phase": "tick"). 0, or 1 with the error on err.
int renderProject(const RenderOptions& options, QTextStream& out, QTextStream& err);
