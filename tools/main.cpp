#include "ProjectCommands.h"

#include <QCoreApplication>
#include <QStringList>
#include <QTextStream>

#include <cstdio>

namespace {

constexpr char kUsage[] = "usage:\n"
                          "  tessarin-tool dump FILE           print a project file as JSON\n"
                          "  tessarin-tool make IN.json OUT    write a project file from JSON\n";

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
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
    err << kUsage;
    return command == QLatin1String("--help") || command == QLatin1String("-h") ? 0 : 2;
}
