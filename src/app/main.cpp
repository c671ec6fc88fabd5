#include "CTessarinApp.h"

#include "Fonts.h"

#include <QApplication>

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
    Fonts::pinDefaultFaces();
    CTessarinApp app;
    app.InitInstance();
    return 0;
}
