#include <gtest/gtest.h>

#include "convert/scene_walk.h"
#include "convert_fixture.h"

namespace facetor::test {
namespace {

const std::vector<Vec3> kTriangle = {{1, 0, 0}, {2, 0, 0}, {2, 1, 0}};

Data object_data(const std::string& name, Vec3 centre = {0, 0, 0}, Vec3 translation = {0, 0, 0}) {
  return polh(name, kTriangle, {}, {face({0, 1, 2})}, centre, translation);
}

// A COB file of groups and objects, each object with material 0; ids are
// handed out in order.
struct Scene {
  CobFile file;
  std::int32_t next = 1;
  std::int32_t group(const std::string& name, std::int32_t parent = 0, Vec3 centre = {0, 0, 0}) {
    file.chunk("Grou", next, parent, facetor::test::group(name, centre));
    return next++;
  }
  std::int32_t object(const std::string& name, std::int32_t parent = 0, Vec3 centre = {0, 0, 0},
                      Vec3 translation = {0, 0, 0}) {
    const std::int32_t id = next++;
    file.chunk("PolH", id, parent, object_data(name, centre, translation));
    file.chunk("Mat1", next++, id, mat1(material(0)));
    return id;
  }
  const CobFile& done() {
    file.end(next++);
    return file;
  }
};

const ModelNode& child(const ModelNode& node, std::size_t i) { return *node.children.at(i); }

TEST(Directives, NodeValuesReachLaterSiblingsAndDescendantsButNeverParents) {
  Scene s;
  const auto g1 = s.group("qz_g1_wireframe");
  s.object("o1", g1);
  const auto c1 = s.group("qz_c1_solid", g1);
  s.object("oc", c1);
  const auto c2 = s.group("c2", g1);  // later sibling of c1: wireframe is off again there
  s.object("oc2", c2);
  s.object("o2", s.group("g2"));
  const auto g3 = s.group("g3");
  s.object("o3", g3);
  const auto c3 = s.group("qz_c3_mipmapoff", g3);
  s.object("deep", c3);
  s.object("o4", s.group("g4"));
  Conversion c;
  c.run(s.done());
  const ModelNode& root = c.root();
  struct Expect {
    const char* name;
    bool wireframe;
    int mipmap;
  };
  for (const Expect& e : {Expect{"o1", true, 1}, Expect{"oc", false, 1}, Expect{"oc2", false, 1},
                          Expect{"o2", true, 1}, Expect{"o3", true, 1}, Expect{"deep", true, 0}, Expect{"o4", true, 1}}) {
    const Prototype& proto = c.proto_named(e.name);
    EXPECT_EQ(proto.wireframe, e.wireframe) << e.name;
    ASSERT_FALSE(proto.faces.empty()) << e.name;
    EXPECT_EQ(face_surface(proto, proto.faces.front())->mipmap, e.mipmap) << e.name;
  }
  // Top-level nodes stand in reverse order under the root.
  ASSERT_EQ(root.children.size(), 4u);
  EXPECT_EQ(first_proto(child(root, 0)), "o4");
  EXPECT_EQ(first_proto(child(root, 3)), "o1");
}

TEST(Directives, ObjectDirectivesChangeOnlyTheObjectsOwnCopies) {
  Scene s;
  const auto n = s.group("qz_n_tamclamp");
  s.object("qz_a_wireframe_tamwrap", n);
  s.object("qz_b_tamclamp_tammirror", n);
  s.object("b", n);
  Conversion c;
  c.run(s.done());
  auto addressMode = [&c](const char* name) {
    const Prototype& proto = c.proto_named(name);
    return face_surface(proto, proto.faces.front())->addressMode;
  };
  EXPECT_EQ(c.proto_named("qz_a_wireframe_tamwrap").wireframe, true);
  EXPECT_EQ(addressMode("qz_a_wireframe_tamwrap"), 1);
  EXPECT_EQ(addressMode("qz_b_tamclamp_tammirror"), 2);
  EXPECT_EQ(c.proto_named("b").wireframe, false);
  EXPECT_EQ(addressMode("b"), 3);
}

TEST(Directives, NamesWithoutThePrefixCarryNone) {
  Scene s;
  s.object("wall_wireframe", s.group("body_collisionoff"));
  Conversion c;
  c.run(s.done());
  EXPECT_EQ(c.proto_named("wall_wireframe").wireframe, false);
  EXPECT_EQ(child(c.root(), 0).collision, 1);
}

TEST(Directives, CollisionLaterTestWinsAndFlowsDown) {
  Scene s;
  const auto n = s.group("qz_n_collisionon_collisionoff");
  const auto kid = s.group("kid", n);
  s.object("k", kid);
  const auto back = s.group("qz_back_collisionon");
  s.object("b", back);
  Conversion c;
  c.run(s.done());
  EXPECT_EQ(node_holding(c.root(), "k")->collision, 0);
  EXPECT_EQ(node_holding(c.root(), "b")->collision, 1);
  EXPECT_EQ(child(c.root(), 1).collision, 0);
}

TEST(Directives, OpacityFixActsOnTheNodeFromThenOn) {
  Scene s;
  const auto n = s.group("n");
  s.object("x", n);
  s.object("qz_y_opacityfixon", n);
  s.object("z", n);
  const auto m = s.group("qz_m_opacityfixon_opacityfixoff");
  s.object("w", m);
  const auto k = s.group("qz_k_opacityfixon");
  s.object("v", k);
  Conversion c;
  c.run(s.done());
  const std::string text = c.text();
  for (const auto& [name, fix] : {std::pair{"x", "off"}, std::pair{"qz_y_opacityfixon", "on"},
                                  std::pair{"z", "on"}, std::pair{"w", "off"}, std::pair{"v", "on"}}) {
    EXPECT_TRUE(contains(text, std::string(" ProtoBegin ") + name + "\n  TextureModes Lit\n  OpacityFix " + fix + "\n"))
        << name;
  }
}

TEST(FrameFlags, RotateUnlessTheFirstNodeSwitchesAvatarOn) {
  struct Case {
    const char* first;
    const char* second;
    bool rotate;
  };
  for (const Case& t : {Case{"QZ_Body_Avatar", "other", false}, Case{"other", "qz_body_avatar", true},
                        Case{"body_avatar", "other", true}}) {
    Scene s;
    s.object("a", s.group(t.first));
    s.object("b", s.group(t.second));
    Conversion c;
    c.run(s.done());
    EXPECT_EQ(c.state.rotateFlag, t.rotate) << t.first;
  }
}

TEST(Avatar, JointNumbersPivotsAndExtraChildNodes) {
  Scene s;
  const auto body = s.group("qz_body_avatar", 0, {1, 2, 3});
  s.object("qz_box", body, {9, 9, 9}, {5, 5, 5});
  s.object("qz_leftarm_lfelbow", body, {4, 4, 4}, {6, 0, 0});
  s.object("qz_neck", body);
  s.object("qz_head", s.group("qz_kid", body));
  Conversion c;
  c.run(s.done());
  EXPECT_FALSE(c.state.rotateFlag);
  const ModelNode& node = child(c.root(), 0);
  ASSERT_EQ(node.protos.size(), 1u);
  const ProtoInstance& box = node.protos.front();
  EXPECT_EQ(box.name, "qz_box");
  EXPECT_EQ(box.joint, 0);
  EXPECT_EQ(box.translation[0], 1.0f);
  EXPECT_EQ(box.translation[2], 3.0f);
  // Scene children first (added last), then the extra nodes, last object first.
  ASSERT_EQ(node.children.size(), 3u);
  EXPECT_EQ(first_proto(child(node, 0)), "qz_head");
  EXPECT_EQ(first_proto(child(node, 1)), "qz_neck");
  EXPECT_EQ(first_proto(child(node, 2)), "qz_leftarm_lfelbow");
  const ProtoInstance& arm = child(node, 2).protos.front();
  EXPECT_EQ(arm.joint, 12);  // "leftarm" is no joint; "lfelbow" is
  EXPECT_EQ(arm.translation[0], 0.0f);
  EXPECT_EQ(child(node, 1).protos.front().joint, 0);  // a joint was found already in this node
  EXPECT_EQ(child(node, 0).protos.front().joint, 4);
  // Vertex transform minus the node's pivot, composed with the pivot again.
  const std::string text = c.text();
  EXPECT_TRUE(contains(text, " ProtoBegin qz_box\n  TextureModes Lit\n  OpacityFix off\n"
                             "  Transform 1. 0. 0. 0. 0. 1. 0. 0. 0. 0. 1. 0. 5. 5. 5. 1.\n"))
      << text;
  EXPECT_TRUE(contains(text, " ProtoBegin qz_leftarm_lfelbow\n  TextureModes Lit\n  OpacityFix off\n"
                             "  Transform 1. 0. 0. 0. 0. 1. 0. 0. 0. 0. 1. 0. 6. 0. 0. 1.\n"))
      << text;
}

}  // namespace
}  // namespace facetor::test
