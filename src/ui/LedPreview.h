#pragma once

#include <QLabel>
#include <QTimer>

class CAct;

// A live, scaled view of the LED picture in the control window: at most ten pictures a second,
// and none while it is hidden.
class LedPreview final : public QLabel
{
    Q_OBJECT

public:
    explicit LedPreview(const CAct& area, QWidget* parent = nullptr);

    static constexpr int kIntervalMs = 100;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void refresh();

    const CAct& m_area;
    QTimer m_timer;
};
