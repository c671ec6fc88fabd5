#include "PlayerRegistry.h"

#include <array>
#include <atomic>

namespace {

constexpr int kKindCount = static_cast<int>(ItemKind::Word) + 1;

// Atomic because a test may register while another area's play thread looks a kind up.
std::array<std::atomic<ItemPlayer>, kKindCount>& players()
{
    static std::array<std::atomic<ItemPlayer>, kKindCount> table{};
    return table;
}

bool known(ItemKind kind)
{
    const int index = static_cast<int>(kind);
    return index >= 0 && index < kKindCount;
}

} // namespace

void PlayerRegistry::add(ItemKind kind, ItemPlayer player)
{
    if (known(kind))
        players()[static_cast<std::size_t>(kind)].store(player);
}

ItemPlayer PlayerRegistry::find(ItemKind kind)
{
    return known(kind) ? players()[static_cast<std::size_t>(kind)].load() : nullptr;
}
