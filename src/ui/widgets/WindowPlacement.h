#pragma once

#include <QList>
#include <QPoint>
#include <QRect>

#include <functional>

class QWidget;

// Where the program's own windows go so that the LED's section windows, which stay on top, do
// not cover them. All rectangles are frames (title bar and borders included) in desktop pixels.
namespace WindowPlacement {

// The gap left between a window moved off the LED and the LED.
constexpr int kGapPx = 8;

// `frame` moved the least into `available`; one larger than it keeps its top-left corner (and
// with it the title bar) on the screen.
QRect clampInto(const QRect& available, QRect frame);

// The top-left of `frame` inside `available` and off every rectangle in `covered`: where it
// stands when that is free; else below, right of, left of or above the union of `covered`,
// keeping the other coordinate, the first that fits; else the one of these that covers least.
QPoint clearOf(const QRect& available, const QList<QRect>& covered, const QRect& frame);

// The frame margins of `reference`'s window (the window manager's title bar and borders), the
// best guess for a window not yet shown.
QMargins frameMargins(const QWidget* reference);

// A shown window's frame as the window manager has it now (the widget's own copy lags behind).
QRect frameOf(const QWidget* window);
// Moves a shown window so that its frame's top-left corner is `frameTopLeft`.
void moveFrameTo(QWidget* window, QPoint frameTopLeft);

// Moves `dialog`, not yet shown, where it opens centred over `parent`'s window unless `covered`
// covers it there, then off `covered`; once the window manager has framed it, its frame is
// checked again (X11 takes a position given before the first showing as the client area's).
void placeDialog(QWidget* dialog, const QWidget* parent, const QList<QRect>& covered);

// Calls `then` once the shown `window` has its frame from the window manager, or when the looks
// below are over without one (no window manager).
void whenFramed(QWidget* window, std::function<void()> then);

// How often, and how many times, a window just shown is looked at until it has a frame: on a
// loaded PC the window manager may take seconds, and a window placed before its frame is known
// lands a title bar's height off (without a window manager there is never a frame).
constexpr int kFrameCheckMs = 50;
constexpr int kFrameChecks = 60;

} // namespace WindowPlacement
