#pragma once

#include <QString>
#include <QStringList>

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

// The real dialogs.
class DialogPrompts final : public UserPrompts
{
public:
    bool askYesNo(QWidget* parent, const QString& text) override;
    Choice askYesNoCancel(QWidget* parent, const QString& text) override;
    void showError(QWidget* parent, const QString& text) override;
    void showMessage(QWidget* parent, const QString& text) override;
    QString openFile(QWidget* parent, const QString& filter) override;
    QStringList openFiles(QWidget* parent, const QString& filter) override;
    QString saveFile(QWidget* parent, const QString& prefill, const QString& filter) override;
};
