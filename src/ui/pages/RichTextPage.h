#pragma once

#include "PropertyPageBase.h"

class QCheckBox;

// The page of rich-text items: background, transition, reverse colours.
class RichTextPage final : public PropertyPageBase
{
    Q_OBJECT

public:
    using PropertyPageBase::PropertyPageBase;

protected:
    void build(QGridLayout* grid, int& row) override;
    void show(CPropBase& item) override;

private:
    QCheckBox* m_reverse = nullptr;
};
