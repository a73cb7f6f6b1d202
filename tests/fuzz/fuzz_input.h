// The input of the two-conversion fuzzer: two COB files joined by a
// separator; without the separator the same file is converted twice.
#pragma once

#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

#include "cob/container.h"

namespace facetor::fuzz {

inline constexpr std::string_view kPairSeparator = "\n--NEXT-COB-FILE--\n";

inline std::pair<Bytes, Bytes> split_pair(Bytes input) {
  std::string_view text(reinterpret_cast<const char*>(input.data()), input.size());
  std::size_t at = text.find(kPairSeparator);
  if (at == std::string_view::npos) return {input, input};
  return {input.first(at), input.subspan(at + kPairSeparator.size())};
}

inline std::vector<std::uint8_t> join_pair(const std::vector<std::uint8_t>& first,
                                           const std::vector<std::uint8_t>& second) {
  std::vector<std::uint8_t> joined(first);
  joined.insert(joined.end(), kPairSeparator.begin(), kPairSeparator.end());
  joined.insert(joined.end(), second.begin(), second.end());
  return joined;
}

}  // namespace facetor::fuzz
