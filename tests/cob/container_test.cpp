#include "cob/container.h"

#include <gtest/gtest.h>
#include <limits>
#include <string>
#include <vector>
#include "support/cob_builder.h"

namespace facetor::test {
namespace {

constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();

// A read ending exactly at the end succeeds; one byte more fails, leaves the cursor and sticks.
// The buffer's end bounds every reader, and arrays check their whole span before reading.
TEST(Readers, EveryReadStaysInsideTheBufferAndFailuresStick) {
  const std::vector<std::uint8_t> raw(10, 0x11);
  const Bytes buffer = raw;
  for (const std::int32_t width : {2, 3, 4}) {
    auto read = [&](Reader& r) {
      std::uint8_t three[3];
      std::int32_t i32;
      std::uint16_t u16;
      return width == 2 ? read_u16(r, u16) : width == 3 ? read_bytes(r, three, 3) : read_i32(r, i32);
    };
    Reader r = reader_at(buffer, 6 - width, 6);
    EXPECT_TRUE(read(r) && r.at == 6) << width;
    EXPECT_FALSE(read(r = reader_at(buffer, 7 - width, 6)) || r.at != 7 - width) << width;
    r.end = 10;
    EXPECT_FALSE(read(r)) << width;  // the failure sticks
    EXPECT_FALSE(read(r = reader_at(buffer, 9, 1000)) || r.at != 9) << width;
    EXPECT_FALSE(read(r = reader_at(buffer, -1, 10))) << width;
  }
  float values[3] = {9, 9, 9};
  std::int32_t ints[2] = {0, 0};
  Reader r = reader_at(buffer, 0, 8);
  EXPECT_FALSE(read_f32_array(r, values, 3) || r.at != 0 || values[0] != 9);
  for (std::int32_t count : {kMax, -1}) EXPECT_FALSE(read_i32_array(r = reader_at(buffer, 0, 8), ints, count) || r.at);
  EXPECT_FALSE(read_f32_array(r = reader_at(buffer, 0, 8), values, std::numeric_limits<std::int32_t>::min()));
  EXPECT_TRUE(read_f32_array(r = reader_at(buffer, 0, 8), values, 2) && r.at == 8);
}

TEST(Readers, NamesTakeTheirDuplicateSuffixWithinCapacity) {
  const std::string long198(198, 'n');
  const struct { Data data; bool ok; std::string text; std::int32_t cursor; } cases[] = {
      {Data{}.name("Sphere", 0), true, "Sphere", 10}, {Data{}.name("", 1), true, "_1", 4},
      {Data{}.name("Box", 65535), true, "Box_-1", 7},  // the count is signed
      {Data{}.u16(4).i16(50).raw("abc"), true, "_4", 4}, {Data{}.u16(4).i16(-1).raw("abc"), true, "_4", 4},
      {Data{}.name(long198, 12), true, long198 + "_", 202},
      {Data{}.name(std::string(300, 'n'), 7), true, std::string(199, 'n'), 304},
      {Data{}.u16(9).i16(4).raw(std::string("ab\0c", 4)), true, "ab_9", 8}, {Data{}.u8(1), false, "", 0},
  };
  for (const auto& c : cases) {
    Reader r = reader_over(c.data.bytes);
    std::string name = "old";
    EXPECT_EQ(read_name(r, name, 200), c.ok) << c.text;
    EXPECT_EQ(name, c.text);
    EXPECT_EQ(r.at, c.cursor) << c.text;
  }
}

TEST(ChunkWalk, PositionsFollowTheSizesUntilOneLeavesTheFileOrTheSignedRange) {
  const std::vector<std::uint8_t> zeros(20, 0);
  const struct { CobFile file; std::vector<std::int32_t> positions; } cases[] = {
      {CobFile{}.chunk("PolH", 1, 0, Data{}.u32(1).u32(2)).end(2), {32, 60}},
      {CobFile{}.end(1).chunk("PolH", 2, 0, Data{}), {32, 52}},  // runs on past END
      {CobFile{}.end(1).raw({zeros.begin(), zeros.end() - 1}), {32}}, {CobFile{}.end(1).raw(zeros), {32, 52}},
      {CobFile{}.chunk_sized("PolH", 1, 0, Data{}, 1000).end(2), {32}}, {CobFile{}.chunk_sized("PolH", 1, 0, Data{}, kMax).end(2), {32}},
      {CobFile{}.chunk_sized("PolH", 1, 0, Data{}, -20).end(2).end(3), {32}},
      {CobFile{}.chunk("Unit", 1, 0, Data{}.raw(std::string(100, 'u'))).chunk_sized("PolH", 2, 0, Data{}, kMax - 100).end(3),
       {32, 152}},
  };
  for (const auto& c : cases) {
    std::vector<std::int32_t> positions;
    ChunkWalk walk;
    ChunkAt chunk;
    while (positions.size() < 100 && chunk_walk_next(c.file.span(), walk, chunk)) {
      EXPECT_EQ(chunk.data, chunk.position + 20);
      positions.push_back(chunk.position);
    }
    EXPECT_EQ(positions, c.positions);
  }
}

}  // namespace
}  // namespace facetor::test
