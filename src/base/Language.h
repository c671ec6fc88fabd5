#pragma once

#include "StringTable.h"

#include <optional>

// The stored "Tessarin"/"Language" value and what it selects: a locale identifier (LCID), a
// run-time locale, and which of the two text sets the interface shows.
namespace Language {

struct Entry
{
    int value;             // stored in "Tessarin"/"Language"
    int localeId;          // Windows LCID
    const char* posixName; // run-time locale on this platform
};

// The entry for a stored value 1..9; nothing for 0 or any other value.
std::optional<Entry> entryForValue(int value);
// The entry whose locale identifier this is, if it is one of the nine.
std::optional<Entry> entryForLocaleId(int localeId);

// The LCID of the system's (or, after apply, the program's) locale.
int currentLocaleId();

// Only English and Simplified Chinese text sets exist: any Chinese locale shows the Chinese set,
// every other locale the English one.
TextSet textSetForLocaleId(int localeId);

// Start-up steps 4 and 5: maps the stored value, applies the locale, chooses the text set and
// returns it. A value outside 1..9 leaves the current locale in force.
TextSet apply(int storedValue);

// Loads Qt's own texts (dialog buttons, the file and colour dialogs) for the text set in force;
// false when there are none for it (English needs none, or the translations are not installed).
bool installQtTexts();

} // namespace Language
