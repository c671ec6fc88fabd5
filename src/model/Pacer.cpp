#include "Pacer.h"

#include "CAct.h"

Pacer::Pacer(CAct& area) : m_area(area), m_deadline(area.clock().now()) {}

bool Pacer::wait(int ms)
{
    if (ms > 0)
        m_deadline += std::chrono::milliseconds(ms);
    return m_area.WaitStopUntil(m_deadline);
}

bool Pacer::gate()
{
    return m_area.PassPauseGate();
}
