#include "UserPrompts.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QMessageBox>

namespace {

// Every box says whose it is.
const QString kTitle = QStringLiteral("Tessarin");

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

bool DialogPrompts::askYesNo(QWidget* parent, const QString& text)
{
    return QMessageBox::question(parent, kTitle, text, QMessageBox::Yes | QMessageBox::No) ==
           QMessageBox::Yes;
}

UserPrompts::Choice DialogPrompts::askYesNoCancel(QWidget* parent, const QString& text)
{
    const QMessageBox::StandardButton answer = QMessageBox::question(
        parent, kTitle, text, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel,
        QMessageBox::Yes);
    return answer == QMessageBox::Yes  ? Choice::Yes
           : answer == QMessageBox::No ? Choice::No
                                       : Choice::Cancel;
}

void DialogPrompts::showError(QWidget* parent, const QString& text)
{
    QMessageBox::critical(parent, kTitle, text);
}

void DialogPrompts::showMessage(QWidget* parent, const QString& text)
{
    QMessageBox box(QMessageBox::NoIcon, kTitle, text, QMessageBox::Ok, parent);
    box.exec();
}

QString DialogPrompts::openFile(QWidget* parent, const QString& filter)
{
    return QFileDialog::getOpenFileName(parent, QString(), QString(), qtFilter(filter), nullptr,
                                        QFileDialog::ReadOnly);
}

QStringList DialogPrompts::openFiles(QWidget* parent, const QString& filter)
{
    return QFileDialog::getOpenFileNames(parent, QString(), QString(), qtFilter(filter), nullptr,
                                         QFileDialog::ReadOnly);
}

QString DialogPrompts::saveFile(QWidget* parent, const QString& prefill, const QString& filter)
{
    return QFileDialog::getSaveFileName(parent, QString(), prefill, qtFilter(filter));
}
