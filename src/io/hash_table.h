// The one open-addressing hash index of the converter: it maps keys to record
// ids (int32, >= 0); the records live elsewhere, and the caller supplies the
// equality test against them. Keys are hashed with the table's secret key
// (io/hash.h), so input cannot steer them into one probe window; linear
// probing in a table kept at most half full then costs a few probes per
// operation on average.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <vector>

#include "io/hash.h"
#include "io/large_block.h"

namespace facetor {

struct HashTable {
  struct Slot {
    // The high half of the key's hash: it picks the first slot (tables stay
    // below 2^32 slots) and tells most mismatches apart without the records.
    std::uint32_t hash = 0;
    std::int32_t id = -1;   // -1: empty
  };
  LargeVector<Slot> slots;  // power-of-two size
  std::size_t used = 0;
  HashKey key = process_hash_key();
};

// The hash of a key given as 64-bit words, under the table's key.
inline std::uint64_t hash_of(const HashTable& table, std::initializer_list<std::uint64_t> words) {
  return keyed_hash(table.key, words);
}

inline std::uint64_t hash_of_bytes(const HashTable& table, std::string_view bytes) {
  return keyed_hash_bytes(table.key, bytes);
}

// The id of the stored record with this hash for which equal(id) holds, or -1.
template <class Equal>
std::int32_t hash_find(const HashTable& table, std::uint64_t hash, Equal&& equal) {
  if (table.slots.empty()) return -1;
  const std::size_t mask = table.slots.size() - 1;
  const auto high = static_cast<std::uint32_t>(hash >> 32);
  for (std::size_t at = high & mask;; at = (at + 1) & mask) {
    const HashTable::Slot& slot = table.slots[at];
    if (slot.id < 0) return -1;
    if (slot.hash == high && equal(slot.id)) return slot.id;
  }
}

// Stores id under hash; the caller has made sure that no equal record is stored.
void hash_insert(HashTable& table, std::uint64_t hash, std::int32_t id);

// Makes room for about `expected` ids (an empty table only), so that a large
// table is not rebuilt on its way up.
void hash_reserve(HashTable& table, std::size_t expected);

// Asks the processor to fetch the slot that hash starts at (a hint only).
inline void hash_prefetch(const HashTable& table, std::uint64_t hash) {
  if (!table.slots.empty()) __builtin_prefetch(&table.slots[(hash >> 32) & (table.slots.size() - 1)]);
}

}  // namespace facetor
