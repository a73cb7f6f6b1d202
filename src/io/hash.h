// The keyed hash behind every hash index of the converter. Index keys come
// from the input file, so a fixed hash would let a file choose keys that all
// land in one probe window. Each process therefore draws a secret 128-bit key
// once, and keys are hashed with SipHash-1-3 under it: without the key, a
// file cannot tell which of its keys collide. Indexes give the same answers
// under every key; only their speed would depend on it.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string_view>

namespace facetor {

struct HashKey {
  std::uint64_t k0 = 0;
  std::uint64_t k1 = 0;
};

// The process's key: drawn from the system's random source on first use.
HashKey process_hash_key();

namespace detail {

inline std::uint64_t rotl(std::uint64_t x, int b) { return (x << b) | (x >> (64 - b)); }

inline void sip_round(std::uint64_t& v0, std::uint64_t& v1, std::uint64_t& v2, std::uint64_t& v3) {
  v0 += v1; v1 = rotl(v1, 13); v1 ^= v0; v0 = rotl(v0, 32);
  v2 += v3; v3 = rotl(v3, 16); v3 ^= v2;
  v0 += v3; v3 = rotl(v3, 21); v3 ^= v0;
  v2 += v1; v1 = rotl(v1, 17); v1 ^= v2; v2 = rotl(v2, 32);
}

struct SipState {
  std::uint64_t v0, v1, v2, v3;
};

inline SipState sip_start(const HashKey& key) {
  return {key.k0 ^ 0x736f6d6570736575ULL, key.k1 ^ 0x646f72616e646f6dULL, key.k0 ^ 0x6c7967656e657261ULL,
          key.k1 ^ 0x7465646279746573ULL};
}

inline void sip_add(SipState& s, std::uint64_t m) {
  s.v3 ^= m;
  sip_round(s.v0, s.v1, s.v2, s.v3);
  s.v0 ^= m;
}

// `last` is the final block: the message length in its top byte, the bytes
// left over below it.
inline std::uint64_t sip_finish(SipState& s, std::uint64_t last) {
  sip_add(s, last);
  s.v2 ^= 0xff;
  sip_round(s.v0, s.v1, s.v2, s.v3);
  sip_round(s.v0, s.v1, s.v2, s.v3);
  sip_round(s.v0, s.v1, s.v2, s.v3);
  return s.v0 ^ s.v1 ^ s.v2 ^ s.v3;
}

}  // namespace detail

// SipHash-1-3 under key of a sequence of 64-bit words (as the bytes of the
// words in little-endian order would hash).
inline std::uint64_t keyed_hash(const HashKey& key, std::initializer_list<std::uint64_t> words) {
  detail::SipState s = detail::sip_start(key);
  for (const std::uint64_t m : words) detail::sip_add(s, m);
  return detail::sip_finish(s, static_cast<std::uint64_t>(words.size() * 8) << 56);
}

// SipHash-1-3 under key of a byte string.
inline std::uint64_t keyed_hash_bytes(const HashKey& key, std::string_view bytes) {
  detail::SipState s = detail::sip_start(key);
  std::size_t at = 0;
  auto byte = [&](std::size_t i) { return std::uint64_t{static_cast<unsigned char>(bytes[i])}; };
  for (; at + 8 <= bytes.size(); at += 8) {
    std::uint64_t m = 0;
    for (std::size_t i = 0; i < 8; ++i) m |= byte(at + i) << (8 * i);
    detail::sip_add(s, m);
  }
  std::uint64_t last = static_cast<std::uint64_t>(bytes.size()) << 56;
  for (std::size_t i = 0; at + i < bytes.size(); ++i) last |= byte(at + i) << (8 * i);
  return detail::sip_finish(s, last);
}

}  // namespace facetor
