// The name directives: conversion switches that modellers write into the
// names of scene nodes and polygon objects ("_wireframe", "_collisionoff",
// ...). Only names whose lower-case copy begins with "qz_" carry them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace facetor {

// The values that the walk carries from node to node.
struct DirectiveState {
  bool avatar = false;
  bool ownPivots = false;
  bool collision = true;
  bool wireframe = false;
  std::uint8_t addressMode = 1;  // 1 Wrap, 2 Mirror, 3 Clamp
  std::uint8_t mipmap = 1;
  bool optverts = false;
};

// The per-object copies, and the object's own flags.
struct ObjectDirectives {
  bool wireframe = false;
  std::uint8_t addressMode = 1;
  std::uint8_t mipmap = 1;
  bool optverts = false;
  bool picture = false;
  bool sign = false;
};

// What a name asks of the opacity fix of its node: nothing, on or off.
enum class OpacityFixRequest { None, On, Off };

// At most 99 characters of the name, ASCII letters lowered. Directives,
// prototype names and avatar joint tokens all read this copy.
std::string lower_name_copy(std::string_view name);

// Applies the directives of a node's lower-case name copy to the walk's
// values; facer is raised (never lowered) by "_facer".
OpacityFixRequest apply_node_directives(std::string_view lowerName, DirectiveState& state, bool& facer);

// Applies the directives of an object's lower-case name copy to its copies.
OpacityFixRequest apply_object_directives(std::string_view lowerName, ObjectDirectives& object, bool& facer);

}  // namespace facetor
