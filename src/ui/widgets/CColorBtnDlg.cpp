#include "CColorBtnDlg.h"

#include "CColorBtn.h"
#include "ColorPalette.h"
#include "base/ColorRef.h"
#include "base/StringTable.h"

#include <QAbstractButton>
#include <QGridLayout>
#include <QGuiApplication>
#include <QPainter>
#include <QPushButton>
#include <QScreen>

namespace {

// One swatch: the slot's colour, no outline.
class Swatch final : public QAbstractButton
{
public:
    Swatch(int slot, QWidget* parent) : QAbstractButton(parent), m_slot(slot)
    {
        setFixedSize(18, 16);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.fillRect(rect(),
                         QColor::fromRgb(colorRefToRgb(ColorPalette::shared().color(m_slot))));
    }

private:
    int m_slot;
};

} // namespace

CColorBtnDlg::CColorBtnDlg(QWidget* parent) : QDialog(parent, Qt::Popup | Qt::FramelessWindowHint)
{
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(3, 3, 3, 3);
    grid->setSpacing(2);
    for (int slot = 0; slot < ColorPalette::kSize; ++slot) {
        auto* swatch = new Swatch(slot, this);
        swatch->setObjectName(QStringLiteral("swatch%1").arg(slot));
        connect(swatch, &QAbstractButton::clicked, this, [this, slot] { chooseSwatch(slot); });
        grid->addWidget(swatch, slot / 4, slot % 4);
    }
    auto* other = new QPushButton(dialogText("Other...", "其他..."), this);
    other->setObjectName(QStringLiteral("other"));
    connect(other, &QPushButton::clicked, this, &CColorBtnDlg::chooseOther);
    grid->addWidget(other, 5, 0, 1, 4);
    adjustSize();
}

int CColorBtnDlg::runFor(const QWidget& button)
{
    const QRect onScreen(button.mapToGlobal(QPoint(0, 0)), button.size());
    const QScreen* screen = button.screen() ? button.screen() : QGuiApplication::primaryScreen();
    move(colorPopupPosition(onScreen, size(), screen->geometry().size()));
    m_chosen = -1;
    return exec();
}

void CColorBtnDlg::chooseSwatch(int slot)
{
    m_chosen = slot;
    ColorPalette::shared().choose(slot);
    accept();
}

void CColorBtnDlg::chooseOther()
{
    const std::optional<QColor> picked = CColorBtn::colorChooser()(this, Qt::white);
    if (!picked)
        return; // the palette stays open
    m_chosen = ColorPalette::shared().chooseOther(rgbToColorRef(picked->rgb()));
    accept();
}
