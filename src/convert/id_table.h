// An open-addressing table of record ids keyed by a 64-bit hash. The records
// live elsewhere; the caller supplies the equality test against them. Lookups
// and insertions take constant time on average, so the corner searches of the
// mesh builder stay linear in the size of the model.
#pragma once

#include <cstdint>
#include <vector>

#include "io/hash.h"

namespace facetor {

struct IdTable {
  struct Slot {
    std::uint32_t hash = 0;
    std::int32_t id = -1;  // -1: empty
  };
  std::vector<Slot> slots;  // power-of-two size
  std::size_t used = 0;
};

// The id of the first stored record with this hash for which equal(id) holds,
// or -1.
template <class Equal>
std::int32_t id_table_find(const IdTable& table, std::uint64_t hash, Equal&& equal) {
  if (table.slots.empty()) return -1;
  const std::size_t mask = table.slots.size() - 1;
  const auto shortHash = static_cast<std::uint32_t>(hash);
  for (std::size_t at = shortHash & mask;; at = (at + 1) & mask) {
    const IdTable::Slot& slot = table.slots[at];
    if (slot.id < 0) return -1;
    if (slot.hash == shortHash && equal(slot.id)) return slot.id;
  }
}

void id_table_insert(IdTable& table, std::uint64_t hash, std::int32_t id);

// Makes room for about `expected` ids at once (an empty table only), so that
// a large table is not rebuilt on its way up.
void id_table_reserve(IdTable& table, std::size_t expected);

}  // namespace facetor
