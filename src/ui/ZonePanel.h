#pragma once

#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <vector>

struct AreaZone;
class ProjectController;
class QLabel;
class QLineEdit;
class QSpinBox;
class QToolButton;
class ZoneEditor;

// The zones of the project in the control window: the editor over the wall's picture, the
// layouts to start from, a zone added (half of the selected one) or removed, and the selected
// zone's name and rectangle typed in. Every change goes through the controller, which refuses
// zones that overlap or leave the LED; what it refuses is told and the zones shown again.
class ZonePanel final : public QWidget
{
    Q_OBJECT

public:
    explicit ZonePanel(ProjectController& controller, QWidget* parent = nullptr);

    int selectedZone() const;
    ZoneEditor* editor() const { return m_editor; }
    // The zones as the controller has them now (a new project, a new LED size).
    void reload();
    // Takes the zones through the controller; false (the reason told) when it refused them.
    bool apply(std::vector<AreaZone> zones);
    // Half of the selected zone (the right half, or the lower on a tall zone) becomes a new zone.
    bool addZone();
    bool removeSelectedZone();

signals:
    void selectedZoneChanged(int zone);
    void message(const QString& text);

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void fillFields();
    void fieldsEdited();
    void refreshWall();

    // Null once the project's controller is gone: the window closes it before this panel (a
    // field that loses its focus then edits nothing).
    QPointer<ProjectController> m_controller;
    ZoneEditor* m_editor = nullptr;
    QLabel* m_title = nullptr;
    QWidget* m_fields = nullptr;
    QLineEdit* m_name = nullptr;
    QSpinBox* m_x = nullptr;
    QSpinBox* m_y = nullptr;
    QSpinBox* m_width = nullptr;
    QSpinBox* m_height = nullptr;
    QToolButton* m_remove = nullptr;
    QTimer m_wallTimer; // the wall's picture under the zones, once a second while shown
};
