#include "rwx/clump_writer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace facetor {
namespace {

// Adds a prototype to the front of the node's list (the most recently
// written comes first), with the given pivot translation and joint number.
void add_proto(ModelNode& node, const std::string& name, float x = 0, float y = 0, float z = 0, int joint = 0) {
  node.protos.push_front(ProtoInstance{name, joint, {x, y, z}});
}

// The hierarchy text with plain line ends.
std::string hierarchy(const ModelNode& root) {
  OutStream out = out_memory(StreamMode::Text);
  write_clump_tree(out, &root, 2, 1, 1);
  std::string text = out_contents(out);
  std::string plain;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    plain += text[i];
  }
  return plain;
}

TEST(ClumpWriter, BoxAndLidExampleByteForByte) {
  auto root = std::make_unique<ModelNode>();
  add_proto(*root, "box");
  ModelNode* lid = node_add_child(*root, std::make_unique<ModelNode>());
  add_proto(*lid, "lid", 0, 1, 0);
  OutStream out = out_memory(StreamMode::Text);
  write_clump_tree(out, root.get(), 2, 1, 1);
  EXPECT_EQ(out_contents(out),
            "  ProtoInstance box\r\n"
            "  TransformBegin\r\n"
            "   Translate 0. 1. 0.\r\n"
            "   ClumpBegin\r\n"
            "    Translate 0. -1. 0.\r\n"
            "    ProtoInstance lid\r\n"
            "   ClumpEnd\r\n"
            "  TransformEnd\r\n");
}

TEST(ClumpWriter, SignificantPivotOpensTransformAndClumpAroundChildren) {
  auto root = std::make_unique<ModelNode>();
  add_proto(*root, "arm", 1, 0, 0);
  ModelNode* child = node_add_child(*root, std::make_unique<ModelNode>());
  add_proto(*child, "hand");
  EXPECT_EQ(hierarchy(*root),
            "  TransformBegin\n"
            "   Translate 1. 0. 0.\n"
            "   ClumpBegin\n"
            "    Translate -1. 0. 0.\n"
            "    ProtoInstance arm\n"
            "    ClumpBegin\n"
            "     ProtoInstance hand\n"
            "    ClumpEnd\n"
            "   ClumpEnd\n"
            "  TransformEnd\n");
}

TEST(ClumpWriter, PivotSignificanceAtTheTolerance) {
  struct Case {
    float value;
    bool significant;
  };
  const Case cases[] = {{0.0000005f, false}, {0.000001f, false}, {-0.000001f, false},
                        {0.000002f, true},   {-0.000002f, true}, {std::numeric_limits<float>::quiet_NaN(), false}};
  for (const Case& c : cases) {
    auto root = std::make_unique<ModelNode>();
    add_proto(*root, "p", 0, 0, c.value);
    const std::string text = hierarchy(*root);
    EXPECT_EQ(text.find("TransformBegin") != std::string::npos, c.significant) << c.value << "\n" << text;
  }
}

TEST(ClumpWriter, CollisionLinesOnlyWhereTheSettingChanges) {
  auto root = std::make_unique<ModelNode>();  // collision 1, like the frame's parent value
  ModelNode* off = node_add_child(*root, std::make_unique<ModelNode>());
  off->collision = 0;
  ModelNode* stillOff = node_add_child(*off, std::make_unique<ModelNode>());
  stillOff->collision = 0;
  add_proto(*stillOff, "wall");
  ModelNode* on = node_add_child(*stillOff, std::make_unique<ModelNode>());
  add_proto(*on, "door");
  EXPECT_EQ(hierarchy(*root),
            "  #! Collision off\n"
            "  ProtoInstance wall\n"
            "  ClumpBegin\n"
            "   #! Collision on\n"
            "   ProtoInstance door\n"
            "  ClumpEnd\n");
}

TEST(ClumpWriter, DeepChainsNeitherRecurseNorCapTheIndentation) {
  auto root = std::make_unique<ModelNode>();
  ModelNode* node = root.get();
  constexpr int kDepth = 3000;
  for (int i = 0; i < kDepth; ++i) {
    node = node_add_child(*node, std::make_unique<ModelNode>());
    add_proto(*node, "p");
  }
  const std::string text = hierarchy(*root);
  // The first node stands in the outer clump; each later one opens a clump.
  const std::string deepest = std::string(2 + kDepth - 1, ' ') + "ProtoInstance p\n";
  EXPECT_NE(text.find(deepest), std::string::npos);
  EXPECT_TRUE(text.ends_with("  ClumpEnd\n"));
  EXPECT_EQ(text.find(std::string(2 + kDepth, ' ') + "P"), std::string::npos);
}

}  // namespace
}  // namespace facetor
