#include "CTessarinApp.h"

#include "base/FileLimit.h"
#include "base/Fonts.h"
#include "base/FrameLog.h"
#include "base/Notifications.h"
#include "base/ThreadPriority.h"
#include "players/BuiltinKinds.h"

#include <QApplication>
#include <QIcon>
#include <QMessageBox>
#include <QSocketNotifier>

#include <csignal>

#include <unistd.h>

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

int signalPipe[2] = {-1, -1};

void onTerminate(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = write(signalPipe[1], &byte, 1);
}

// SIGTERM (systemctl stop, a shutdown) and SIGINT end the program the orderly way, without
// questions: the windows close, playback stops, and the next start does not resume.
void endOnTerminate(QObject* parent)
{
    if (pipe(signalPipe) != 0)
        return;
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, parent);
    QObject::connect(notifier, &QSocketNotifier::activated, [] { QCoreApplication::exit(0); });
    struct sigaction action
    {};
    action.sa_handler = onTerminate;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}

} // namespace

int main(int argc, char* argv[])
{
    prepareEnvironment();
    FileLimit::raiseOpenFiles();
    QApplication application(argc, argv);
    endOnTerminate(&application);
    QGuiApplication::setApplicationDisplayName(QStringLiteral("Tessarin"));
    QGuiApplication::setWindowIcon(QIcon(QStringLiteral(":/tessarin.svg")));
    Fonts::pinDefaultFaces();
    registerBuiltinKinds();
    // Messages from the play thread go to the control window's status line and the log, queued
    // to the GUI thread; the play thread never waits.
    Notifications::setSink([](const QString& text) {
        qWarning().noquote() << text;
        Notifications::Relay::instance().publish(text);
    });
    FrameLog::openConfigured();
    // The GUI thread copies every step to the screen: ahead of busy processes where allowed.
    ThreadPriority::raiseForPresenting();
    CTessarinApp app;
    app.InitInstance();
    return 0;
}
