#pragma once

#include "ItemKind.h"

class CAct;
class CPropBase;

// Plays one item into the area on the play thread and returns when its showing is over or the
// area's stop event is set. The item is a copy taken for this one play.
using ItemPlayer = void (*)(const CPropBase& item, CAct& area);

// The player of each item kind. Items are data and know no player: CPropBase::Play looks its
// kind up here. The players fill the registry at start, before any area plays.
namespace PlayerRegistry {

void add(ItemKind kind, ItemPlayer player);
// Null when no player plays the kind.
ItemPlayer find(ItemKind kind);

} // namespace PlayerRegistry
