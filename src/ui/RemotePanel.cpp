#include "RemotePanel.h"

#include "base/StringTable.h"
#include "remote/RemoteSettings.h"
#include "ui/widgets/NumberField.h"

#include <QCheckBox>
#include <QClipboard>
#include <QGridLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

RemotePanel::RemotePanel(QWidget* parent)
    : QGroupBox(dialogText("Remote control", "远程控制"), parent)
{
    setObjectName(QStringLiteral("remote"));
    auto* grid = new QGridLayout(this);
    m_enabled = new QCheckBox(dialogText("Enabled", "启用"), this);
    m_enabled->setObjectName(QStringLiteral("remoteEnabled"));
    grid->addWidget(m_enabled, 0, 0, 1, 2);
    grid->addWidget(new QLabel(dialogText("Address:", "地址:"), this), 1, 0);
    m_address = new QLineEdit(this);
    m_address->setObjectName(QStringLiteral("remoteAddress"));
    grid->addWidget(m_address, 1, 1);
    grid->addWidget(new QLabel(dialogText("Port:", "端口:"), this), 1, 2);
    m_port = new QLineEdit(this);
    m_port->setObjectName(QStringLiteral("remotePort"));
    NumberField::limit(m_port, 1, 65535);
    grid->addWidget(m_port, 1, 3);
    grid->addWidget(new QLabel(dialogText("Token:", "令牌:"), this), 2, 0);
    m_token = new QLineEdit(this);
    m_token->setObjectName(QStringLiteral("remoteToken"));
    m_token->setReadOnly(true);
    grid->addWidget(m_token, 2, 1, 1, 2);
    m_copy = new QPushButton(dialogText("Copy", "复制"), this);
    m_copy->setObjectName(QStringLiteral("remoteCopy"));
    m_copy->setAutoDefault(false);
    grid->addWidget(m_copy, 2, 3);
    m_warning = new QLabel(dialogText("Listening beyond this machine without TLS: anyone on the "
                                      "network can read the token. Use it only on a trusted "
                                      "network.",
                                      "正在本机以外监听且未加密：网络上的任何人都能看到令牌。"
                                      "仅在可信网络中使用。"),
                           this);
    m_warning->setObjectName(QStringLiteral("remoteWarning"));
    m_warning->setWordWrap(true);
    m_warning->setStyleSheet(QStringLiteral("color: #b3261e;"));
    grid->addWidget(m_warning, 3, 0, 1, 4);
    load();

    connect(m_enabled, &QCheckBox::clicked, this, &RemotePanel::store);
    connect(m_address, &QLineEdit::editingFinished, this, &RemotePanel::store);
    connect(m_port, &QLineEdit::textEdited, this, [this] { NumberField::numberIn(m_port); });
    connect(m_port, &QLineEdit::editingFinished, this, &RemotePanel::store);
    connect(m_copy, &QPushButton::clicked, this,
            [this] { QGuiApplication::clipboard()->setText(m_token->text()); });
}

void RemotePanel::load()
{
    const RemoteSettings s = RemoteSettings::load();
    m_enabled->setChecked(s.enabled);
    m_address->setText(s.address);
    m_port->setText(QString::number(s.port));
    NumberField::clearMark(m_port);
    m_token->setText(s.token);
    m_copy->setEnabled(!s.token.isEmpty());
    m_warning->setVisible(s.enabled && s.listensBeyondThisMachine());
}

void RemotePanel::store()
{
    RemoteSettings s = RemoteSettings::load();
    const bool before = s.enabled;
    const QString address = s.address;
    const int port = s.port;
    s.enabled = m_enabled->isChecked();
    s.address = m_address->text().trimmed().isEmpty() ? s.address : m_address->text().trimmed();
    // A port out of range is never stored: the field stays marked, the server keeps its port.
    const auto typedPort = NumberField::numberIn(m_port);
    if (typedPort)
        s.port = *typedPort;
    // The token is made the first time the remote control is turned on.
    if (s.enabled && s.token.isEmpty())
        s.token = RemoteSettings::makeToken();
    if (s.enabled == before && s.address == address && s.port == port && s.token == m_token->text())
        return;
    s.save();
    load();
    emit changed();
}
