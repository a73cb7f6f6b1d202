#include "convert/conversion.h"

#include <algorithm>
#include <deque>
#include <span>
#include <vector>

#include "cob/scene.h"
#include "convert/directives.h"
#include "convert/mesh_builder.h"
#include "convert/scene_walk.h"
#include "joints/joint_names.h"

namespace facetor {
namespace {

constexpr std::uint16_t kHiddenFlag = 0x08;
constexpr std::string_view kAvatarPrefix = "qz_";

using SceneChain = std::span<const std::unique_ptr<SceneNode>>;

// What the walk reads and what it makes along the way.
struct Walk {
  OutStream& console;
  const std::string& sourceName;
  const FinishedPrototype& finished;
  const SpentInput& spent;
  CarriedState carried;
  bool facer = false;
  bool rotate = false;
};

bool is_visible(const PolygonObject& object) { return (object.hidden & kHiddenFlag) == 0; }

bool has_geometry(const SceneNode& node) {
  return std::any_of(node.objects.begin(), node.objects.end(),
                     [](const std::unique_ptr<PolygonObject>& o) { return is_visible(*o); });
}

void apply_opacity_fix(ModelNode& node, OpacityFixRequest request) {
  if (request != OpacityFixRequest::None) node.opacityFix = request == OpacityFixRequest::On;
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
// axes for the node's first object). Returns the vertex transform.
Transform set_transforms(const NodeContext& ctx, const PolygonObject& object, Prototype& proto) {
  Transform vertexTransform;
  transform_from_matrix(vertexTransform, object.position.rows);
  const float* pivot = nullptr;
  if (ctx.directives.avatar) {
    if (ctx.directives.ownPivots) {
      pivot = object.axes.centre;
    } else if (ctx.firstObject) {
      static constexpr float kNoPlacement[3] = {0, 0, 0};  // the zero axes of a node without a placement
      pivot = ctx.node.placement ? ctx.node.placement->axes.centre : kNoPlacement;
    }
  }
  proto.transform = Transform{};
  if (pivot != nullptr) {
    for (int i = 0; i < 3; ++i) {
      vertexTransform.translation[i] -= pivot[i];
      proto.transform.translation[i] = pivot[i];
    }
  }
  return vertexTransform;
}

void set_joint_number(NodeContext& ctx, const std::string& lowerName, Prototype& proto) {
  if (!ctx.directives.avatar || !lowerName.starts_with(kAvatarPrefix)) return;
  if (ctx.jointFound && !ctx.directives.ownPivots) return;
  if (const std::int32_t joint = joint_from_name(lowerName)) {
    proto.joint = joint;
    ctx.jointFound = true;
  }
}

// The joint table: bones sorted by joint number (stable, so equal numbers
// keep their file order), after the root entry that the store adds.
void add_joint_table(std::vector<BoneRecord> bones, Prototype& proto) {
  std::stable_sort(bones.begin(), bones.end(),
                   [](const BoneRecord& a, const BoneRecord& b) { return a.joint < b.joint; });
  for (const BoneRecord& bone : bones) {
    proto_add_joint(proto, bone.joint, bone.parentJoint, bone.pivot);
  }
}

bool has_corners(const PolygonObject& object) {
  return object.cornerTotal != 0;
}

// The name under which the hierarchy instances a written prototype, its
// joint and its pivot.
ProtoInstance instance_of(const Prototype& proto) {
  ProtoInstance instance{cleaned_name(proto), proto.joint, {}};
  for (int i = 0; i < 3; ++i) instance.translation[i] = proto.transform.translation[i];
  return instance;
}

void convert_object(Walk& walk, NodeContext& ctx, PolygonObject&& object) {
  const DirectiveState& d = ctx.directives;
  ObjectDirectives own{d.wireframe, d.addressMode, d.mipmap, d.optverts, false, false};
  const std::string lowerName = lower_name_copy(object.name);
  apply_opacity_fix(ctx.model, apply_object_directives(lowerName, own, walk.facer));

  Prototype proto;
  proto.name = lowerName;
  const Transform vertexTransform = set_transforms(ctx, object, proto);
  set_joint_number(ctx, lowerName, proto);
  proto.wireframe = own.wireframe;

  ModelNode* node = &ctx.model;
  if (d.avatar && !d.ownPivots && !ctx.firstObject) node = node_add_child(ctx.model, std::make_unique<ModelNode>());
  add_joint_table(std::move(object.bones), proto);
  if (has_corners(object)) walk.carried.baseTransform = vertexTransform;

  const MeshBuildContext context{walk.console, walk.sourceName, walk.carried.splitKey, walk.spent};
  const BuildOptions options{own.picture, own.sign, own.addressMode, own.mipmap, own.optverts};
  build_mesh(context, std::move(object), options, std::move(proto), [&](const Prototype& finished) {
    walk.finished(finished, walk.carried.baseTransform, *node);
    node->protos.push_back(instance_of(finished));
  });
  node->collision = d.collision;
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
  auto model = std::make_unique<ModelNode>();
  const std::string lowerName = lower_name_copy(node.name);
  apply_opacity_fix(*model, apply_node_directives(lowerName, frame.directives, walk.facer));
  model->collision = frame.directives.collision;
  if (!frame.ancestorGeometry && !frame.directives.avatar) walk.rotate = true;

  NodeContext ctx{node, *model, frame.directives};
  for (const std::unique_ptr<PolygonObject>& object : node.objects) {
    if (is_visible(*object)) convert_object(walk, ctx, std::move(*object));
  }
  return node_add_child(*frame.parent, std::move(model));
}

// The walk over a sibling chain and, depth first, the chains of its
// children, kept on an explicit stack so that deep scenes cannot exhaust the
// call stack. Each node's directive values flow to its later siblings and
// (as a copy) to its children, never back up. A chain whose last node has
// been reached leaves the stack before that node's children enter it, so a
// chain of single children takes one entry; the stack grows by blocks, never
// copied.
void convert_nodes(Walk& walk, SceneChain chain, ModelNode& parent) {
  std::deque<ChainFrame> stack;
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
      if (frame.next >= frame.chain.size()) stack.pop_back();
      stack.push_back(std::move(child));
    }
  }
}

// The first chain of the walk: the root's children, or the root itself when
// it has no children or holds visible polygon objects of its own (which would
// otherwise be lost).
std::unique_ptr<ModelNode> convert_tree(Walk& walk, const std::unique_ptr<SceneNode>& root) {
  auto modelRoot = std::make_unique<ModelNode>();
  const bool startAtRoot = root->children.empty() || has_geometry(*root);
  const SceneChain chain = startAtRoot ? SceneChain(&root, 1) : SceneChain(root->children);
  convert_nodes(walk, chain, *modelRoot);
  return modelRoot;
}

// True when no two polygon objects' lists share a byte of the input, so
// that the bytes one object's build reads no more are read by no other.
bool lists_apart(const SceneNode& root) {
  std::vector<Bytes> lists;
  std::vector<const SceneNode*> pending{&root};
  while (!pending.empty()) {
    const SceneNode& node = *pending.back();
    pending.pop_back();
    for (const std::unique_ptr<PolygonObject>& object : node.objects) {
      if (!object->lists.empty()) lists.push_back(object->lists);
    }
    for (const std::unique_ptr<SceneNode>& child : node.children) pending.push_back(child.get());
  }
  std::sort(lists.begin(), lists.end(), [](Bytes a, Bytes b) { return a.data() < b.data(); });
  for (std::size_t i = 1; i < lists.size(); ++i) {
    if (lists[i].data() < lists[i - 1].data() + lists[i - 1].size()) return false;
  }
  return true;
}

// Loads the scene out of input, converts it (writing every prototype
// through writer) and frees the scene. A file without a scene tree gives no
// model tree and hands carried on as it was. The input is spent: where no
// two objects' lists overlap, the pages of the lists that the conversion has
// read go to later arrays, and those bytes are the input's no more.
FileConversion load_and_convert_spending(const CarriedState& carried, RwxWriterState& writer, OutStream& console,
                                         const std::string& sourceName, LargeVector<std::uint8_t>& input) {
  std::unique_ptr<SceneNode> root = load_scene(input, console, sourceName);
  if (!root) return FileConversion{ConvertedModel{}, carried};
  const bool apart = lists_apart(*root);
  const SpentInput spent = [&input, apart](Bytes part) {
    if (apart && !part.empty()) give_pages(input, static_cast<std::size_t>(part.data() - input.data()), part.size());
  };
  return convert_scene(
      carried, console, sourceName, std::move(root),
      [&writer](const Prototype& proto, const Transform& base, const ModelNode& node) {
        write_prototype(writer, proto, base, node.opacityFix);
      },
      spent);
}

}  // namespace

FileConversion convert_scene(const CarriedState& carried, OutStream& console, const std::string& sourceName,
                             std::unique_ptr<SceneNode> root, const FinishedPrototype& finished,
                             const SpentInput& spent) {
  Walk walk{console, sourceName, finished, spent, carried};
  std::unique_ptr<ModelNode> modelRoot = convert_tree(walk, root);
  free_scene(std::move(root));
  return FileConversion{ConvertedModel{std::move(modelRoot), walk.facer, walk.rotate}, walk.carried};
}

CarriedState write_rwx_conversion(const CarriedState& carried, OutStream& out, OutStream& console,
                                  const std::string& inputName, LargeVector<std::uint8_t>&& input) {
  LargeVector<std::uint8_t> buffer = std::move(input);
  CarriedState next = carried;
  write_rwx_file(out, inputName, [&](RwxWriterState& writer) {
    FileConversion converted = load_and_convert_spending(carried, writer, console, inputName, buffer);
    next = converted.carried;
    return std::move(converted.model);
  });
  return next;
}

}  // namespace facetor
