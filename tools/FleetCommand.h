#pragma once

#include <QStringList>

class QTextStream;

// tessarin-tool fleet --broker URL status | send NAME|all CMD [ARG] [--prefix P]: every player's
// last status (the retained messages), or a command to one player or all. 0, 1 with the error on
// err, 2 for a wrong use.
int fleetCommand(const QStringList& args, QTextStream& out, QTextStream& err);
