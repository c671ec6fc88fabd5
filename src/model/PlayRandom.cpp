#include "PlayRandom.h"

#include <random>

namespace PlayRandom {
namespace {

std::minstd_rand& generator()
{
    thread_local std::minstd_rand g{1};
    return g;
}

} // namespace

void seed(unsigned int value)
{
    generator().seed(value == 0 ? 1 : value);
}

int next()
{
    return static_cast<int>(generator()() % 32768);
}

} // namespace PlayRandom
