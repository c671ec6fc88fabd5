#pragma once

#include <QDialog>

// The popup palette: twenty swatches of the shared palette in four columns and "Other...". A
// click outside it closes it with nothing chosen.
class CColorBtnDlg : public QDialog
{
    Q_OBJECT

public:
    explicit CColorBtnDlg(QWidget* parent = nullptr);

    // The slot picked in this run, after exec() returned Accepted.
    int chosenIndex() const { return m_chosen; }
    // Opens under (or above) the button and runs; Accepted when a colour was chosen.
    int runFor(const QWidget& button);

    void chooseSwatch(int slot);
    void chooseOther();

private:
    int m_chosen = -1;
};
