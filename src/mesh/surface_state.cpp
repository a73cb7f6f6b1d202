#include <cmath>

#include "io/text.h"
#include "mesh/mesh_store.h"

namespace facetor {
namespace {

bool equal_ignoring_case(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (to_ascii_lower(a[i]) != to_ascii_lower(b[i])) return false;
  }
  return true;
}

std::optional<std::string> stored_name(const std::optional<std::string>& name) {
  if (!name) return std::nullopt;
  return apply_extension_rule(*name);
}

}  // namespace

bool texture_names_equal(const std::optional<std::string>& a, const std::optional<std::string>& b) {
  if (!a && !b) return true;
  if (!a || !b) return false;
  return equal_ignoring_case(*a, *b);
}

SurfaceRef surface_new() { return std::make_shared<SurfaceState>(); }

std::uint8_t colour_byte(float value) {
  const double product = static_cast<double>(value) * 255.0;
  // Only products whose truncation fits 32 bits are converted; NaN fails both.
  if (!(product > -2147483649.0 && product < 2147483648.0)) return 0;
  const auto whole = static_cast<std::int32_t>(product);
  return static_cast<std::uint8_t>(static_cast<std::uint32_t>(whole) & 0xFFu);
}

void surface_set_color(SurfaceState& state, float red, float green, float blue) {
  state.red = colour_byte(red);
  state.green = colour_byte(green);
  state.blue = colour_byte(blue);
}

void surface_set_opacity(SurfaceState& state, float alpha) { state.opacity = colour_byte(alpha); }

void surface_set_names(SurfaceState& state, const std::optional<std::string>& texture,
                       const std::optional<std::string>& mask) {
  state.texture = stored_name(texture);
  state.mask = stored_name(mask);
}

bool surface_is_translucent(const SurfaceState& state) { return state.opacity < 255 || state.mask.has_value(); }

// Masks are compared only when both states carry a texture: two states
// without textures are equal once their bytes and floats agree.
bool surface_equal(const SurfaceState* a, const SurfaceState* b) {
  if (a == nullptr || b == nullptr) return false;
  if (a->lightSampling != b->lightSampling || a->mipmap != b->mipmap || a->addressMode != b->addressMode ||
      a->red != b->red || a->green != b->green || a->blue != b->blue || a->opacity != b->opacity) {
    return false;
  }
  if (!(a->ambient == b->ambient) || !(a->diffuse == b->diffuse)) return false;
  if (!a->texture && !b->texture) return true;
  if (!texture_names_equal(a->texture, b->texture)) return false;
  return texture_names_equal(a->mask, b->mask);
}

std::string apply_extension_rule(const std::string& name) {
  const std::size_t dot = name.rfind('.');
  if (dot == std::string::npos) return name;
  static const char* const kKeptExtensions[] = {"gif", "png", "tif", "emf", "wmf", "ico"};
  const std::string extension = name.substr(dot + 1);
  for (const char* kept : kKeptExtensions) {
    if (equal_ignoring_case(extension, kept)) {
      std::string result = name;
      result[dot] = '_';
      return result;
    }
  }
  return name.substr(0, dot);
}

}  // namespace facetor
