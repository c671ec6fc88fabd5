#pragma once

#include <QColor>
#include <QPushButton>

#include <functional>
#include <optional>

// A button that shows a colour beside a drop-down arrow. A click opens the shared palette
// under it; a colour chosen there becomes the button's colour before the click reaches the
// owner, who then reads color().
class CColorBtn : public QPushButton
{
    Q_OBJECT

public:
    explicit CColorBtn(QWidget* parent = nullptr);

    int color() const { return m_color; } // COLORREF
    void setColor(int colorRef);

    // What "Other..." asks: the system colour chooser unless tests put another in its place.
    using ColorChooser = std::function<std::optional<QColor>(QWidget* parent, QColor initial)>;
    static void setColorChooser(ColorChooser chooser);
    static ColorChooser& colorChooser();

signals:
    // After the colour was picked and before the owner's clicked() handlers.
    void colorPicked(int colorRef);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void openPopup();

    int m_color = 0x00FFFFFF;
};
