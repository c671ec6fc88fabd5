#pragma once

#include <QString>

// What the program was playing, kept in a small file beside the settings store so that after a
// crash or a power cut it comes back where it was. Written whole (temporary file and rename) at
// every item change; a clean exit marks it so, and a Stop records that nothing plays.
struct ResumeState
{
    QString project;
    int item = 0;
    bool playing = false;
    bool clean = true; // the program ended the usual way

    static QString path();
    // The state the last run left; a clean one when there is none or it cannot be read.
    static ResumeState load();
    bool save() const;
    // Whether the start should reopen `project` and play from `item`.
    bool shouldResume() const { return !clean && playing && !project.isEmpty(); }
};
