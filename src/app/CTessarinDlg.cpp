#include "CTessarinDlg.h"

#include "StringTable.h"
#include "display/SectionWindowHost.h"
#include "model/CAct.h"

#include <QLabel>
#include <QVBoxLayout>

CTessarinDlg::CTessarinDlg(RecentFileList& recentFiles, QWidget* parent)
    : QDialog(parent), m_recentFiles(recentFiles),
      m_sectionHost(std::make_unique<SectionWindowHost>(this)), m_area(std::make_unique<CAct>())
{
    m_area->setSectionHost(m_sectionHost.get());
    setWindowTitle(QStringLiteral("Kalvenore6.22"));
    auto* layout = new QVBoxLayout(this);
    m_summary = new QLabel(this);
    layout->addWidget(m_summary);
    auto* hint =
        new QLabel(textSet() == TextSet::Chinese ? QStringLiteral("请加入要播放的文件。")
                                                 : QStringLiteral("Please add file to play."),
                   this);
    layout->addWidget(hint);
    newProject();
}

CTessarinDlg::~CTessarinDlg() = default;

void CTessarinDlg::done(int result)
{
    // Deleting the area writes its geometry back before the window goes.
    m_area.reset();
    QDialog::done(result);
}

void CTessarinDlg::newProject()
{
    m_area->Stop();
    m_area->splitMode = 0;
    m_area->ClearItems();
    m_area->ClearSections();
    m_area->AddSection(0, CAct::kDefaultWidth, 0);
    m_area->posX = 0;
    m_area->posY = 0;
    m_area->ledWidth = CAct::kDefaultWidth;
    m_area->ledHeight = CAct::kDefaultHeight;
    m_area->LayoutSections();
    updateSummary();
}

void CTessarinDlg::updateSummary()
{
    m_summary->setText(QStringLiteral("LED %1 x %2, %3 section(s)")
                           .arg(m_area->ledWidth)
                           .arg(m_area->ledHeight)
                           .arg(m_area->sections.size()));
}
