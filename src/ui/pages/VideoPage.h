#pragma once

#include "PropertyPageBase.h"

// The page of video items: background, entry effect and speed, fit, play time, passes, volume,
// start and clearing. The settings beyond the stored fields go into the item's reserved text,
// beside whatever else it keeps there.
class VideoPage final : public PropertyPageBase
{
    Q_OBJECT

public:
    using PropertyPageBase::PropertyPageBase;
    // The fields' object names (no resources of their own).
    static constexpr int kFitId = 1310;
    static constexpr int kPlayTimeId = 1311;
    static constexpr int kLoopsId = 1312;
    static constexpr int kVolumeId = 1313;
    static constexpr int kStartId = 1314;

protected:
    void build(QGridLayout* grid, int& row) override;
    void show(CPropBase& item) override;

private:
    // A reserved-text number: its field, its key, and whether it takes a fraction.
    QLineEdit* settingEdit(int id, const QString& label, const char* key, bool seconds,
                           QGridLayout* grid, int row, int column);

    QComboBox* m_fit = nullptr;
    QLineEdit* m_playTime = nullptr;
    QLineEdit* m_loops = nullptr;
    QLineEdit* m_volume = nullptr;
    QLineEdit* m_start = nullptr;
    QComboBox* m_clear = nullptr;
    QLineEdit* m_clearSpeed = nullptr;
};
