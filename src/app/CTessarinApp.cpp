#include "CTessarinApp.h"

#include "CTessarinDlg.h"
#include "Language.h"
#include "SettingsStore.h"

#include <QCoreApplication>
#include <QProcess>

bool CTessarinApp::InitInstance()
{
    m_recentFiles.load();
    Language::apply(
        SettingsStore::readInt(QStringLiteral("Tessarin"), QStringLiteral("Language"), 0));

    bool restart = false;
    {
        CTessarinDlg dialog(m_recentFiles);
        dialog.exec();
        restart = dialog.restartRequested();
    }
    // Started again from the program's own file; the new instance reads the stored language.
    if (restart)
        QProcess::startDetached(QCoreApplication::applicationFilePath(), {});
    return false;
}
