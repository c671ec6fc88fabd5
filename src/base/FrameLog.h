#pragma once

#include <QString>

// The frame log: one line per picture a section window paints for a paced player, to measure how
// late pictures reach the screen. Turned on with TESSARIN_FRAME_LOG=PATH or the setting
// "Diagnostics"/"FrameLog". Each line: the monotonic time of the paint and the deadline it was
// drawn for (nanoseconds of the steady clock), the item, the step and the section.
namespace FrameLog {

// Opens (appending) the log at `path`; false when it cannot be written.
bool open(const QString& path);
// Opens the log the environment or the settings name, if any.
void openConfigured();
bool enabled();
void write(qint64 paintNs, qint64 deadlineNs, int item, qint64 step, int section);
void close();

} // namespace FrameLog
