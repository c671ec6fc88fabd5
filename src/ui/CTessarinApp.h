#pragma once

#include "base/RecentFileList.h"
#include "base/StringTable.h"

// The program's entry: prepares the settings store, applies the stored language and runs the
// control window modally; the program ends with it.
class CTessarinApp
{
public:
    // Always false: the control window's modal run is the program's only message loop.
    bool InitInstance();

private:
    RecentFileList m_recentFiles;
};
