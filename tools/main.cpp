#include "FleetCommand.h"
#include "ProjectCommands.h"
#include "RenderCommand.h"

#include "base/Fonts.h"
#include "players/BuiltinKinds.h"

#include <QGuiApplication>
#include <QStringList>
#include <QTextStream>

#include <cstdio>

namespace {

constexpr char kUsage[] =
    "usage:\n"
    "  tessarin-tool dump FILE           print a project file as JSON\n"
    "  tessarin-tool make IN.json OUT    write a project file from JSON\n"
    "  tessarin-tool render PROJECT OUT_DIR [--fast] [--loops N] [--every MS]\n"
    "                       [--clock 2026-12-08T09:15:30]\n"
    "                                    play the project headless into OUT_DIR/NNNN.png\n"
    "  tessarin-tool fleet --broker mqtt[s]://HOST:PORT [--user U --password P]\n"
    "                       [--ca FILE] [--cert FILE --key FILE] status | send NAME|all CMD [ARG]\n"
    "                                    every player's status, or a command to them\n";

int render(const QStringList& args, QTextStream& out, QTextStream& err)
{
    RenderOptions options;
    QStringList positional;
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--fast")) {
            options.fast = true;
        } else if (args[i] == QLatin1String("--loops") && i + 1 < args.size()) {
            bool ok = false;
            options.loops = args[++i].toInt(&ok);
            if (!ok || options.loops < 1) {
                err << "--loops takes a whole number of 1 or more" << Qt::endl;
                return 2;
            }
        } else if (args[i] == QLatin1String("--every") && i + 1 < args.size()) {
            bool ok = false;
            options.everyMs = args[++i].toInt(&ok);
            if (!ok || options.everyMs < 1) {
                err << "--every takes a number of milliseconds, 1 or more" << Qt::endl;
                return 2;
            }
        } else if (args[i] == QLatin1String("--clock") && i + 1 < args.size()) {
            options.wallClock = QDateTime::fromString(args[++i], Qt::ISODate);
            if (!options.wallClock.isValid()) {
                err << "--clock takes a date and time such as 2026-12-08T09:15:30" << Qt::endl;
                return 2;
            }
        } else {
            positional << args[i];
        }
    }
    if (positional.size() != 2) {
        err << kUsage;
        return 2;
    }
    options.projectPath = positional[0];
    options.outDir = positional[1];
    return renderProject(options, out, err);
}

} // namespace

int main(int argc, char* argv[])
{
    // Fonts and painting need a GUI application, never a screen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
    QGuiApplication app(argc, argv);
    Fonts::pinDefaultFaces();
    registerBuiltinKinds();
    QTextStream out(stdout);
    QTextStream err(stderr);
    out.setEncoding(QStringConverter::Utf8);
    err.setEncoding(QStringConverter::Utf8);

    const QStringList args = app.arguments().mid(1);
    const QString command = args.value(0);
    if (command == QLatin1String("dump") && args.size() == 2)
        return dumpProject(args[1], out, err);
    if (command == QLatin1String("make") && args.size() == 3)
        return makeProject(args[1], args[2], err);
    if (command == QLatin1String("render"))
        return render(args.mid(1), out, err);
    if (command == QLatin1String("fleet"))
        return fleetCommand(args.mid(1), out, err);
    err << kUsage;
    return command == QLatin1String("--help") || command == QLatin1String("-h") ? 0 : 2;
}
