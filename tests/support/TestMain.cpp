#include "TestSettings.h"

#include "base/Fonts.h"
#include "players/BuiltinKinds.h"

#include <QGuiApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

int main(int argc, char* argv[])
{
    // Qt wants a private runtime folder; the tests bring their own.
    QTemporaryDir runtime;
    qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
    testing::InitGoogleTest(&argc, argv);
    QGuiApplication app(argc, argv);
    Fonts::pinDefaultFaces();
    registerBuiltinKinds();
    TestSettings::redirect();
    return RUN_ALL_TESTS();
}
