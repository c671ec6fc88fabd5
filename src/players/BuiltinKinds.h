#pragma once

// Puts every item kind the program has into the kinds table: its stored class name, the file
// extensions that make it, its factory, its player and its features. The program, the tool and
// the test mains call it once at start, before any project is read or any area plays; later
// calls do nothing.
void registerBuiltinKinds();
