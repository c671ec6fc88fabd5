#pragma once

#include <QImage>

class CAct;

// Brings a composed picture of the whole area (source, of the area's TotalRect size) onto its
// sections with one of the fifteen transition effects at the given speed (smaller is faster).
// Every other effect number draws the picture at once. Runs on the play thread; a stop ends it
// at the next wait and leaves what was drawn. Always returns true.
//
// In a sync group the picture enters at the group's moment for it, with the group's effect
// (`Group`); a GIF's later frames, which follow their first on their own delays, enter `Now`.
enum class TransitionStart
{
    Group,
    Now,
};
bool RunTransition(const QImage& source, int effect, int speed, CAct& area,
                   TransitionStart start = TransitionStart::Group);
