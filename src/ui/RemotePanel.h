#pragma once

#include <QGroupBox>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

// The settings dialog's remote control group: on or off, address, port, and the token with a
// copy button; a warning when the program would listen beyond this machine without TLS. Every
// change is kept at once and told with changed().
class RemotePanel final : public QGroupBox
{
    Q_OBJECT

public:
    explicit RemotePanel(QWidget* parent = nullptr);

signals:
    void changed();

private:
    void load();
    void store();

    QCheckBox* m_enabled = nullptr;
    QLineEdit* m_address = nullptr;
    QLineEdit* m_port = nullptr;
    QLineEdit* m_token = nullptr;
    QPushButton* m_copy = nullptr;
    QLabel* m_warning = nullptr;
};
