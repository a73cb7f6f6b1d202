#include "joints/joint_names.h"

#include <gtest/gtest.h>

#include <cctype>
#include <set>
#include <string>
#include <vector>

#include "joints/joint_table.h"

namespace facetor {
namespace {

TEST(JointTable, HoldsEveryJointNumberOnceInLowerCase) {
  const auto table = joint_name_table();
  ASSERT_EQ(table.size(), 203u);
  std::set<std::string_view> names;
  std::set<std::int32_t> numbers;
  for (const JointName& entry : table) {
    EXPECT_TRUE(names.insert(entry.name).second) << "duplicate " << entry.name;
    numbers.insert(entry.joint);
    EXPECT_GE(entry.name.size(), 3u) << entry.name;
    EXPECT_LE(entry.name.size(), 11u) << entry.name;
    for (char c : entry.name) EXPECT_FALSE(c >= 'A' && c <= 'Z') << entry.name;
  }
  std::set<std::int32_t> expected;
  for (std::int32_t n = 1; n <= 80; ++n) expected.insert(n);
  expected.insert(82);
  expected.insert(83);
  EXPECT_EQ(numbers, expected);
}

TEST(JointTable, EveryNameLooksUpToItsNumberInAnyCaseAndWithPrefix) {
  for (const JointName& entry : joint_name_table()) {
    std::string upper(entry.name);
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_EQ(joint_lookup(entry.name), entry.joint) << entry.name;
    EXPECT_EQ(joint_lookup(upper), entry.joint) << upper;
    EXPECT_EQ(joint_lookup("qz_" + std::string(entry.name)), entry.joint) << entry.name;
    EXPECT_EQ(joint_lookup("QZ_" + upper), entry.joint) << upper;
  }
}

struct LookupCase {
  std::string name;
  std::int32_t joint;
};

TEST(JointLookup, EdgeCases) {
  const std::vector<LookupCase> cases = {
      {"pelvis", 1}, {"Pelvis", 1}, {"PELVIS", 1},
      {"rtsternum", 5}, {"sternumr", 5}, {"sternum_r", 5}, {"RtSternum", 5},
      {"lips", 39}, {"lipupper", 39},
      {"lips6", 53}, {"lflipdown", 53}, {"lfliplower", 53}, {"lipdownl", 53},
      {"liplowerl", 53}, {"lipdown_l", 53}, {"liplower_l", 53},
      {"moveall", 82}, {"rotateall", 83},
      {"qz_head", 4}, {"QZ_Head", 4}, {"Qz_hEAD", 4},
      {"obj", 28}, {"qz_obj", 28},
      {"qz_ab", 0}, {"qz_", 0}, {"ab", 0}, {"", 0},
      {"qz_rotateallxx", 0},            // 14 characters: looked up, no match
      {"qz_rotateall_xx", 0},           // 15 characters
      {"abcdefghijklmnopq", 0},         // 17 characters
      {"qz_qz_qz_qz_head", 0},          // 16 characters, prefix removed once
      {"qz_qz_head", 0},
      {"head2", 0}, {"heads", 0}, {"hea", 0},
      {"joint81", 0}, {"head ", 0}, {" head", 0},
      // A name ends at its first NUL.
      {std::string("head\0xyz", 8), 4}, {std::string("he\0ad", 5), 0}, {std::string("\0head", 5), 0},
  };
  for (const auto& c : cases) EXPECT_EQ(joint_lookup(c.name), c.joint) << '"' << c.name << '"';
}

TEST(JointLookup, OnlyAsciiLettersAreLowered) {
  // Bytes above 127 are kept as they are and never match.
  EXPECT_EQ(joint_lookup("h\xC3\x89" "ad"), 0);
  EXPECT_EQ(joint_lookup("n\xCF" "se"), 0);
}

TEST(JointFromName, AvatarNamingRule) {
  const std::vector<LookupCase> cases = {
      {"qz_head", 4},
      {"qz_body_lfhip", 19},            // first word is no joint, the second is
      {"qz_lfhip_head", 19},            // the first joint word wins
      {"qz__head", 4},                  // empty words are skipped
      {"qz_head_", 4},
      {"qz___", 0},
      {"qz_", 0},
      {"qz_body", 0},
      {"qz_LfHip", 19},                 // words in any case
      {"QZ_head", 0},                   // the prefix is exact
      {"Qz_head", 0},
      {"head", 0},
      {"xqz_head", 0},
      {"qz_hip_l", 0},                  // spellings with "_" are split apart
      {"qz_sternum_r", 0},
      {"qz_qz_head", 4},                // the word "qz" is no joint
      {"qz_ab_obj", 28},
      {"qz_verylongbodyname_neck", 3},
      {"", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(joint_from_name(c.name), c.joint) << '"' << c.name << '"';
}

TEST(JointFromName, TextEndsAtFirstNul) {
  EXPECT_EQ(joint_from_name(std::string_view("qz_body\0_head", 13)), 0);
  EXPECT_EQ(joint_from_name(std::string_view("qz_neck\0_head", 13)), 3);
}

TEST(AvatarJoint, GivesTheWordAsWritten) {
  const AvatarJoint found = avatar_joint("qz_arm_RtHip_head");
  EXPECT_EQ(found.joint, 15);
  EXPECT_EQ(found.word, "RtHip");
  const AvatarJoint none = avatar_joint("qz_arm_leg");
  EXPECT_EQ(none.joint, 0);
  EXPECT_TRUE(none.word.empty());
}

}  // namespace
}  // namespace facetor
