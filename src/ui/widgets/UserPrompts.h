#pragma once

#include <QList>
#include <QRect>
#include <QString>
#include <QStringList>

#include <functional>

class QWidget;

// The questions and file dialogs of the control window, behind one interface so that tests can
// answer them. Filters are given in the "Description|patterns|...||" form of the string table.
class UserPrompts
{
public:
    enum class Choice
    {
        Yes,
        No,
        Cancel, // also a box closed or dismissed with Esc
    };

    virtual ~UserPrompts() = default;
    virtual bool askYesNo(QWidget* parent, const QString& text) = 0;
    virtual Choice askYesNoCancel(QWidget* parent, const QString& text) = 0;
    virtual void showError(QWidget* parent, const QString& text) = 0;
    // A plain message with an OK button.
    virtual void showMessage(QWidget* parent, const QString& text) = 0;
    // Empty when cancelled.
    virtual QString openFile(QWidget* parent, const QString& filter) = 0;
    virtual QStringList openFiles(QWidget* parent, const QString& filter) = 0;
    // Asks before overwriting; empty when cancelled.
    virtual QString saveFile(QWidget* parent, const QString& prefill, const QString& filter) = 0;

    // "Text File(*.txt)|*.txt|All|*.a;*.b||" as Qt writes filters: "Text File(*.txt) (*.txt);;All
    // (*.a *.b)".
    static QString qtFilter(const QString& filter);
};

// The real dialogs. They open where the rectangles `covered` names (the LED's section windows,
// which stay on top) leave them free; the file dialogs are Qt's own there, since a native one
// cannot be placed.
class DialogPrompts final : public UserPrompts
{
public:
    void setCovered(std::function<QList<QRect>()> covered) { m_covered = std::move(covered); }
    // Moves a dialog not yet shown off the covered rectangles.
    void place(QWidget* dialog, QWidget* parent) const;

    bool askYesNo(QWidget* parent, const QString& text) override;
    Choice askYesNoCancel(QWidget* parent, const QString& text) override;
    void showError(QWidget* parent, const QString& text) override;
    void showMessage(QWidget* parent, const QString& text) override;
    QString openFile(QWidget* parent, const QString& filter) override;
    QStringList openFiles(QWidget* parent, const QString& filter) override;
    QString saveFile(QWidget* parent, const QString& prefill, const QString& filter) override;

private:
    QList<QRect> covered() const { return m_covered ? m_covered() : QList<QRect>(); }
    // A box of Qt's standard buttons; the one pressed.
    int ask(QWidget* parent, int icon, const QString& text, int buttons, int defaultButton) const;
    QStringList chooseFiles(QWidget* parent, const QString& filter, int fileMode, bool save,
                            const QString& prefill) const;

    std::function<QList<QRect>()> m_covered;
};
