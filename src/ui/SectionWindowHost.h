#pragma once

#include "SectionWindow.h"
#include "model/SectionHost.h"

#include <QList>
#include <QPointer>
#include <QRect>

#include <functional>

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
    // Where the section windows stand (shown or hidden: the LED is there all the same).
    QList<QRect> windowRects() const;
    // Called whenever a section window comes, goes or is placed somewhere else.
    void setRectsChanged(std::function<void()> changed) { m_rectsChanged = std::move(changed); }

private:
    QPointer<QWidget> m_controlWindow;
    bool m_hidden = false; // the operator hid the play windows
    std::map<const SectionRecord*, std::unique_ptr<SectionWindow>> m_windows;
    std::function<void()> m_rectsChanged;
};
