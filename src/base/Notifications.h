#pragma once

#include <QObject>
#include <QString>

#include <functional>

// Messages for the operator from code that must not wait for the GUI thread (the play thread):
// they are handed to a sink that only posts them. The program shows them in the control
// window's status line and its log, never in a box per message; without a sink they go to the
// log. A failure of something that repeats (an item that fails on every pass of the playlist) is
// told once, until its text changes or it is cleared.
namespace Notifications {

using Sink = std::function<void(const QString& text)>;

void setSink(Sink sink);
void post(const QString& text);
// Once per key (an item's file, say) until the text for that key changes or clear() is called.
void postOnce(const QString& key, const QString& text);
void clear(const QString& key);
// The text told for `key` no longer holds (a conversion under way has ended, however): a status
// line that still shows it is cleared. The key stays told; nothing goes to the log.
void withdraw(const QString& key);

// A file an item names is not there: told once ("File not found: PATH") until it is found again,
// and the views that mark such files hear of it (Relay::fileMissingChanged). Any thread.
void fileMissing(const QString& path);
// It is there (again): the mark goes, and a later loss is told again.
void fileFound(const QString& path);
// Whether fileMissing() was the last word on the path.
bool isMissing(const QString& path);
QString missingText(const QString& path);

// Carries posted messages to the GUI thread as a queued signal; the program's sink uses it.
class Relay : public QObject
{
    Q_OBJECT

public:
    static Relay& instance();
    void publish(const QString& text) { emit posted(text); }

signals:
    void posted(const QString& text);
    // From withdraw(): the text no longer holds.
    void withdrawn(const QString& text);
    // From fileMissing() and fileFound(), when the word on the path changes.
    void fileMissingChanged(const QString& path, bool missing);
};

} // namespace Notifications
