#pragma once

#include "model/AreaZones.h"

#include <QImage>
#include <QWidget>

#include <vector>

// The zones drawn over a picture of the wall, to be picked, dragged and resized with the mouse.
// Everything is in LED pixels, so a drag moves by whole pixels; edges snap to the LED's and to
// the other zones' edges. The editor only proposes: `zonesEdited` says what the operator made,
// and whoever owns the zones takes them (or calls setZones with what holds).
class ZoneEditor final : public QWidget
{
    Q_OBJECT

public:
    // What a press takes hold of.
    enum class Grip
    {
        None,
        Move,
        Left,
        Right,
        Top,
        Bottom,
        TopLeft,
        TopRight,
        BottomLeft,
        BottomRight,
    };

    explicit ZoneEditor(QWidget* parent = nullptr);

    void setLedSize(QSize led);
    QSize ledSize() const { return m_led; }
    void setZones(const std::vector<AreaZone>& zones);
    const std::vector<AreaZone>& zones() const { return m_zones; }
    int selectedZone() const { return m_selected; }
    void setSelectedZone(int zone);
    // The wall as it shows now, under the zones; a null picture for the background alone.
    void setWallPicture(const QImage& wall);

    // Zone `index` of `zones` with the grip dragged by `delta` LED pixels: kept inside the LED
    // and at least a pixel each way, each moved edge snapped to the nearest LED or other zone
    // edge within `snap` pixels.
    static QRect draggedRect(const std::vector<AreaZone>& zones, int index, Grip grip, QPoint delta,
                             QSize led, int snap);

    // Where the LED lies in the widget, and the LED pixel under a widget point.
    QRectF ledArea() const;
    QPoint ledPoint(QPointF at) const;
    // The widget rectangle of an LED rectangle.
    QRectF toWidget(const QRect& led) const;
    // What a press at `at` would take: of the selected zone first (its edges and corners), then
    // the zone under it; `zone` says which.
    Grip gripAt(QPointF at, int* zone) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void zoneSelected(int zone);
    // A drag ended with the zones changed.
    void zonesEdited(const std::vector<AreaZone>& zones);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QSize m_led{1, 1};
    std::vector<AreaZone> m_zones;
    int m_selected = 0;
    QImage m_wall;
    // The drag under way.
    Grip m_grip = Grip::None;
    QPointF m_pressAt;
    std::vector<AreaZone> m_before;
};
