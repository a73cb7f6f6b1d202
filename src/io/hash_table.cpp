#include "io/hash_table.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <random>

namespace facetor {
namespace {

// Smallest table: small enough for the many tiny objects of a scene.
constexpr std::size_t kInitialSlots = 16;
// Largest size that hash_reserve asks for: 2^32 slots, or where std::size_t
// is 32 bits wide, the largest power of two it holds.
constexpr std::uint64_t kMaxSlots =
    std::min<std::uint64_t>(std::uint64_t{1} << 32, std::uint64_t{std::numeric_limits<std::size_t>::max()} / 2 + 1);

HashKey draw_key() {
  std::random_device device;
  auto word = [&] { return std::uint64_t{device()} << 32 | device(); };
  const std::uint64_t k0 = word();
  return HashKey{k0, word()};
}

HashKey& current_key() {
  static HashKey key = draw_key();
  return key;
}

void place(std::vector<HashTable::Slot>& slots, HashTable::Slot slot, std::uint64_t& probes) {
  const std::size_t mask = slots.size() - 1;
  std::size_t at = slot.hash & mask;
  for (++probes; slots[at].id >= 0; ++probes) at = (at + 1) & mask;
  slots[at] = slot;
}

// Doubles the slots (kept at most half full), placing every id again by its
// stored hash.
void grow(HashTable& table) {
  std::vector<HashTable::Slot> bigger(table.slots.empty() ? kInitialSlots : table.slots.size() * 2);
  for (const HashTable::Slot& slot : table.slots) {
    if (slot.id >= 0) place(bigger, slot, table.probes);
  }
  table.slots = std::move(bigger);
}

}  // namespace

HashKey process_hash_key() { return current_key(); }

void set_process_hash_key(HashKey key) { current_key() = key; }

void hash_reserve(HashTable& table, std::size_t expected) {
  if (table.used != 0) return;
  std::size_t size = kInitialSlots;
  while (size / 2 < expected && size < kMaxSlots) size *= 2;
  if (size > table.slots.size()) table.slots.assign(size, HashTable::Slot{});
}

void hash_insert(HashTable& table, std::uint64_t hash, std::int32_t id) {
  if ((table.used + 1) * 2 > table.slots.size()) grow(table);
  place(table.slots, HashTable::Slot{static_cast<std::uint32_t>(hash >> 32), id}, table.probes);
  ++table.used;
}

}  // namespace facetor
