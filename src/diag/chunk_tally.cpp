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

// Two types are the same for the scan exactly when their folded keys are equal.
std::string folded_key(const char (&type)[4]) {
  std::string key(type, strnlen(type, 4));
  for (char& c : key) c = static_cast<char>(lower(static_cast<unsigned char>(c)));
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
  const auto [at, added] = tally.index.try_emplace(folded_key(type), tally.entries.size());
  if (added) tally.entries.push_back(ChunkTypeTally{std::string(type, strnlen(type, 4)), 0});
  return at->second;
}

}  // namespace facetor
