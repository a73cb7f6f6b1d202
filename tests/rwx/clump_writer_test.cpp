#include "rwx/clump_writer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace facetor {
namespace {

// Adds a child node holding one prototype with this pivot translation.
ModelNode* add(ModelNode& parent, const std::string& name, float x = 0, float y = 0, float z = 0) {
  ModelNode* node = node_add_child(parent, std::make_unique<ModelNode>());
  node->protos.push_front(ProtoInstance{name, 0, {x, y, z}});
  return node;
}

std::string hierarchy(const ModelNode& root) {
  OutStream out = out_memory(StreamMode::Text);
  write_clump_tree(out, &root, 2, 1, 1);
  return out_contents(out);
}

// A pivot beyond 1e-6 opens a transform and clump round the node; collision
// lines stand only where the setting changes (the root has the parent's 1).
TEST(ClumpWriter, PivotsAndCollisionByteForByte) {
  ModelNode root;
  root.protos.push_front(ProtoInstance{"box", 0, {0, 0, 0.000001f}});
  add(*add(root, "lid", 0, 1, 0), "knob", 0, 0, -0.000002f);
  EXPECT_EQ(hierarchy(root),
            "  ProtoInstance box\r\n"
            "  TransformBegin\r\n   Translate 0. 1. 0.\r\n   ClumpBegin\r\n    Translate 0. -1. 0.\r\n"
            "    ProtoInstance lid\r\n"
            "    TransformBegin\r\n     Translate 0. 0. -0.000002\r\n     ClumpBegin\r\n"
            "      Translate 0. 0. 0.000002\r\n      ProtoInstance knob\r\n     ClumpEnd\r\n    TransformEnd\r\n"
            "   ClumpEnd\r\n  TransformEnd\r\n");
  ModelNode top;
  ModelNode* off = node_add_child(top, std::make_unique<ModelNode>());
  off->collision = 0;
  ModelNode* wall = add(*off, "wall", 0, NAN, 0);
  wall->collision = 0;
  add(*wall, "door", 0, 0, -0.000001f);
  EXPECT_EQ(hierarchy(top),
            "  #! Collision off\r\n  ProtoInstance wall\r\n"
            "  ClumpBegin\r\n   #! Collision on\r\n   ProtoInstance door\r\n  ClumpEnd\r\n");
}

TEST(ClumpWriter, DeepChainsNeitherRecurseNorCapTheIndentation) {
  ModelNode root;
  ModelNode* node = &root;
  constexpr int kDepth = 3000;
  for (int i = 0; i < kDepth; ++i) node = add(*node, "p");
  const std::string text = hierarchy(root);
  // The first node stands in the outer clump; each later one opens a clump.
  EXPECT_NE(text.find(std::string(2 + kDepth - 1, ' ') + "ProtoInstance p\r\n"), std::string::npos);
  EXPECT_EQ(text.find(std::string(2 + kDepth, ' ') + "P"), std::string::npos);
  EXPECT_TRUE(text.ends_with("  ClumpEnd\r\n"));
}

}  // namespace
}  // namespace facetor
