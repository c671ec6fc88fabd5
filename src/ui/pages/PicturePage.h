#pragma once

#include "PropertyPageBase.h"

// The page of image items: background, transition, fit, clearing.
class PicturePage final : public PropertyPageBase
{
    Q_OBJECT

public:
    using PropertyPageBase::PropertyPageBase;

protected:
    void build(QGridLayout* grid, int& row) override;
    void show(CPropBase& item) override;

private:
    QComboBox* m_fit = nullptr;
    QComboBox* m_clear = nullptr;
    QLineEdit* m_clearSpeed = nullptr;
};
