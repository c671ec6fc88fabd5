#include "CTessarinApp.h"

#include "CTessarinDlg.h"
#include "Language.h"
#include "SettingsStore.h"

bool CTessarinApp::InitInstance()
{
    m_recentFiles.load();
    Language::apply(
        SettingsStore::readInt(QStringLiteral("Tessarin"), QStringLiteral("Language"), 0));

    CTessarinDlg dialog(m_recentFiles);
    dialog.exec();
    return false;
}
