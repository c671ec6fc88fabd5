#pragma once

#include <QImage>
#include <QLabel>
#include <QTimer>

class CAct;

// A live view of the wall in the control window, as its audience sees it (the sections joined):
// at most ten pictures a second, and none while it is hidden.
class LedPreview final : public QLabel
{
    Q_OBJECT

public:
    explicit LedPreview(const CAct& area, QWidget* parent = nullptr);

    static constexpr int kIntervalMs = 100;

    // The largest whole number of times `picture` fits `room` each way; 0 when not even once.
    static int wholeScale(QSize picture, QSize room);
    // When it does not fit once: the smallest whole number n for which one preview dot per n x n
    // LED pixels fits `room`.
    static int wholeDivisor(QSize picture, QSize room);
    // The picture as the preview shows it in `room`: each LED pixel a square of the whole-number
    // scale, or, when it does not fit even once, each dot the mean of n x n LED pixels (every
    // pixel weighs in, so a one-pixel stroke stays visible where point sampling would drop it).
    static QImage fitted(const QImage& picture, QSize room);

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void refresh();

    const CAct& m_area;
    QTimer m_timer;
};
