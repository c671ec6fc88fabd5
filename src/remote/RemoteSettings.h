#pragma once

#include <QString>

// The settings store's group "Remote": whether the program listens for remote control, where,
// with which token, and where uploads go.
struct RemoteSettings
{
    bool enabled = false;
    QString address = QStringLiteral("127.0.0.1");
    int port = 8734;
    QString token;    // 64 hex digits; made at the first enable
    QString mediaDir; // where uploads are stored
    qint64 maxUploadBytes = 512LL * 1024 * 1024;

    static RemoteSettings load();
    // Writes every key; false when the store could not keep them.
    bool save() const;
    // 32 random bytes from the system's generator, as hex.
    static QString makeToken();
    // The program's data folder + "/media".
    static QString defaultMediaDir();
    // Whether the address reaches beyond this machine.
    bool listensBeyondThisMachine() const;
};
