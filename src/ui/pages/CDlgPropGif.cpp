#include "CDlgPropGif.h"

#include "model/CPropGif.h"

#include <QGridLayout>
#include <QLabel>
#include <QToolButton>

void CDlgPropGif::build(QGridLayout* grid, int& row)
{
    addBackground(grid, row);
    // The same texts in both sets on this page.
    findChild<QToolButton*>(QStringLiteral("1103"))->setToolTip(QStringLiteral("浏览..."));
    grid->addWidget(new QLabel(dialogText("Effects:", "效果:"), this), row, 0);
    m_fit = listCombo(1080, StringId::GifFitModes, grid, row++, 1);
    addPreview(grid, row, StringId::TipPreview);
    findChild<QToolButton*>(QStringLiteral("1092"))->setToolTip(QStringLiteral("预览当前GIF"));
    connect(m_fit, &QComboBox::activated, this, [this](int index) {
        if (index >= 0)
            store<CPropGif>([index](CPropGif& it) { it.fitMode = index; });
    });
}

void CDlgPropGif::show(CPropBase& base)
{
    m_fit->setCurrentIndex(static_cast<CPropGif&>(base).fitMode);
}
