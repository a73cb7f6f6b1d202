// Counts read from the file must never size an allocation by themselves: a
// small file that claims billions of records fails quickly and allocates
// little. This test program replaces the global allocation functions to
// measure what a load asks for.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "load_helper.h"
#include "support/allocation_hook.h"

namespace facetor::test {
namespace {

constexpr std::int32_t kHuge = 0x7fffffff;

struct Measured {
  Loaded loaded;
  std::size_t largest = 0;
  std::size_t total = 0;
  std::chrono::steady_clock::duration elapsed{};
};

Measured measure(const CobFile& file) {
  joint_lookup("pelvis");  // the joint index is built once per run, not per file
  OutStream console = out_memory(StreamMode::Binary);
  Measured result;
  const auto start = std::chrono::steady_clock::now();
  allocation_hook::arm();
  result.loaded.root = load_scene(file.span(), console, "huge.cob");
  allocation_hook::armed = false;
  result.elapsed = std::chrono::steady_clock::now() - start;
  result.largest = allocation_hook::largest;
  result.total = allocation_hook::total;
  return result;
}

Data polh_head(std::string_view name) {
  Data data;
  data.name(name).axes().matrix();
  return data;
}

TEST(BoundedAllocation, HugeCountsInASmallFileFailWithoutLargeAllocations) {
  struct Case {
    const char* label;
    CobFile file;
  };
  std::vector<Case> cases;
  auto add = [&cases](const char* label, std::initializer_list<std::pair<std::string, Data>> chunks) {
    CobFile file;
    std::int32_t id = 1;
    for (const auto& [type, data] : chunks) {
      file.chunk(type, id, id - 1, data);
      ++id;
    }
    cases.push_back({label, file});
  };
  add("vertex count", {{"PolH", polh_head("v").i32(kHuge).floats({1, 2, 3})}});
  add("negative vertex count", {{"PolH", polh_head("v").i32(-kHuge - 1).floats({1, 2, 3})}});
  add("texture coordinate count", {{"PolH", polh_head("t").i32(1).floats({1, 2, 3}).i32(kHuge).floats({1, 2})}});
  add("face count", {{"PolH", polh_head("f").i32(1).floats({1, 2, 3}).i32(0).i32(kHuge).u8(0).i16(0).u16(0)}});
  add("corner count",
      {{"PolH", polh_head("c").i32(1).floats({1, 2, 3}).i32(0).i32(1).u8(0).i16(32767).u16(0).i32(0).i32(0)}});
  add("vertex colour entries", {{"PolH", polh("o", {{0, 0, 0}}, {}, {face({0, 0, 0})})},
                                {"VCol", Data{}.i32(1).i32(0).i32(kHuge).i32(5)}});
  add("skin vertices", {{"PolH", polh("qz_o", {{0, 0, 0}}, {}, {})}, {"Skin", skin_counted("qz_pelvis", kHuge, {0})}});
  add("map name length", {{"PolH", polh("o", {{0, 0, 0}}, {}, {})},
                          {"Mat1", mat1({}).u8('t').u8(0).u8(0).i16(32767).raw("x")}});

  for (const Case& c : cases) {
    ASSERT_LT(c.file.bytes.size(), 400u) << c.label;
    const Measured m = measure(c.file);
    ASSERT_TRUE(m.loaded.root) << c.label;
    EXPECT_LT(m.largest, 64u * 1024) << c.label;
    EXPECT_LT(m.total, 128u * 1024) << c.label;
    EXPECT_LT(m.elapsed, std::chrono::milliseconds(200)) << c.label;
  }
}

}  // namespace
}  // namespace facetor::test
