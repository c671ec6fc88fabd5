#include "PicturePage.h"

#include "model/CPropImage.h"

#include <QGridLayout>
#include <QLabel>

void PicturePage::build(QGridLayout* grid, int& row)
{
    addBackground(grid, row);
    addMagic(grid, row);
    addSpeedAndHold(grid, row);
    grid->addWidget(new QLabel(dialogText("Effects:", "效果:"), this), row, 0);
    m_fit = listCombo(1104, StringId::FitModes, grid, row++, 1);
    grid->addWidget(new QLabel(dialogText("clear:", "清场:"), this), row, 0);
    m_clear = listCombo(1184, StringId::ClearEffects, grid, row, 1);
    m_clearSpeed = digitsEdit(1233, dialogText("Clear speed:", "清场速度:"), grid, row++, 2);
    NumberField::limit(m_clearSpeed, 0, 100); // the same pacing as Speed
    addPreview(grid, row, StringId::TipPreview);

    connectTiming<CPropImage>();
    connect(m_fit, &QComboBox::activated, this, [this](int index) {
        if (index >= 0)
            store<CPropImage>([index](CPropImage& it) { it.fitMode = index; });
    });
    connectClearing<CPropImage>(m_clear, m_clearSpeed);
}

void PicturePage::show(CPropBase& base)
{
    auto& it = static_cast<CPropImage&>(base);
    showTiming(it);
    m_fit->setCurrentIndex(it.fitMode);
    showClearing(it, m_clear, m_clearSpeed);
}
