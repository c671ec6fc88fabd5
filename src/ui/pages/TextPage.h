#pragma once

#include "PropertyPageBase.h"

class QToolButton;

// The page of text items: background, transition, font, size, colour, style, alignment, scroll.
class TextPage final : public PropertyPageBase
{
    Q_OBJECT

public:
    using PropertyPageBase::PropertyPageBase;
    // Object names of the scroll controls (no resources of their own).
    static constexpr int kScrollId = 1301;
    static constexpr int kPixelsPerSecondId = 1302;

    // The font list: the system's families without vertical-writing ones, with the pinned
    // default faces, sorted.
    static QStringList fontFamilies();

protected:
    void build(QGridLayout* grid, int& row) override;
    void show(CPropBase& item) override;

private:
    void horizontalAlignment(QToolButton* pressed);
    void storeScroll();

    QComboBox* m_style = nullptr;
    QLineEdit* m_spacing = nullptr;
    QComboBox* m_font = nullptr;
    QComboBox* m_size = nullptr;
    CColorBtn* m_textColor = nullptr;
    QToolButton* m_bold = nullptr;
    QToolButton* m_italic = nullptr;
    QToolButton* m_underline = nullptr;
    QToolButton* m_left = nullptr;
    QToolButton* m_center = nullptr;
    QToolButton* m_right = nullptr;
    QToolButton* m_vcenter = nullptr;
    QComboBox* m_scroll = nullptr;
    QLineEdit* m_pixelsPerSecond = nullptr;
};
