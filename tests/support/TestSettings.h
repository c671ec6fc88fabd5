#pragma once

#include <QString>

// The settings store of the tests lives in a temporary folder, never in the user's own.
namespace TestSettings {

// Points the store at a fresh temporary folder; called once by the test main.
void redirect();
// Empties the store, as on a machine where the program never ran.
void clear();
// The folder the store lives in.
QString folder();

} // namespace TestSettings
