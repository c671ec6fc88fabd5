#pragma once

#include <QObject>
#include <QTimer>

class ProjectController;

// Manual play's keys: while the wall plays with manual play on, a digit pressed twice within a
// second moves on: "11" the previous item, "22" the next, "33" the first, "44" the last. Any other
// key, or the second press too late, cancels. With zones they move the zone set here.
class ManualKeys final : public QObject
{
    Q_OBJECT

public:
    static constexpr int kPairMs = 1000;

    explicit ManualKeys(ProjectController& controller, QObject* parent = nullptr);

    // A key as Qt names it (Qt::Key_1 ...); a key from the keypad counts as another key.
    void press(int key, bool keypad = false);
    bool pending() const { return m_pending; }
    // The zone the keys move (the control window's selected one); the first by default.
    void setZone(int zone) { m_zone = zone; }
    int zone() const { return m_zone; }

private:
    void cancel();

    ProjectController& m_controller;
    QTimer m_timer;
    bool m_pending = false;
    int m_key = 0;
    int m_zone = 0;
};
