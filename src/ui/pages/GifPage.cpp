#include "GifPage.h"

#include "model/CPropGif.h"
#include "model/ItemSettings.h"

#include <QGridLayout>
#include <QLabel>
#include <QRegularExpressionValidator>
#include <QToolButton>

void GifPage::build(QGridLayout* grid, int& row)
{
    addBackground(grid, row);
    // The same texts in both sets on this page.
    findChild<QToolButton*>(QStringLiteral("1103"))->setToolTip(QStringLiteral("浏览..."));
    grid->addWidget(new QLabel(dialogText("Effects:", "效果:"), this), row, 0);
    m_fit = listCombo(1080, StringId::GifFitModes, grid, row++, 1);
    m_playTime =
        digitsEdit(kPlayTimeId, dialogText("Play time (s)", "播放时间(秒)"), grid, row++, 0);
    m_playTime->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("[0-9]{0,5}([.][0-9]?)?")), m_playTime));
    addPreview(grid, row, StringId::TipPreview);
    findChild<QToolButton*>(QStringLiteral("1092"))->setToolTip(QStringLiteral("预览当前GIF"));
    connect(m_fit, &QComboBox::activated, this, [this](int index) {
        if (index >= 0)
            store<CPropGif>([index](CPropGif& it) { it.fitMode = index; });
    });
    connect(m_playTime, &QLineEdit::textEdited, this, [this](const QString& value) {
        bool number = false;
        const double seconds = value.toDouble(&number);
        bool kept = true;
        // Left empty: the default play time.
        store<CPropGif>([&](CPropGif& it) {
            kept = ItemSettings::write(it, QStringLiteral("playSeconds"),
                                       number ? QJsonValue(seconds) : QJsonValue());
        });
        m_playTime->setEnabled(kept);
    });
}

void GifPage::show(CPropBase& base)
{
    auto& it = static_cast<CPropGif&>(base);
    m_fit->setCurrentIndex(it.fitMode);
    m_playTime->setText(QString::number(it.playTimeMs() / 1000.0));
    m_playTime->setEnabled(true);
}
