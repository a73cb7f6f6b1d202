#include "rwx/clump_writer.h"

#include <algorithm>
#include <string>
#include <vector>

#include "mesh/tolerance.h"
#include "rwx/number_format.h"

namespace facetor {
namespace {

// Lines nested deeper than this many blanks are written with this many, so
// that the text of a deep tree grows in proportion to the tree.
constexpr int kMaxIndentation = 100;

void indent(OutStream& out, int width) {
  static const std::string blanks(kMaxIndentation, ' ');
  const int count = std::min(width, kMaxIndentation);
  if (count > 0) out_write(out, std::string_view(blanks).substr(0, static_cast<std::size_t>(count)));
}

void line(OutStream& out, int width, std::string_view text) {
  indent(out, width);
  out_write(out, text);
}

bool significant(const float (&t)[3]) {
  for (float value : t) {
    if (value < -kTolerance || value > kTolerance) return true;
  }
  return false;
}

void translate_line(OutStream& out, int width, float x, float y, float z) {
  line(out, width, "Translate ");
  write_number(out, x, ' ');
  write_number(out, y, ' ');
  write_number(out, z, '\n');
}

// A node whose contents have been written and whose children are being
// walked; closed once its last child is done.
struct OpenNode {
  const ModelNode* node;
  int width;            // indentation of the node's contents
  bool clump;
  bool transform;
  bool childFree;       // outer-clump-free flag handed to the next child
  std::size_t nextChild = 0;
};

// The head of one node: pivot, clump, collision, instances.
OpenNode open_node(OutStream& out, const ModelNode* node, int width, bool outerClumpFree, int parentCollision) {
  OpenNode open{node, width, false, false, outerClumpFree};
  const bool hasProtos = !node->protos.empty();
  float t[3] = {0, 0, 0};
  if (hasProtos) {
    for (int i = 0; i < 3; ++i) t[i] = node->protos.back().translation[i];
  }
  if (hasProtos && significant(t)) {
    line(out, open.width, "TransformBegin\n");
    ++open.width;
    translate_line(out, open.width, t[0], t[1], t[2]);
    open.clump = true;
    open.transform = true;
  }
  if ((hasProtos && !outerClumpFree) || node->children.size() >= 2) open.clump = true;
  if (open.clump) {
    line(out, open.width, "ClumpBegin\n");
    ++open.width;
  }
  if (node->collision != parentCollision) {
    line(out, open.width, node->collision != 0 ? "#! Collision on\n" : "#! Collision off\n");
  }
  if (open.transform) translate_line(out, open.width, -t[0], -t[1], -t[2]);
  for (auto proto = node->protos.rbegin(); proto != node->protos.rend(); ++proto) {
    if (proto->joint != 0) line(out, open.width, "Tag " + std::to_string(proto->joint) + "\n");
    line(out, open.width, "ProtoInstance " + proto->name + "\n");
  }
  if (hasProtos || open.clump) open.childFree = false;
  return open;
}

// The tail of one node: the end lines of its clump and its transform.
void close_node(OutStream& out, const OpenNode& open) {
  int width = open.width;
  if (open.clump) line(out, --width, "ClumpEnd\n");
  if (open.transform) line(out, --width, "TransformEnd\n");
}

}  // namespace

// Depth first over an explicit stack: a node's children are walked newest
// first, each sibling receiving the outer-clump-free flag as the sibling
// before it left it, and the parent's collision setting.
void write_clump_tree(OutStream& out, const ModelNode* node, int indentation, bool outerClumpFree,
                      int parentCollision) {
  if (node == nullptr) return;
  std::vector<OpenNode> stack;
  stack.push_back(open_node(out, node, indentation, outerClumpFree, parentCollision));
  while (!stack.empty()) {
    OpenNode& top = stack.back();
    if (top.nextChild >= top.node->children.size()) {
      close_node(out, top);
      stack.pop_back();
      continue;
    }
    const ModelNode* child = top.node->children.rbegin()[static_cast<std::ptrdiff_t>(top.nextChild++)].get();
    OpenNode opened = open_node(out, child, top.width, top.childFree, top.node->collision);
    top.childFree = opened.childFree;
    stack.push_back(opened);
  }
}

}  // namespace facetor
