// ASCII text helpers shared by every layer: letter-case folding, which names
// of chunk types, textures, joints and directives are compared under, and the
// C-string view of a text that ends at its first NUL byte.
#pragma once

#include <string>
#include <string_view>

namespace facetor {

// 'A' to 'Z' become 'a' to 'z'; every other byte stays as it is.
constexpr char to_ascii_lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

inline void lower_ascii(std::string& text) {
  for (char& c : text) c = to_ascii_lower(c);
}

inline std::string lowered_ascii(std::string_view text) {
  std::string lowered(text);
  lower_ascii(lowered);
  return lowered;
}

// The text up to its first NUL byte, as a C string reads it.
constexpr std::string_view cut_at_nul(std::string_view text) { return text.substr(0, text.find('\0')); }

}  // namespace facetor
