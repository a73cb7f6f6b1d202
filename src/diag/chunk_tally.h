// The per-type chunk count of modes H and D: one entry per distinct chunk
// type, in order of first occurrence, with the spelling of the first one met.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cob/container.h"
#include "io/hash_table.h"

namespace facetor {

struct ChunkTypeTally {
  std::string type;  // up to 4 characters: the type up to its first NUL
  std::int32_t count = 0;
};

// The tally with an index on the folded type (lower case, up to its first
// NUL), so that a file with very many distinct types is still counted in
// linear time. Two types are one entry when they are equal over their 4
// characters without regard to case, ending early at a NUL in both.
struct ChunkTally {
  std::vector<ChunkTypeTally> entries;
  std::vector<std::uint32_t> keys;  // per entry: its folded type, one byte each
  HashTable index;                  // folded type -> entry
};
// Finds the entry of a chunk type or appends a new one with count 0, and
// returns its index.
std::size_t tally_find_or_add(ChunkTally& tally, const char (&type)[4]);

}  // namespace facetor
