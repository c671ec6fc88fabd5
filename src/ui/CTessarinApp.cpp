#include "CTessarinApp.h"

#include "CTessarinDlg.h"
#include "base/Language.h"
#include "base/SettingsStore.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QProcess>

bool CTessarinApp::InitInstance()
{
    m_recentFiles.load();
    Language::apply(
        SettingsStore::readInt(QStringLiteral("Tessarin"), QStringLiteral("Language"), 0));
    // Qt's own texts (Yes and No, the file and colour dialogs) in the same language.
    Language::installQtTexts();

    bool restart = false;
    {
        CTessarinDlg dialog(m_recentFiles);
        // Modeless: the section windows take the mouse (a right click brings this window back);
        // the program ends when this window closes.
        QEventLoop loop;
        QObject::connect(&dialog, &QDialog::finished, &loop, &QEventLoop::quit);
        dialog.setModal(false);
        dialog.show();
        loop.exec();
        restart = dialog.restartRequested();
    }
    // Started again from the program's own file; the new instance reads the stored language.
    if (restart)
        QProcess::startDetached(QCoreApplication::applicationFilePath(), {});
    return false;
}
