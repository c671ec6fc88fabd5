#include "ZoneEditor.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

constexpr double kGripPx = 5.0; // how near an edge a press takes the edge
constexpr double kSnapPx = 6.0; // how near another edge a dragged edge snaps to it

// The line among `lines` nearest to `value`, when within `snap`; else `value`. `found` says
// whether one was.
int snapped(int value, const std::vector<int>& lines, int snap, bool* found = nullptr)
{
    int best = value;
    int bestDistance = snap + 1;
    for (const int line : lines)
        if (const int distance = std::abs(line - value); distance < bestDistance) {
            best = line;
            bestDistance = distance;
        }
    if (found)
        *found = bestDistance <= snap;
    return best;
}

// How far a moved span [from, from + length) shifts to snap its nearer edge to a line.
int snapShift(int from, int length, const std::vector<int>& lines, int snap)
{
    bool startFound = false;
    bool endFound = false;
    const int byStart = snapped(from, lines, snap, &startFound) - from;
    const int byEnd = snapped(from + length, lines, snap, &endFound) - (from + length);
    if (startFound && (!endFound || std::abs(byStart) <= std::abs(byEnd)))
        return byStart;
    return endFound ? byEnd : 0;
}

} // namespace

ZoneEditor::ZoneEditor(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("zoneEditor"));
    setMouseTracking(true);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

QSize ZoneEditor::sizeHint() const
{
    return {180, 64};
}

QSize ZoneEditor::minimumSizeHint() const
{
    return {120, 64};
}

void ZoneEditor::setLedSize(QSize led)
{
    m_led = led.expandedTo(QSize(1, 1));
    update();
}

void ZoneEditor::setZones(const std::vector<AreaZone>& zones)
{
    m_zones = zones;
    m_selected = std::clamp(m_selected, 0, std::max(0, int(m_zones.size()) - 1));
    m_grip = Grip::None;
    update();
}

void ZoneEditor::setSelectedZone(int zone)
{
    zone = std::clamp(zone, 0, std::max(0, int(m_zones.size()) - 1));
    if (zone == m_selected)
        return;
    m_selected = zone;
    update();
    emit zoneSelected(zone);
}

void ZoneEditor::setWallPicture(const QImage& wall)
{
    m_wall = wall;
    update();
}

QRect ZoneEditor::draggedRect(const std::vector<AreaZone>& zones, int index, Grip grip,
                              QPoint delta, QSize led, int snap)
{
    const QRect start = zones[size_t(index)].rect;
    // Edges as lines between pixels: right and bottom one past the last pixel.
    int left = start.x();
    int top = start.y();
    int right = start.x() + start.width();
    int bottom = start.y() + start.height();
    std::vector<int> columns{0, led.width()};
    std::vector<int> rows{0, led.height()};
    for (int k = 0; k < int(zones.size()); ++k) {
        if (k == index)
            continue;
        const QRect& other = zones[size_t(k)].rect;
        columns.insert(columns.end(), {other.x(), other.x() + other.width()});
        rows.insert(rows.end(), {other.y(), other.y() + other.height()});
    }
    const bool moveLeft = grip == Grip::Move || grip == Grip::Left || grip == Grip::TopLeft ||
                          grip == Grip::BottomLeft;
    const bool moveRight = grip == Grip::Move || grip == Grip::Right || grip == Grip::TopRight ||
                           grip == Grip::BottomRight;
    const bool moveTop =
        grip == Grip::Move || grip == Grip::Top || grip == Grip::TopLeft || grip == Grip::TopRight;
    const bool moveBottom = grip == Grip::Move || grip == Grip::Bottom ||
                            grip == Grip::BottomLeft || grip == Grip::BottomRight;
    if (grip == Grip::Move) {
        const int width = right - left;
        const int height = bottom - top;
        // The nearer of the two edges snaps and the other follows; the whole stays on the LED.
        int x = left + delta.x();
        x += snapShift(x, width, columns, snap);
        int y = top + delta.y();
        y += snapShift(y, height, rows, snap);
        x = std::clamp(x, 0, std::max(0, led.width() - width));
        y = std::clamp(y, 0, std::max(0, led.height() - height));
        return QRect(x, y, width, height);
    }
    if (moveLeft)
        left = std::clamp(snapped(left + delta.x(), columns, snap), 0, right - 1);
    if (moveRight)
        right = std::clamp(snapped(right + delta.x(), columns, snap), left + 1, led.width());
    if (moveTop)
        top = std::clamp(snapped(top + delta.y(), rows, snap), 0, bottom - 1);
    if (moveBottom)
        bottom = std::clamp(snapped(bottom + delta.y(), rows, snap), top + 1, led.height());
    return QRect(left, top, right - left, bottom - top);
}

QRectF ZoneEditor::ledArea() const
{
    const QRectF room = QRectF(rect()).adjusted(2, 2, -2, -2);
    const double scale = std::min(room.width() / m_led.width(), room.height() / m_led.height());
    const QSizeF size(m_led.width() * scale, m_led.height() * scale);
    return QRectF(room.center() - QPointF(size.width() / 2, size.height() / 2), size);
}

