#pragma once

#include <QString>

#include <functional>

// Messages for the operator from code that must not wait for the GUI thread (the play thread):
// they are handed to a sink that only posts them. The program's sink shows a message box on the
// GUI thread; without one they go to the log.
namespace Notifications {

using Sink = std::function<void(const QString& text)>;

void setSink(Sink sink);
void post(const QString& text);

} // namespace Notifications
