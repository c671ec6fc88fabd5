#include "RichTextPage.h"

#include "model/CPropRtf.h"

#include <QCheckBox>
#include <QGridLayout>

void RichTextPage::build(QGridLayout* grid, int& row)
{
    addBackground(grid, row);
    addMagic(grid, row);
    addSpeedAndHold(grid, row);
    m_reverse = new QCheckBox(dialogText("show with reverse color", "颜色反转显示"), this);
    m_reverse->setObjectName(QStringLiteral("1202"));
    grid->addWidget(m_reverse, row++, 0, 1, 4);
    addPreview(grid, row, StringId::TipPreviewText);
    connectTiming<CPropRtf>();
    connect(m_reverse, &QCheckBox::clicked, this,
            [this](bool on) { store<CPropRtf>([on](CPropRtf& it) { it.reverseColors = on; }); });
}

void RichTextPage::show(CPropBase& base)
{
    auto& it = static_cast<CPropRtf&>(base);
    showTiming(it);
    m_reverse->setChecked(it.reverseColors);
}
