#include "convert/id_table.h"

namespace facetor {
namespace {

constexpr std::size_t kInitialSlots = 64;

void place(std::vector<IdTable::Slot>& slots, IdTable::Slot slot) {
  const std::size_t mask = slots.size() - 1;
  std::size_t at = slot.hash & mask;
  while (slots[at].id >= 0) at = (at + 1) & mask;
  slots[at] = slot;
}

// Doubles the slots (kept at most half full), re-placing every id by the
// stored hash.
void grow(IdTable& table) {
  std::vector<IdTable::Slot> bigger(table.slots.empty() ? kInitialSlots : table.slots.size() * 2);
  for (const IdTable::Slot& slot : table.slots) {
    if (slot.id >= 0) place(bigger, slot);
  }
  table.slots = std::move(bigger);
}

}  // namespace

void id_table_reserve(IdTable& table, std::size_t expected) {
  if (table.used != 0) return;
  std::size_t size = kInitialSlots;
  while (size < 2 * expected && size < (std::size_t{1} << 32)) size *= 2;
  if (size > table.slots.size()) table.slots.assign(size, IdTable::Slot{});
}

void id_table_insert(IdTable& table, std::uint64_t hash, std::int32_t id) {
  if ((table.used + 1) * 2 > table.slots.size()) grow(table);
  place(table.slots, IdTable::Slot{static_cast<std::uint32_t>(hash), id});
  ++table.used;
}

}  // namespace facetor
