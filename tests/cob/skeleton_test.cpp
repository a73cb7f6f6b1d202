#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "load_helper.h"

namespace facetor::test {
namespace {

constexpr std::uint8_t kPelvis = 1;
constexpr std::uint8_t kLeftHip = 19;
constexpr std::uint8_t kLeftKnee = 20;

// An avatar object of four vertices at the root, then the given chunks (all
// naming it as parent), then a marker object.
struct Avatar {
  CobFile file;
  std::int32_t nextId = 2;

  Avatar() { file.chunk("PolH", 1, 0, polh("qz_body", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}}, {}, {})); }
  Avatar& add(std::string_view type, const Data& data) {
    file.chunk(type, nextId++, 1, data);
    return *this;
  }
  Loaded load_all() {
    file.chunk("PolH", 999, 0, marker("after")).end();
    return load(file);
  }
};

const PolygonObject& body(const Loaded& loaded) { return *loaded.root->objects.at(0); }
bool loading_went_on(const Loaded& loaded) { return has_root_object(*loaded.root, "after"); }

TEST(SkinChunk, AssignsTheJointOfItsName) {
  struct Case {
    std::string name;
    std::vector<std::uint16_t> expected;
  };
  const std::vector<Case> cases = {
      {"qz_lfhip", {0, kLeftHip, 0, kLeftHip}},
      {"qz_lfhip>extra", {0, kLeftHip, 0, kLeftHip}},   // text after '>' is cut off
      {"qz_body_lfhip", {0, kLeftHip, 0, kLeftHip}},    // the first word that is a joint
      {"lfhip", {0, 0, 0, 0}},                          // no avatar prefix
      {"qz_lfhip>tendon", {0, 0, 0, 0}},                // a tendon without a joint link
  };
  for (const Case& c : cases) {
    Avatar avatar;
    const Loaded loaded = avatar.add("Skin", skin(c.name, {1, 3})).load_all();
    EXPECT_TRUE(loading_went_on(loaded)) << c.name;
    EXPECT_EQ(body(loaded).vertexJoints, c.expected) << c.name;
  }
}

// The first link of the tendon's joint, among links of other joints and later ones.
TEST(SkinChunk, TendonTakesTheTwoLinkedJointsOfTheFirstLink) {
  Avatar avatar;
  avatar.add("Join", join({.name = "qz_back", .linked1 = "qz_lfknee", .linked2 = "qz_lfknee"}))
      .add("Join", join({.name = "qz_lfhip", .linked1 = "qz_pelvis", .linked2 = "qz_lfknee"}))
      .add("Join", join({.name = "qz_hipl", .linked1 = "qz_lfknee", .linked2 = "qz_pelvis"}));
  const Loaded loaded = avatar.add("Skin", skin("qz_LFHIP>TENDON", {0, 2})).load_all();
  ASSERT_TRUE(loading_went_on(loaded));
  const std::uint16_t both = kPelvis | kLeftKnee << 8;
  EXPECT_EQ(body(loaded).vertexJoints, (std::vector<std::uint16_t>{both, 0, both, 0}));
}

TEST(SkinChunk, IndexOutsideTheVerticesFailsAndKeepsEarlierAssignments) {
  for (std::int32_t bad : {4, -1}) {
    Avatar avatar;
    const Loaded loaded = avatar.add("Skin", skin("qz_lfhip", {2, bad, 3})).load_all();
    EXPECT_FALSE(loading_went_on(loaded)) << bad;
    EXPECT_EQ(body(loaded).vertexJoints, (std::vector<std::uint16_t>{0, 0, kLeftHip, 0})) << bad;
  }
}

TEST(BoneChunk, NamesAreComparedAsWritten) {
  struct Case {
    std::string name;
    std::uint8_t joint;  // 0: no bone
  };
  const std::vector<Case> cases = {
      {"qz_lfhip", kLeftHip}, {"QZ_LFHIP", 0}, {"qz_LFHIP", kLeftHip}, {"pelvis", 0},
  };
  for (const Case& c : cases) {
    Avatar avatar;
    const Loaded loaded = avatar.add("Bone", bone(c.name, {1, 2, 3})).load_all();
    ASSERT_TRUE(loading_went_on(loaded)) << c.name;
    const auto& bones = body(loaded).bones;
    if (c.joint == 0) {
      EXPECT_TRUE(bones.empty()) << c.name;
      continue;
    }
    ASSERT_EQ(bones.size(), 1u) << c.name;
    EXPECT_EQ(bones[0].joint, c.joint);
    EXPECT_EQ(bones[0].parentJoint, 0);
    EXPECT_EQ(bones[0].origin[2], 3.0f);
    EXPECT_EQ(bones[0].pivot[0], 0.0f);
  }
}

TEST(BoneChunk, FirstBoneOfAJointWins) {
  Avatar avatar;
  avatar.add("Bone", bone("qz_lfhip", {1, 1, 1})).add("Bone", bone("qz_pelvis")).add("Bone", bone("qz_hipl", {2, 2, 2}));
  const Loaded loaded = avatar.load_all();
  const auto& bones = body(loaded).bones;
  ASSERT_EQ(bones.size(), 2u);
  EXPECT_EQ(bones[0].joint, kLeftHip);
  EXPECT_EQ(bones[0].origin[0], 1.0f);
  EXPECT_EQ(bones[1].joint, kPelvis);
}

TEST(JoinChunk, LinksBonesReadBeforeIt) {
  Avatar avatar;
  avatar.add("Bone", bone("qz_lfknee", {0, -1, 0}))
      .add("Bone", bone("qz_pelvis"))
      .add("Join", join({.name = "qz_lfhip", .centre = {4, 5, 6}, .linked1 = "qz_pelvis", .linked2 = "qz_lfknee"}))
      .add("Join", join({.name = "qz_back", .centre = {7, 8, 9}, .linked1 = "qz_pelvis", .linked2 = "qz_back"}))
      .add("Bone", bone("qz_back"));
  const Loaded loaded = avatar.load_all();
  const auto& bones = body(loaded).bones;
  ASSERT_EQ(bones.size(), 3u);
  EXPECT_EQ(bones[0].joint, kLeftKnee);
  EXPECT_EQ(bones[0].parentJoint, kPelvis);
  EXPECT_EQ(bones[0].pivot[0], 4.0f);
  EXPECT_EQ(bones[0].pivot[2], 6.0f);
  EXPECT_EQ(bones[0].origin[1], -1.0f);
  EXPECT_EQ(bones[1].parentJoint, 0);  // the pelvis is no joint's second object
  EXPECT_EQ(bones[2].parentJoint, 0);  // read after its Join
  EXPECT_EQ(bones[2].pivot[0], 0.0f);
  EXPECT_EQ(body(loaded).jointLinks.size(), 2u);
}

}  // namespace
}  // namespace facetor::test
