#pragma once

// Registers the player of every item kind, and the GIF reader's test for which GIF files animate.
// The program, the tool and the test mains call it once at start, before any area plays.
namespace Players {

void registerAll();

} // namespace Players
