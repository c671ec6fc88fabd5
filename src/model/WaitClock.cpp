#include "WaitClock.h"

SteadyWaitClock& SteadyWaitClock::instance()
{
    static SteadyWaitClock clock;
    return clock;
}
