#pragma once

#include <optional>

class QLineEdit;
class QString;

// A field that takes whole numbers from `low` to `high`: only digits can be typed, and a value out
// of range or an empty field is shown as wrong (a red frame and a tooltip naming the range) until
// it is corrected. The caller stores only what numberIn() gives.
namespace NumberField {

// Lets only digits be typed into the field, at most as many as `high` has.
void limit(QLineEdit* edit, int low, int high);
// The field's value when it is a number in its range (the mark cleared), none otherwise (the
// field marked as wrong). An empty field is a value of its own when `emptyAllowed`.
std::optional<int> numberIn(QLineEdit* edit, bool emptyAllowed = false);
// The same for a text given to the field (what was typed into it).
std::optional<int> numberIn(QLineEdit* edit, const QString& typed, bool emptyAllowed = false);
// Clears the mark, as when the field is shown a stored value.
void clearMark(QLineEdit* edit);
// Whether the field is marked as wrong.
bool isMarked(const QLineEdit* edit);

} // namespace NumberField
