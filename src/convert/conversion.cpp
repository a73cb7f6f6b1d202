#include "convert/conversion.h"

#include <algorithm>
#include <new>
#include <span>
#include <vector>

#include "cob/scene.h"
#include "convert/directives.h"
#include "convert/mesh_builder.h"
#include "convert/scene_walk.h"

namespace facetor {
namespace {

constexpr std::uint16_t kHiddenFlag = 0x08;
constexpr std::string_view kAvatarPrefix = "qz_";

using SceneChain = std::span<const std::unique_ptr<SceneNode>>;

struct Walk {
  ConversionState& state;
  OutStream& console;
  bool facer = false;
};

bool is_visible(const PolygonObject& object) { return (object.hidden & kHiddenFlag) == 0; }

bool has_geometry(const SceneNode& node) {
  return std::any_of(node.objects.begin(), node.objects.end(),
                     [](const std::unique_ptr<PolygonObject>& o) { return is_visible(*o); });
}

void apply_opacity_fix(ModelNode& node, OpacityFixRequest request) {
  if (request != OpacityFixRequest::None) node_set_opacity_fix(node, request == OpacityFixRequest::On);
}

// Where a node's walk stands while it converts its objects.
struct NodeContext {
  const SceneNode& node;
  ModelNode& model;
  const DirectiveState& directives;
  bool jointFound = false;
  bool firstObject = true;
};

// The vertex transform and the prototype transform of an object (avatar
// pivots come from the object's own axes with "_v3", else from the node's
// axes for the node's first object).
void set_transforms(Walk& walk, NodeContext& ctx, const PolygonObject& object) {
  Transform vertexTransform;
  transform_from_matrix(vertexTransform, object.position.rows);
  const float* pivot = nullptr;
  if (ctx.directives.avatar) {
    if (ctx.directives.ownPivots) {
      pivot = object.axes.centre;
    } else if (ctx.firstObject) {
      pivot = ctx.node.axes.centre;
    }
  }
  Transform& protoTransform = walk.state.currentProto->transform;
  protoTransform = transform_identity();
  if (pivot != nullptr) {
    for (int i = 0; i < 3; ++i) {
      vertexTransform.translation[i] -= pivot[i];
      protoTransform.translation[i] = pivot[i];
    }
  }
  walk.state.vertexTransform = vertexTransform;
}

void set_joint_number(Walk& walk, NodeContext& ctx, const std::string& lowerName) {
  if (!ctx.directives.avatar || !lowerName.starts_with(kAvatarPrefix)) return;
  if (ctx.jointFound && !ctx.directives.ownPivots) return;
  if (const std::int32_t joint = joint_from_name(lowerName)) {
    proto_set_joint(*walk.state.currentProto, joint);
    ctx.jointFound = true;
  }
}

// The joint table: bones sorted by joint number (stable, so equal numbers
// keep their file order), after the root entry that the store adds.
void add_joint_table(Walk& walk, PolygonObject& object) {
  std::stable_sort(object.bones.begin(), object.bones.end(),
                   [](const BoneRecord& a, const BoneRecord& b) { return a.joint < b.joint; });
  for (const BoneRecord& bone : object.bones) {
    proto_add_joint(*walk.state.currentProto, bone.joint, bone.parentJoint, bone.pivot);
  }
}

void convert_object(Walk& walk, NodeContext& ctx, PolygonObject& object) {
  ConversionState& state = walk.state;
  const DirectiveState& d = ctx.directives;
  ObjectDirectives own{d.wireframe, d.addressMode, d.mipmap, d.optverts, false, false};
  const std::string lowerName = lower_name_copy(object.name);
  apply_opacity_fix(ctx.model, apply_object_directives(lowerName, own, walk.facer));

  state.currentProto = proto_new(lowerName);
  if (!state.currentProto) throw std::bad_alloc();  // the driver reports it and ends the program
  set_transforms(walk, ctx, object);
  set_joint_number(walk, ctx, lowerName);
  proto_set_wireframe(*state.currentProto, own.wireframe ? 1 : 0);

  state.currentNode = &ctx.model;
  if (d.avatar && !d.ownPivots && !ctx.firstObject) state.currentNode = node_add_child(ctx.model, node_create());
  add_joint_table(walk, object);

  build_mesh(state, walk.console, object, BuildOptions{own.picture, own.sign, own.addressMode, own.mipmap, own.optverts});

  proto_compact(*state.currentProto);
  write_prototype(state.writer, state.currentNode, state.currentProto);
  node_set_collision(*state.currentNode, d.collision);
  ctx.firstObject = false;
}

// One sibling chain still being walked.
struct ChainFrame {
  SceneChain chain;
  std::size_t next = 0;
  ModelNode* parent = nullptr;
  DirectiveState directives;
  bool ancestorGeometry = false;
};

// One node: its model node, directives, collision, the rotate flag and its
// objects; returns the model node (already added to the
// parent's children).
ModelNode* convert_node(Walk& walk, ChainFrame& frame, SceneNode& node) {
  std::unique_ptr<ModelNode> model = node_create();
  const std::string lowerName = lower_name_copy(node.name);
  apply_opacity_fix(*model, apply_node_directives(lowerName, frame.directives, walk.facer));
  node_set_collision(*model, frame.directives.collision);
  if (!frame.ancestorGeometry && !frame.directives.avatar) walk.state.rotateFlag = 1;

  NodeContext ctx{node, *model, frame.directives};
  for (const std::unique_ptr<PolygonObject>& object : node.objects) {
    if (is_visible(*object)) convert_object(walk, ctx, *object);
  }
  return node_add_child(*frame.parent, std::move(model));
}

// The walk over a sibling chain and, depth first, the chains of its
// children, kept on an explicit stack so that deep scenes cannot exhaust the
// call stack. Each node's directive values flow to its later siblings and
// (as a copy) to its children, never back up.
void convert_nodes(Walk& walk, SceneChain chain, ModelNode& parent) {
  std::vector<ChainFrame> stack;
  stack.push_back(ChainFrame{chain, 0, &parent, DirectiveState{}, false});
  while (!stack.empty()) {
    ChainFrame& frame = stack.back();
    if (frame.next >= frame.chain.size()) {
      stack.pop_back();
      continue;
    }
    SceneNode& node = *frame.chain[frame.next++];
    ModelNode* model = convert_node(walk, frame, node);
    if (!node.children.empty()) {
      ChainFrame child{node.children, 0, model, frame.directives, frame.ancestorGeometry || has_geometry(node)};
      stack.push_back(std::move(child));
    }
  }
}

// The first chain of the walk: the root's children, or the root itself when
// it has no children or holds visible polygon objects of its own (which would
// otherwise be lost).
int convert_tree(Walk& walk, const std::unique_ptr<SceneNode>& root) {
  std::unique_ptr<ModelNode> modelRoot = node_create();
  const bool startAtRoot = root->children.empty() || has_geometry(*root);
  const SceneChain chain = startAtRoot ? SceneChain(&root, 1) : SceneChain(root->children);
  convert_nodes(walk, chain, *modelRoot);
  walk.state.modelRoot = std::move(modelRoot);
  walk.state.axisAlignmentFlag = walk.facer ? 1 : 0;
  return 1;
}

}  // namespace

int convert_scene(ConversionState& state, OutStream& console,
                  const std::unique_ptr<SceneNode>& root) {
  Walk walk{state, console};
  const int result = convert_tree(walk, root);
  state.currentProto.reset();
  state.currentNode = nullptr;
  return result;
}

int load_and_convert(ConversionState& state, OutStream& console, const std::string& sourceName,
                     Bytes buffer) {
  state.sourceName = sourceName;
  state.modelRoot.reset();
  std::unique_ptr<SceneNode> root = load_scene(buffer, console, sourceName);
  if (!root) return 0;
  const int result = convert_scene(state, console, root);
  free_scene(std::move(root));
  return result;
}

}  // namespace facetor
