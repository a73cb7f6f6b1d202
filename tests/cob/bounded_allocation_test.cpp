// Counts read from the file never size an allocation by themselves: a small file claiming billions
// of records fails and allocates little. The global allocation functions are replaced to measure it.
#include <gtest/gtest.h>
#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>
#include "joints/joint_names.h"
#include "load_helper.h"
#include "support/allocation_hook.h"

namespace facetor::test {
namespace {

constexpr std::int32_t kHuge = 0x7fffffff;
Data polh_head(std::string_view name) { return std::move(Data{}.name(name).axes().matrix()); }

TEST(BoundedAllocation, HugeCountsInASmallFileFailWithoutLargeAllocations) {
  const Data object = polh("qz_o", {{0, 0, 0}}, {}, {face({0, 0, 0})});
  const std::vector<std::pair<std::string, Data>> cases = {
      {"PolH", polh_head("v").i32(kHuge).floats({1, 2, 3})}, {"PolH", polh_head("v").i32(-kHuge - 1).floats({1, 2, 3})},
      {"PolH", polh_head("t").i32(1).floats({1, 2, 3}).i32(kHuge).floats({1, 2})},
      {"PolH", polh_head("f").i32(1).floats({1, 2, 3}).i32(0).i32(kHuge).u8(0).i16(0).u16(0)},
      {"PolH", polh_head("c").i32(1).floats({1, 2, 3}).i32(0).i32(1).u8(0).i16(32767).u16(0).i32(0).i32(0)},
      {"VCol", Data{}.i32(1).i32(0).i32(kHuge).i32(5)}, {"Skin", skin_counted("qz_pelvis", kHuge, {0})},
      {"Mat1", mat1({}).u8('t').u8(0).u8(0).i16(32767).raw("x")},
  };
  joint_lookup("pelvis");  // the joint index is built once per run, not per file
  for (const auto& [type, data] : cases) {
    CobFile file;
    if (type != "PolH") file.chunk("PolH", 1, 0, object);
    file.chunk(type, 2, 1, data);
    ASSERT_LT(file.bytes.size(), 400u) << type;
    OutStream console = out_memory(StreamMode::Binary);
    allocation_hook::arm();
    const auto root = load_scene(file.span(), console, "huge.cob");
    allocation_hook::armed = false;
    ASSERT_TRUE(root) << type;
    EXPECT_LT(allocation_hook::largest.load(), 64u * 1024) << type << ' ' << data.size();
    EXPECT_LT(allocation_hook::total.load(), 128u * 1024) << type << ' ' << data.size();
  }
}

}  // namespace
}  // namespace facetor::test
