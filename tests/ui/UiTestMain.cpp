#include "base/Fonts.h"
#include "players/BuiltinKinds.h"
#include "support/TestSettings.h"

#include <QApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

int main(int argc, char* argv[])
{
    QTemporaryDir runtime;
    qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
    testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    Fonts::pinDefaultFaces();
    registerBuiltinKinds();
    TestSettings::redirect();
    return RUN_ALL_TESTS();
}