QPoint ZoneEditor::ledPoint(QPointF at) const
{
    const QRectF area = ledArea();
    const double scale = area.width() / m_led.width();
    return QPoint(int(std::floor((at.x() - area.x()) / scale)),
                  int(std::floor((at.y() - area.y()) / scale)));
}

QRectF ZoneEditor::toWidget(const QRect& led) const
{
    const QRectF area = ledArea();
    const double scale = area.width() / m_led.width();
    return QRectF(area.x() + led.x() * scale, area.y() + led.y() * scale, led.width() * scale,
                  led.height() * scale);
}

ZoneEditor::Grip ZoneEditor::gripAt(QPointF at, int* zone) const
{
    if (m_selected < int(m_zones.size())) {
        const QRectF r = toWidget(m_zones[size_t(m_selected)].rect);
        const bool nearLeft = std::abs(at.x() - r.left()) <= kGripPx;
        const bool nearRight = std::abs(at.x() - r.right()) <= kGripPx;
        const bool nearTop = std::abs(at.y() - r.top()) <= kGripPx;
        const bool nearBottom = std::abs(at.y() - r.bottom()) <= kGripPx;
        const bool acrossX = at.x() >= r.left() - kGripPx && at.x() <= r.right() + kGripPx;
        const bool acrossY = at.y() >= r.top() - kGripPx && at.y() <= r.bottom() + kGripPx;
        Grip grip = Grip::None;
        if (nearLeft && nearTop)
            grip = Grip::TopLeft;
        else if (nearRight && nearTop)
            grip = Grip::TopRight;
        else if (nearLeft && nearBottom)
            grip = Grip::BottomLeft;
        else if (nearRight && nearBottom)
            grip = Grip::BottomRight;
        else if (nearLeft && acrossY)
            grip = Grip::Left;
        else if (nearRight && acrossY)
            grip = Grip::Right;
        else if (nearTop && acrossX)
            grip = Grip::Top;
        else if (nearBottom && acrossX)
            grip = Grip::Bottom;
        else if (r.contains(at))
            grip = Grip::Move;
        if (grip != Grip::None) {
            *zone = m_selected;
            return grip;
        }
    }
    for (int k = 0; k < int(m_zones.size()); ++k)
        if (toWidget(m_zones[size_t(k)].rect).contains(at)) {
            *zone = k;
            return Grip::Move;
        }
    *zone = -1;
    return Grip::None;
}

void ZoneEditor::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().window());
    const QRectF area = ledArea();
    if (m_wall.isNull())
        painter.fillRect(area, QColor(40, 40, 40));
    else
        painter.drawImage(area, m_wall);
    painter.setFont(font());
    for (int k = 0; k < int(m_zones.size()); ++k) {
        const bool selected = k == m_selected;
        const QRectF r = toWidget(m_zones[size_t(k)].rect).adjusted(0.5, 0.5, -0.5, -0.5);
        painter.setPen(
            QPen(selected ? QColor(255, 200, 0) : QColor(0, 200, 255), selected ? 2 : 1));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(r);
        const QString label = AreaZones::nameOf(m_zones[size_t(k)], k);
        painter.setPen(Qt::white);
        painter.drawText(r.adjusted(3, 1, -2, -1), Qt::AlignLeft | Qt::AlignTop, label);
        if (selected)
            for (const QPointF corner :
                 {r.topLeft(), r.topRight(), r.bottomLeft(), r.bottomRight()})
                painter.fillRect(QRectF(corner - QPointF(2.5, 2.5), QSizeF(5, 5)),
                                 QColor(255, 200, 0));
    }
}

void ZoneEditor::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    int zone = -1;
    const Grip grip = gripAt(event->position(), &zone);
    if (zone < 0)
        return;
    setSelectedZone(zone);
    m_grip = grip;
    m_pressAt = event->position();
    m_before = m_zones;
}

void ZoneEditor::mouseMoveEvent(QMouseEvent* event)
{
    if (m_grip == Grip::None) {
        int zone = -1;
        switch (gripAt(event->position(), &zone)) {
        case Grip::Left:
        case Grip::Right:
            setCursor(Qt::SizeHorCursor);
            break;
        case Grip::Top:
        case Grip::Bottom:
            setCursor(Qt::SizeVerCursor);
            break;
        case Grip::TopLeft:
        case Grip::BottomRight:
            setCursor(Qt::SizeFDiagCursor);
            break;
        case Grip::TopRight:
        case Grip::BottomLeft:
            setCursor(Qt::SizeBDiagCursor);
            break;
        case Grip::Move:
            setCursor(Qt::SizeAllCursor);
            break;
        case Grip::None:
            unsetCursor();
            break;
        }
        return;
    }
    const double scale = ledArea().width() / m_led.width();
    const QPointF moved = (event->position() - m_pressAt) / scale;
    const QPoint delta(int(std::lround(moved.x())), int(std::lround(moved.y())));
    const int snap = std::max(1, int(std::lround(kSnapPx / scale)));
    m_zones[size_t(m_selected)].rect =
        draggedRect(m_before, m_selected, m_grip, delta, m_led, snap);
    update();
}

void ZoneEditor::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || m_grip == Grip::None)
        return;
    m_grip = Grip::None;
    if (m_zones != m_before)
        emit zonesEdited(m_zones);
}
