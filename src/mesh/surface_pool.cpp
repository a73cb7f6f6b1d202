#include "mesh/surface_pool.h"

#include <cmath>
#include <cstring>
#include <optional>
#include <string>

#include "io/text.h"

namespace facetor {
namespace {

constexpr std::uint32_t kNoClass = UINT32_MAX;

void add_float(std::string& key, float value) {
  char bytes[sizeof value];
  std::memcpy(bytes, &value, sizeof value);
  key.append(bytes, sizeof value);
}

// A name, or its absence, such that no two differ in the key's bytes alone.
void add_name(std::string& key, const std::optional<std::string>& name, bool caseless) {
  if (!name) {
    key += '\0';
    return;
  }
  key += '\1';
  const std::size_t length = name->size();
  key.append(reinterpret_cast<const char*>(&length), sizeof length);
  for (char c : *name) key += caseless ? to_ascii_lower(c) : c;
}

// The bytes that tell states apart: exactly, or as surface_equal does
// (names without case, -0 as 0, the mask only beside a texture).
std::string state_key(const SurfaceState& s, bool caseless) {
  std::string key{static_cast<char>(s.lightSampling), static_cast<char>(s.mipmap), static_cast<char>(s.addressMode),
                  static_cast<char>(s.red), static_cast<char>(s.green), static_cast<char>(s.blue),
                  static_cast<char>(s.opacity)};
  add_float(key, caseless && s.ambient == 0 ? 0.0f : s.ambient);
  add_float(key, caseless && s.diffuse == 0 ? 0.0f : s.diffuse);
  add_name(key, s.texture, caseless);
  if (!caseless || s.texture) add_name(key, s.mask, caseless);
  return key;
}

bool same_value(const SurfaceState& a, const SurfaceState& b) { return state_key(a, false) == state_key(b, false); }

// The class of a new state: that of an earlier state it equals, or a new one.
std::uint32_t class_of(SurfacePool& pool, const SurfaceState& state, std::uint32_t id) {
  if (std::isnan(state.ambient) || std::isnan(state.diffuse)) return pool.classCount++;  // equal to none
  const std::uint64_t hash = hash_of_bytes(pool.byClass, state_key(state, true));
  const std::int32_t first = hash_find(pool.byClass, hash, [&](std::int32_t other) {
    return surface_equal(pool.states[static_cast<std::size_t>(other)].get(), &state);
  });
  if (first >= 0) return pool.classes[static_cast<std::size_t>(first)];
  hash_insert(pool.byClass, hash, static_cast<std::int32_t>(id));
  return pool.classCount++;
}

}  // namespace

std::uint32_t surface_pool_add(SurfacePool& pool, const SurfaceState& state) {
  const std::uint64_t hash = hash_of_bytes(pool.byValue, state_key(state, false));
  const std::int32_t found = hash_find(pool.byValue, hash, [&](std::int32_t id) {
    return same_value(*pool.states[static_cast<std::size_t>(id)], state);
  });
  if (found >= 0) return static_cast<std::uint32_t>(found);
  const auto id = static_cast<std::uint32_t>(pool.states.size());
  pool.classes.push_back(kNoClass);
  pool.states.push_back(std::make_shared<SurfaceState>(state));
  pool.classes.back() = class_of(pool, state, id);
  hash_insert(pool.byValue, hash, static_cast<std::int32_t>(id));
  return id;
}

}  // namespace facetor
