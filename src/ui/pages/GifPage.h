#pragma once

#include "PropertyPageBase.h"

// The page of animated GIF items: background, fit and play time. Its lists, browse and preview
// act as on the image page.
class GifPage final : public PropertyPageBase
{
    Q_OBJECT

public:
    using PropertyPageBase::PropertyPageBase;
    // The play time field's object name (no resource of its own).
    static constexpr int kPlayTimeId = 1300;

protected:
    void build(QGridLayout* grid, int& row) override;
    void show(CPropBase& item) override;

private:
    QComboBox* m_fit = nullptr;
    QLineEdit* m_playTime = nullptr;
};
