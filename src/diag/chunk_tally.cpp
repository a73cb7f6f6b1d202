#include "diag/chunk_tally.h"

#include "io/text.h"

namespace facetor {
namespace {

// Two types are the same entry exactly when their folded keys are equal.
std::string folded_key(const char (&type)[4]) { return lowered_ascii(cut_at_nul(std::string_view(type, 4))); }

}  // namespace

std::size_t tally_find_or_add(ChunkTally& tally, const char (&type)[4]) {
  const auto [at, added] = tally.index.try_emplace(folded_key(type), tally.entries.size());
  if (added) tally.entries.push_back(ChunkTypeTally{std::string(cut_at_nul(std::string_view(type, 4))), 0});
  return at->second;
}

}  // namespace facetor
