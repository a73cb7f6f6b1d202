// Runs mode A on composed COB files and spells out the expected sequence
// bytes in their big-endian form.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "anim/seq_export.h"
#include "support/cob_builder.h"

namespace facetor::test {

struct SeqResult {
  std::string file;
  std::string screen;
};

// The input is copied into a block of exactly its size, so that a read past
// its end is caught by the address sanitizer.
inline SeqResult export_bytes(std::span<const std::uint8_t> input, const std::string& source = "a.cob") {
  const auto exact = std::make_unique<std::uint8_t[]>(input.size());
  if (!input.empty()) std::memcpy(exact.get(), input.data(), input.size());
  const std::span<const std::uint8_t> cob(exact.get(), input.size());
  OutStream out = out_memory(StreamMode::Binary);
  OutStream console = out_memory(StreamMode::Binary);
  export_animation(out, console, source, cob);
  return {out_contents(out), out_contents(console)};
}

// Expected file bytes, big-endian.
struct Be {
  std::string bytes;
  Be& u8(std::uint8_t v) {
    bytes.push_back(static_cast<char>(v));
    return *this;
  }
  Be& u16(std::uint16_t v) { return u8(static_cast<std::uint8_t>(v >> 8)).u8(static_cast<std::uint8_t>(v)); }
  Be& u32(std::uint32_t v) { return u16(static_cast<std::uint16_t>(v >> 16)).u16(static_cast<std::uint16_t>(v)); }
  Be& i32(std::int32_t v) { return u32(static_cast<std::uint32_t>(v)); }
  Be& f32(float v) {
    std::uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    return u32(bits);
  }
  Be& str(std::string_view text) {
    u16(static_cast<std::uint16_t>(text.size() + 1));
    bytes.append(text);
    return u8(0);
  }
  Be& header(std::int16_t largest, std::int32_t limbs, std::string_view source) {
    return u32(0x7F7F7F79).u16(static_cast<std::uint16_t>(largest)).i32(limbs).str(source).str("pelvis");
  }
  // A named rotation section with one key.
  Be& rotation(std::string_view name, std::int32_t frame, float r0, float r1, float r2, float r3) {
    return str(name).i32(16).i32(1).i32(frame).f32(r0).f32(r1).f32(r3).f32(r2);
  }
  Be& identity_dummy() { return rotation("dummy", 0, 1, 0, 0, 0); }
  Be& closing() { return i32(16).i32(1).i32(0).f32(1).f32(0).u32(0x80000000).f32(0); }
};

}  // namespace facetor::test
