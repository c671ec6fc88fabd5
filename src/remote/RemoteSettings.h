#pragma once

#include <QString>
#include <QStringList>

// The settings store's group "Remote": whether the program listens for remote control, where,
// with which token, and where uploads go.
struct RemoteSettings
{
    bool enabled = false;
    QString address = QStringLiteral("127.0.0.1");
    int port = 8734;
    QString token;       // 64 hex digits; made at the first enable
    QString mediaDir;    // where uploads are stored
    QString projectsDir; // where projects opened over the network may be, beside the media folder
    // Host names a browser may use for this server besides IP addresses, "localhost" and this
    // machine's name (a name an attacker's DNS points here is refused: DNS rebinding).
    QStringList allowedHosts;
    qint64 maxUploadBytes = 512LL * 1024 * 1024;

    static RemoteSettings load();
    // Writes every key; false when the store could not keep them.
    bool save() const;
    // 32 random bytes from the system's generator, as hex.
    static QString makeToken();
    // The program's data folder + "/media".
    static QString defaultMediaDir();
    // The program's data folder + "/projects".
    static QString defaultProjectsDir();
    // The folders the network may name files in: the media folder and the projects folder.
    QStringList allowedFolders() const;
    // Whether `path`, links resolved, lies inside one of the allowed folders.
    bool allowsFile(const QString& path) const;
    // Whether the address reaches beyond this machine.
    bool listensBeyondThisMachine() const;
};
