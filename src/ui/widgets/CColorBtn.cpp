#include "CColorBtn.h"

#include "CColorBtnDlg.h"
#include "ColorPalette.h"
#include "base/ColorRef.h"

#include <QColorDialog>
#include <QPainter>

namespace {

const QColor kGrey(0x80, 0x80, 0x80);

} // namespace

CColorBtn::CColorBtn(QWidget* parent) : QPushButton(parent)
{
    setMinimumSize(48, 22);
    // Never the dialog's default button: Enter in a number field must not open the palette.
    setAutoDefault(false);
    setDefault(false);
    // Connected first, so it runs before any handler of the owner.
    connect(this, &QPushButton::clicked, this, &CColorBtn::openPopup);
}

void CColorBtn::setColor(int colorRef)
{
    m_color = colorRef;
    update();
}

CColorBtn::ColorChooser& CColorBtn::colorChooser()
{
    static ColorChooser chooser = [](QWidget* parent, QColor initial) -> std::optional<QColor> {
        const QColor c = QColorDialog::getColor(initial, parent);
        return c.isValid() ? std::optional<QColor>(c) : std::nullopt;
    };
    return chooser;
}

void CColorBtn::setColorChooser(ColorChooser chooser)
{
    colorChooser() = std::move(chooser);
}

void CColorBtn::openPopup()
{
    CColorBtnDlg popup(this);
    if (popup.runFor(*this) != QDialog::Accepted || popup.chosenIndex() < 0)
        return;
    setColor(ColorPalette::shared().color(popup.chosenIndex()));
    emit colorPicked(m_color);
}

void CColorBtn::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const int L = 0, T = 0, R = width(), B = height();
    p.fillRect(rect(), palette().color(QPalette::Button));
    const bool pressed = isDown();
    if (!pressed) {
        p.setPen(Qt::black);
        p.drawPolyline(QPolygon({QPoint(L, B - 1), QPoint(R - 1, B - 1), QPoint(R - 1, T)}));
        p.setPen(kGrey);
        p.drawPolyline(
            QPolygon({QPoint(L + 1, B - 2), QPoint(R - 2, B - 2), QPoint(R - 2, T + 1)}));
        p.setPen(Qt::white);
        p.drawPolyline(QPolygon({QPoint(R - 2, T), QPoint(L + 1, T), QPoint(L + 1, B - 2)}));
    } else {
        p.setPen(kGrey);
        p.drawPolyline(QPolygon({QPoint(L, B - 1), QPoint(L, T), QPoint(R - 1, T)}));
        p.setPen(Qt::white);
        p.drawPolyline(QPolygon({QPoint(R - 1, T), QPoint(R - 1, B - 1), QPoint(L + 1, B - 1)}));
        p.setPen(Qt::black);
        p.drawPolyline(
            QPolygon({QPoint(L + 1, B - 2), QPoint(L + 1, T + 1), QPoint(R - 2, T + 1)}));
        p.translate(1, 1);
    }
    // Separator.
    p.setPen(Qt::white);
    p.drawLine(R - 10, T + 4, R - 10, B - 4);
    p.setPen(kGrey);
    p.drawLine(R - 11, T + 4, R - 11, B - 4);
    // Arrow.
    const int m = B / 2;
    const bool enabled = isEnabled();
    p.setPen(enabled ? Qt::black : kGrey);
    p.drawLine(R - 4, m - 1, R - 9, m - 1);
    p.drawLine(R - 5, m, R - 8, m);
    p.drawPoint(R - 6, m + 1);
    if (!enabled) {
        p.setPen(Qt::white);
        p.drawPoint(R - 4, m - 1);
        p.drawPoint(R - 5, m);
        p.drawPoint(R - 6, m + 1);
        return;
    }
    // Swatch, outlined with the arrow's pen.
    p.setBrush(QColor::fromRgb(colorRefToRgb(m_color)));
    // The outline covers (L + 5, T + 4) to (R - 16, B - 5): the right and bottom edges are outside.
    p.drawRect(L + 5, T + 4, (R - 15) - (L + 5) - 1, (B - 4) - (T + 4) - 1);
    if (hasFocus()) {
        p.setPen(Qt::black);
        for (int x = L + 3; x <= R - 4; x += 2) {
            p.drawPoint(x, T + 3);
            p.drawPoint(x, B - 4);
        }
        for (int y = T + 3; y <= B - 4; y += 2) {
            p.drawPoint(L + 3, y);
            p.drawPoint(R - 4, y);
        }
    }
}
