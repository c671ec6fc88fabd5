#pragma once

// The pseudo-random numbers of the players: one generator per thread, seeded with the time when
// the play thread starts, as the run-time library's rand() with srand(time(NULL)) would be.
namespace PlayRandom {

// Seeds the calling thread's generator.
void seed(unsigned int value);
// 0 .. 32767.
int next();

} // namespace PlayRandom
