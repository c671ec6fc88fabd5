#include "ManualKeys.h"

#include "ProjectController.h"
#include "model/CAct.h"

#include <atomic>

ManualKeys::ManualKeys(ProjectController& controller, QObject* parent)
    : QObject(parent), m_controller(controller)
{
    m_timer.setSingleShot(true);
    m_timer.setInterval(kPairMs);
    connect(&m_timer, &QTimer::timeout, this, [this] { m_pending = false; });
}

void ManualKeys::cancel()
{
    m_timer.stop();
    m_pending = false;
}

void ManualKeys::press(int key, bool keypad)
{
    const bool digit = !keypad && key >= Qt::Key_1 && key <= Qt::Key_4;
    const CAct& area = m_controller.area();
    // The settings dialog may change it while the wall plays.
    const bool manual = area.manualPlay();
    if (!area.isPlaying() || !manual) {
        cancel();
    } else if (digit && !m_pending) {
        m_key = key;
        m_pending = true;
        m_timer.start();
    } else if (m_pending && digit && key == m_key) {
        cancel();
        switch (key) {
        case Qt::Key_1:
            m_controller.previous(m_zone);
            break;
        case Qt::Key_2:
            m_controller.next(m_zone);
            break;
        case Qt::Key_3:
            m_controller.first(m_zone);
            break;
        default:
            m_controller.last(m_zone);
            break;
        }
    } else {
        cancel();
    }
}
