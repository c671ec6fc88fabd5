#pragma once

#include <QString>

class QTextStream;

struct RenderOptions
{
    QString projectPath;
    QString outDir;
    bool fast = false; // every wait takes no time
    int loops = 1;
};

// tessarin-tool render: plays the project's playlist headless on the real players and engine and
// writes the LED rectangle as OUT_DIR/NNNN.png each time a page or picture has fully entered,
// with one line per picture in OUT_DIR/log.jsonl. 0, or 1 with the error on err.
int renderProject(const RenderOptions& options, QTextStream& out, QTextStream& err);
