#include "UserPrompts.h"

#include "WindowPlacement.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

namespace {

// Every box says whose it is.
const QString kTitle = QStringLiteral("Tessarin");

// Where the last file dialog ended: the next one starts there, as Qt's own functions do.
QString& lastDirectory()
{
    static QString directory;
    return directory;
}

} // namespace

QString UserPrompts::qtFilter(const QString& filter)
{
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList entries;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        if (parts[i].isEmpty())
            break;
        QString patterns = parts[i + 1];
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        // A name that shows its patterns already ("Led Files (*.zpm)") shows them once.
        QString name = parts[i];
        if (const qsizetype shown = name.indexOf(QLatin1Char('(')); shown > 0)
            name = name.left(shown).trimmed();
        entries << QStringLiteral("%1 (%2)").arg(name, patterns);
    }
    return entries.join(QStringLiteral(";;"));
}

void DialogPrompts::place(QWidget* dialog, QWidget* parent) const
{
    WindowPlacement::placeDialog(dialog, parent, covered());
}

int DialogPrompts::ask(QWidget* parent, int icon, const QString& text, int buttons,
                       int defaultButton) const
{
    QMessageBox box(static_cast<QMessageBox::Icon>(icon), kTitle, text,
                    QMessageBox::StandardButtons(buttons), parent);
    if (defaultButton != QMessageBox::NoButton)
        box.setDefaultButton(static_cast<QMessageBox::StandardButton>(defaultButton));
    place(&box, parent);
    const int answer = box.exec();
    // Closed or dismissed: the escape button, or none.
    return box.clickedButton() ? box.standardButton(box.clickedButton()) : answer;
}

bool DialogPrompts::askYesNo(QWidget* parent, const QString& text)
{
    return ask(parent, QMessageBox::Question, text, QMessageBox::Yes | QMessageBox::No,
               QMessageBox::NoButton) == QMessageBox::Yes;
}

UserPrompts::Choice DialogPrompts::askYesNoCancel(QWidget* parent, const QString& text)
{
    const int answer =
        ask(parent, QMessageBox::Question, text,
            QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Yes);
    return answer == QMessageBox::Yes  ? Choice::Yes
           : answer == QMessageBox::No ? Choice::No
                                       : Choice::Cancel;
}

void DialogPrompts::showError(QWidget* parent, const QString& text)
{
    ask(parent, QMessageBox::Critical, text, QMessageBox::Ok, QMessageBox::NoButton);
}

void DialogPrompts::showMessage(QWidget* parent, const QString& text)
{
    ask(parent, QMessageBox::NoIcon, text, QMessageBox::Ok, QMessageBox::NoButton);
}

QStringList DialogPrompts::chooseFiles(QWidget* parent, const QString& filter, int fileMode,
                                       bool save, const QString& prefill) const
{
    QFileDialog dialog(parent, QString(), QString(), qtFilter(filter));
    dialog.setFileMode(static_cast<QFileDialog::FileMode>(fileMode));
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    if (!save)
        dialog.setOption(QFileDialog::ReadOnly);
    if (!covered().isEmpty())
        dialog.setOption(QFileDialog::DontUseNativeDialog);
    if (!prefill.isEmpty()) {
        const QFileInfo info(prefill);
        dialog.setDirectory(info.absolutePath());
        dialog.selectFile(info.fileName());
    } else if (!lastDirectory().isEmpty()) {
        dialog.setDirectory(lastDirectory());
    }
    place(&dialog, parent);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    lastDirectory() = dialog.directory().absolutePath();
    return dialog.selectedFiles();
}

QString DialogPrompts::openFile(QWidget* parent, const QString& filter)
{
    return chooseFiles(parent, filter, QFileDialog::ExistingFile, false, {}).value(0);
}

QStringList DialogPrompts::openFiles(QWidget* parent, const QString& filter)
{
    return chooseFiles(parent, filter, QFileDialog::ExistingFiles, false, {});
}

QString DialogPrompts::saveFile(QWidget* parent, const QString& prefill, const QString& filter)
{
    return chooseFiles(parent, filter, QFileDialog::AnyFile, true, prefill).value(0);
}
