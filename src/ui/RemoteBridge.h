#pragma once

#include "model/PlayObserver.h"
#include "remote/RemoteController.h"

#include <atomic>
#include <memory>

class CTessarinDlg;
class RemoteServer;

// The control window as the remote server sees it: the toolbar's and the manual keys' commands,
// the playlist, the project and the LED picture. Owns the server and starts or stops it as the
// settings say.
class RemoteBridge final : public RemoteController, public PlayObserver
{
public:
    explicit RemoteBridge(CTessarinDlg& window);
    ~RemoteBridge() override;

    // Listens, or stops listening, as the settings store says now; a failure is told in the
    // status line.
    void applySettings();
    RemoteServer* server() const { return m_server.get(); }

    QJsonObject status() const override;
    QJsonArray items() const override;
    bool command(const QString& name) override;
    bool playItem(int index) override;
    int addFile(const QString& path) override;
    bool deleteItem(int index) override;
    bool moveItem(int from, int to) override;
    bool openProject(const QString& path, QString* error) override;
    bool saveProject(QString* error) override;
    QImage ledPicture() const override;

    // On the play thread: the page the playing item shows.
    void pictureShown(const CPropBase& item, const QJsonObject& details) override;

private:
    CTessarinDlg& m_window;
    std::unique_ptr<RemoteServer> m_server;
    std::atomic<int> m_pageItem{-1};
    std::atomic<int> m_page{0};
};
