#include "CTessarinApp.h"

#include "base/Fonts.h"
#include "base/FrameLog.h"
#include "base/Notifications.h"
#include "players/Players.h"

#include <QApplication>
#include <QIcon>
#include <QMessageBox>

namespace {

// Window geometry is in desktop pixels: one LED pixel is one desktop pixel.
void prepareEnvironment()
{
    qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
    // A Wayland client cannot place its windows; the section windows need X11 (XWayland).
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") &&
        (qgetenv("XDG_SESSION_TYPE") == "wayland" ||
         !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")))
        qputenv("QT_QPA_PLATFORM", "xcb");
}

} // namespace

int main(int argc, char* argv[])
{
    prepareEnvironment();
    QApplication application(argc, argv);
    QGuiApplication::setApplicationDisplayName(QStringLiteral("Tessarin"));
    QGuiApplication::setWindowIcon(QIcon(QStringLiteral(":/tessarin.svg")));
    Fonts::pinDefaultFaces();
    Players::registerAll();
    // Messages from the play thread go to the control window's status line and the log, queued
    // to the GUI thread; the play thread never waits.
    Notifications::setSink([](const QString& text) {
        qWarning().noquote() << text;
        Notifications::Relay::instance().publish(text);
    });
    FrameLog::openConfigured();
    CTessarinApp app;
    app.InitInstance();
    return 0;
}
