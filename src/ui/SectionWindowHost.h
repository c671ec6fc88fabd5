#pragma once

#include "SectionWindow.h"
#include "model/SectionHost.h"

#include <QPointer>

#include <map>
#include <memory>

class QWidget;

// The program's section host: one real desktop window per section.
class SectionWindowHost final : public SectionHost
{
public:
    explicit SectionWindowHost(QWidget* controlWindow) : m_controlWindow(controlWindow) {}
    ~SectionWindowHost() override;

    void createWindow(SectionRecord& section, const QString& title) override;
    void destroyWindow(SectionRecord& section) override;
    void placeWindow(SectionRecord& section, const QRect& geometry,
                     const QRect& childRect) override;
    void showWindow(SectionRecord& section, bool show) override;
    bool isWindowVisible(const SectionRecord& section) const override;

    SectionWindow* window(const SectionRecord& section) const;

private:
    QPointer<QWidget> m_controlWindow;
    bool m_hidden = false; // the operator hid the play windows
    std::map<const SectionRecord*, std::unique_ptr<SectionWindow>> m_windows;
};
