#include <gtest/gtest.h>
#include <cctype>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include "joints/joint_names.h"
#include "joints/joint_table.h"
#include "support/cob_builder.h"

namespace facetor {
using Cases = std::pair<std::string, std::int32_t>[];
// The table holds exactly the names of the joint chart (written down in expected/, one row per
// number), and each looks up to its number in any case, with or without the prefix.
TEST(JointTable, EveryChartNameAndNoOtherLooksUpToItsNumber) {
  std::istringstream chart(test::read_file(FACETOR_EXPECTED_DIR "/../../joints/expected/joint_chart.txt"));
  std::set<std::string> names, table;
  for (std::string row; std::getline(chart, row);) {
    std::istringstream words(row);
    std::int32_t number = 0;
    words >> number;
    for (std::string word, upper; words >> word; names.insert(word)) {
      for (char c : word) upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      EXPECT_EQ(std::tuple(joint_lookup(word), joint_lookup(upper), joint_lookup("QZ_" + word)), std::tuple(number, number, number)) << word;
      upper.clear();
    }
  }
  for (const JointName& e : joint_name_table()) table.insert(std::string(e.name));
  EXPECT_EQ(names.size(), 203u);
  EXPECT_EQ(table, names);
}

// Expected numbers written down from the joint chart, not taken from the table; then the avatar naming rule:
// the first joint word after the exact prefix wins.
TEST(JointNames, ChartNumbersAndTheAvatarNamingRule) {
  const Cases cases = {
      {"Pelvis", 1}, {"neck", 3}, {"qz_head", 4}, {"sternum_r", 5}, {"RtSternum", 5}, {"hip_r", 15}, {"lfhip", 19},
      {"obj", 28}, {"eyer", 37}, {"lfeye", 38}, {"lipupper", 39}, {"liplower_l", 53}, {"3finger2r", 64},
      {"1finger1_l", 69}, {"mandible", 80}, {"moveall", 82}, {"rotateall", 83}, {std::string("head\0xyz", 8), 4},
      {"qz_ab", 0}, {"qz_", 0}, {"", 0}, {"qz_rotateallxx", 0}, {"abcdefghijklmnopq", 0}, {"qz_qz_head", 0},
      {"head2", 0}, {"hea", 0}, {"joint81", 0}, {" head", 0}, {std::string("he\0ad", 5), 0}, {"h\xC3\x89" "ad", 0},
      {"n\xCF" "se", 0}};
  for (const auto& [name, joint] : cases) EXPECT_EQ(joint_lookup(name), joint) << '"' << name << '"';
  const Cases prefixed = {
      {"qz_body_lfhip", 19}, {"qz_lfhip_head", 19}, {"qz__head", 4}, {"qz___", 0}, {"qz_body", 0}, {"qz_LfHip", 19},
      {"QZ_head", 0}, {"head", 0}, {"xqz_head", 0}, {"qz_hip_l", 0}, {"qz_qz_head", 4}, {"qz_ab_obj", 28},
      {"qz_verylongbodyname_neck", 3}, {std::string("qz_body\0_head", 13), 0}, {std::string("qz_neck\0_head", 13), 3}};
  for (const auto& [name, joint] : prefixed) EXPECT_EQ(joint_from_name(name), joint) << '"' << name << '"';
  const AvatarJoint found = avatar_joint("qz_arm_RtHip_head");
  EXPECT_EQ(found.joint, 15);
  EXPECT_EQ(found.word, "RtHip");
  EXPECT_TRUE(avatar_joint("qz_arm_leg").word.empty());
}
}  // namespace facetor
