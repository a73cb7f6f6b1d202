#include "diag/chunk_tally.h"

#include "io/text.h"

namespace facetor {
namespace {

// Two types are the same entry exactly when their folded keys are equal: the
// lower-cased bytes up to the first NUL, zeros after it.
std::uint32_t folded_key(const char (&type)[4]) {
  const std::string_view used = cut_at_nul(std::string_view(type, 4));
  std::uint32_t key = 0;
  for (std::size_t i = 0; i < used.size(); ++i) {
    key |= std::uint32_t{static_cast<unsigned char>(to_ascii_lower(used[i]))} << (8 * i);
  }
  return key;
}

}  // namespace

std::size_t tally_find_or_add(ChunkTally& tally, const char (&type)[4]) {
  const std::uint32_t key = folded_key(type);
  const std::uint64_t hash = hash_of(tally.index, {key});
  const std::int32_t found =
      hash_find(tally.index, hash, [&](std::int32_t at) { return tally.keys[static_cast<std::size_t>(at)] == key; });
  if (found >= 0) return static_cast<std::size_t>(found);
  hash_insert(tally.index, hash, static_cast<std::int32_t>(tally.entries.size()));
  tally.entries.push_back(ChunkTypeTally{std::string(cut_at_nul(std::string_view(type, 4))), 0});
  tally.keys.push_back(key);
  return tally.entries.size() - 1;
}

}  // namespace facetor
