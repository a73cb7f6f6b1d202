#include "diag/chunk_tally.h"

#include <cstring>

namespace facetor {
namespace {

unsigned char lower(unsigned char c) { return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + 32) : c; }

// strncasecmp over 4 characters: stops early where both hold a NUL.
bool same_type(const std::string& stored, const char (&type)[4]) {
  for (std::size_t i = 0; i < 4; ++i) {
    const auto a = static_cast<unsigned char>(i < stored.size() ? stored[i] : '\0');
    const auto b = static_cast<unsigned char>(type[i]);
    if (lower(a) != lower(b)) return false;
    if (a == '\0') return true;
  }
  return true;
}

// Two types are the same for the scan exactly when their folded keys are
// equal: the lower-cased bytes up to the first NUL, zeros after it.
std::uint32_t folded_key(const char (&type)[4]) {
  std::uint32_t key = 0;
  for (std::size_t i = 0; i < 4 && type[i] != '\0'; ++i) key |= std::uint32_t{lower(static_cast<unsigned char>(type[i]))} << (8 * i);
  return key;
}

}  // namespace

std::size_t tally_find_or_add(std::vector<ChunkTypeTally>& tally, const char (&type)[4]) {
  for (std::size_t i = 0; i < tally.size(); ++i) {
    if (same_type(tally[i].type, type)) return i;
  }
  const std::size_t length = strnlen(type, 4);
  tally.push_back(ChunkTypeTally{std::string(type, length), 0});
  return tally.size() - 1;
}

std::size_t tally_find_or_add(ChunkTally& tally, const char (&type)[4]) {
  const std::uint32_t key = folded_key(type);
  const std::uint64_t hash = hash_of(tally.index, {key});
  const std::int32_t found =
      hash_find(tally.index, hash, [&](std::int32_t at) { return tally.keys[static_cast<std::size_t>(at)] == key; });
  if (found >= 0) return static_cast<std::size_t>(found);
  hash_insert(tally.index, hash, static_cast<std::int32_t>(tally.entries.size()));
  tally.entries.push_back(ChunkTypeTally{std::string(type, strnlen(type, 4)), 0});
  tally.keys.push_back(key);
  return tally.entries.size() - 1;
}

}  // namespace facetor
