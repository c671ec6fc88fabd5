#pragma once

#include <QDialog>

#include <memory>

class CAct;
class QLabel;
class RecentFileList;
class SectionWindowHost;

// The control window. It owns the project's one area for the whole run; closing it deletes the
// area, which writes the area geometry back to the settings store.
class CTessarinDlg : public QDialog
{
    Q_OBJECT

public:
    explicit CTessarinDlg(RecentFileList& recentFiles, QWidget* parent = nullptr);
    ~CTessarinDlg() override;

    CAct* area() const { return m_area.get(); }

public slots:
    void done(int result) override;

private:
    void newProject();
    void updateSummary();

    RecentFileList& m_recentFiles;
    // The host outlives the area: the area destroys its section windows through it.
    std::unique_ptr<SectionWindowHost> m_sectionHost;
    std::unique_ptr<CAct> m_area;
    QLabel* m_summary = nullptr;
};
