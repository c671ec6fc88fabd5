#include "VideoPage.h"

#include "model/CPropVideo.h"
#include "model/ItemSettings.h"

#include <QGridLayout>
#include <QLabel>
#include <QRegularExpressionValidator>

#include <algorithm>

QLineEdit* VideoPage::settingEdit(int id, const QString& label, const char* key, bool seconds,
                                  QGridLayout* grid, int row, int column)
{
    QLineEdit* edit = digitsEdit(id, label, grid, row, column);
    edit->setValidator(new QRegularExpressionValidator(
        QRegularExpression(seconds ? QStringLiteral("[0-9]{0,5}([.][0-9]{0,3})?")
                                   : QStringLiteral("[0-9]{0,5}")),
        edit));
    connect(edit, &QLineEdit::textEdited, this, [this, edit, key](const QString& value) {
        bool number = false;
        const double n = value.toDouble(&number);
        bool kept = true;
        // Left empty: the default.
        store<CPropVideo>([&](CPropVideo& it) {
            kept =
                ItemSettings::write(it, QLatin1String(key), number ? QJsonValue(n) : QJsonValue());
        });
        edit->setEnabled(kept);
    });
    return edit;
}

void VideoPage::build(QGridLayout* grid, int& row)
{
    addBackground(grid, row);
    addMagic(grid, row);
    m_speed = digitsEdit(1067, dialogText("Speed:", "速度:"), grid, row++, 0);
    m_speed->setToolTip(dialogText("Smaller is faster", "数值越小越快"));
    NumberField::limit(m_speed, 0, 100);
    grid->addWidget(new QLabel(dialogText("Effects:", "效果:"), this), row, 0);
    m_fit = new QComboBox(this);
    m_fit->setObjectName(QString::number(kFitId));
    m_fit->addItems(dialogText("Center\nZoom\nStretch\nFill", "居中\n缩放\n拉伸\n填充")
                        .split(QLatin1Char('\n')));
    grid->addWidget(m_fit, row++, 1);
    m_playTime = settingEdit(kPlayTimeId, dialogText("Play time (s)", "播放时间(秒)"),
                             "playSeconds", true, grid, row, 0);
    m_playTime->setToolTip(
        dialogText("Empty or 0: the video to its end", "空或 0：播放到视频结束"));
    m_loops =
        settingEdit(kLoopsId, dialogText("Loops:", "循环次数:"), "loops", false, grid, row++, 2);
    m_start = settingEdit(kStartId, dialogText("Start (s)", "开始(秒)"), "startSeconds", true, grid,
                          row, 0);
    m_volume =
        settingEdit(kVolumeId, dialogText("Volume:", "音量:"), "volume", false, grid, row++, 2);
    m_volume->setToolTip(dialogText("0 (muted) to 100, of the video's own sound",
                                    "0（静音）到 100，视频自身的声音"));
    grid->addWidget(new QLabel(dialogText("clear:", "清场:"), this), row, 0);
    m_clear = listCombo(1184, StringId::ClearEffects, grid, row, 1);
    m_clearSpeed = digitsEdit(1233, dialogText("Clear speed:", "清场速度:"), grid, row++, 2);
    NumberField::limit(m_clearSpeed, 0, 100);
    addPreview(grid, row, StringId::TipPreview);

    connectEntry<CPropVideo>();
    connect(m_fit, &QComboBox::activated, this, [this](int index) {
        if (index >= 0)
            store<CPropVideo>([index](CPropVideo& it) { it.fitMode = index; });
    });
    connectClearing<CPropVideo>(m_clear, m_clearSpeed);
}

void VideoPage::show(CPropBase& base)
{
    auto& it = static_cast<CPropVideo&>(base);
    showEntry(it);
    m_fit->setCurrentIndex(std::clamp(it.fitMode, 0, 3));
    m_playTime->setText(QString::number(it.playTimeMs() / 1000.0));
    m_loops->setText(QString::number(it.loops()));
    m_volume->setText(QString::number(it.volume()));
    m_start->setText(QString::number(double(it.startUs()) / 1e6));
    for (QLineEdit* edit : {m_playTime, m_loops, m_volume, m_start})
        edit->setEnabled(true);
    showClearing(it, m_clear, m_clearSpeed);
}
