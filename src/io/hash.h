// The keyed hash behind every hash index of the converter. Index keys come
// from the input file, so a fixed hash would let a file choose keys that all
// land in one probe window. Each process therefore draws a secret 128-bit key
// once, and keys are hashed with SipHash-1-3 under it: without the key, a
// file cannot tell which of its keys collide. Indexes give the same answers
// under every key; only their speed would depend on it.
#pragma once

#include <cstdint>
#include <initializer_list>

namespace facetor {

struct HashKey {
  std::uint64_t k0 = 0;
  std::uint64_t k1 = 0;
};

// The process's key: drawn from the system's random source on first use.
HashKey process_hash_key();

// Replaces the process's key for indexes made from now on (tests use it to
// show that answers do not depend on the key).
void set_process_hash_key(HashKey key);

namespace detail {

inline std::uint64_t rotl(std::uint64_t x, int b) { return (x << b) | (x >> (64 - b)); }

inline void sip_round(std::uint64_t& v0, std::uint64_t& v1, std::uint64_t& v2, std::uint64_t& v3) {
  v0 += v1; v1 = rotl(v1, 13); v1 ^= v0; v0 = rotl(v0, 32);
  v2 += v3; v3 = rotl(v3, 16); v3 ^= v2;
  v0 += v3; v3 = rotl(v3, 21); v3 ^= v0;
  v2 += v1; v1 = rotl(v1, 17); v1 ^= v2; v2 = rotl(v2, 32);
}

}  // namespace detail

// SipHash-1-3 of a sequence of 64-bit words under key.
inline std::uint64_t keyed_hash(const HashKey& key, std::initializer_list<std::uint64_t> words) {
  std::uint64_t v0 = key.k0 ^ 0x736f6d6570736575ULL;
  std::uint64_t v1 = key.k1 ^ 0x646f72616e646f6dULL;
  std::uint64_t v2 = key.k0 ^ 0x6c7967656e657261ULL;
  std::uint64_t v3 = key.k1 ^ 0x7465646279746573ULL;
  for (const std::uint64_t m : words) {
    v3 ^= m;
    detail::sip_round(v0, v1, v2, v3);
    v0 ^= m;
  }
  const std::uint64_t last = static_cast<std::uint64_t>(words.size() * 8) << 56;
  v3 ^= last;
  detail::sip_round(v0, v1, v2, v3);
  v0 ^= last;
  v2 ^= 0xff;
  detail::sip_round(v0, v1, v2, v3);
  detail::sip_round(v0, v1, v2, v3);
  detail::sip_round(v0, v1, v2, v3);
  return v0 ^ v1 ^ v2 ^ v3;
}

}  // namespace facetor
