#include "convert/directives.h"

#include "io/text.h"

namespace facetor {
namespace {

constexpr std::size_t kNameCopyLength = 99;
constexpr std::string_view kDirectivePrefix = "qz_";

bool has(std::string_view name, std::string_view directive) {
  return name.find(directive) != std::string_view::npos;
}

// The opacity-fix pair, tested in this order so that "off" wins.
OpacityFixRequest opacity_fix_request(std::string_view name) {
  OpacityFixRequest request = OpacityFixRequest::None;
  if (has(name, "_opacityfixon")) request = OpacityFixRequest::On;
  if (has(name, "_opacityfixoff")) request = OpacityFixRequest::Off;
  return request;
}

// Texture address mode: wrap, then clamp, then mirror; the last one present wins.
void address_mode_directives(std::string_view name, std::uint8_t& addressMode) {
  if (has(name, "_tamwrap")) addressMode = 1;
  if (has(name, "_tamclamp")) addressMode = 3;
  if (has(name, "_tammirror")) addressMode = 2;
}

void mipmap_directives(std::string_view name, std::uint8_t& mipmap) {
  if (has(name, "_mipmapon")) mipmap = 1;
  if (has(name, "_mipmapoff")) mipmap = 0;
}

}  // namespace

std::string lower_name_copy(std::string_view name) {
  return lowered_ascii(cut_at_nul(name).substr(0, kNameCopyLength));
}

OpacityFixRequest apply_node_directives(std::string_view lowerName, DirectiveState& state, bool& facer) {
  if (!lowerName.starts_with(kDirectivePrefix)) return OpacityFixRequest::None;
  if (has(lowerName, "_avatar")) state.avatar = true;
  if (has(lowerName, "_optverts")) state.optverts = true;
  if (has(lowerName, "_v3")) state.ownPivots = true;
  if (has(lowerName, "_facer")) facer = true;
  if (has(lowerName, "_collisionon")) state.collision = true;
  if (has(lowerName, "_collisionoff")) state.collision = false;
  if (has(lowerName, "_solid")) state.wireframe = false;
  if (has(lowerName, "_wireframe")) state.wireframe = true;
  mipmap_directives(lowerName, state.mipmap);
  address_mode_directives(lowerName, state.addressMode);
  return opacity_fix_request(lowerName);
}

OpacityFixRequest apply_object_directives(std::string_view lowerName, ObjectDirectives& object, bool& facer) {
  if (!lowerName.starts_with(kDirectivePrefix)) return OpacityFixRequest::None;
  if (has(lowerName, "_solid")) object.wireframe = false;
  if (has(lowerName, "_optverts")) object.optverts = true;
  if (has(lowerName, "_wireframe")) object.wireframe = true;
  address_mode_directives(lowerName, object.addressMode);
  mipmap_directives(lowerName, object.mipmap);
  if (has(lowerName, "_facer")) facer = true;
  if (has(lowerName, "_picture")) object.picture = true;
  if (has(lowerName, "_sign")) object.sign = true;
  return opacity_fix_request(lowerName);
}

}  // namespace facetor
