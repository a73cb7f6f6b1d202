#include "cob/container.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "support/cob_builder.h"

namespace facetor {
namespace {

using test::CobFile;
using test::Data;

Bytes bytes_of(const Data& data) { return data.bytes; }

// A read that ends exactly at the end succeeds; one byte more fails, leaves
// the cursor where it was, and every read after it fails too. The buffer's
// end bounds every reader.
TEST(Readers, ReadsStopAtTheEndAndFailuresStick) {
  const std::vector<std::uint8_t> raw(10, 0x11);
  const Bytes buffer = raw;
  struct Case {
    const char* reader;
    std::int32_t width;
  };
  for (const Case c : {Case{"u16", 2}, Case{"i32", 4}, Case{"bytes3", 3}}) {
    auto read = [&](Reader& r) {
      std::uint16_t u16;
      std::int32_t i32;
      std::uint8_t three[3];
      if (c.width == 2) return read_u16(r, u16);
      if (c.width == 3) return read_bytes(r, three, 3);
      return read_i32(r, i32);
    };
    Reader r = reader_at(buffer, 6 - c.width, 6);
    EXPECT_TRUE(read(r)) << c.reader;
    EXPECT_EQ(r.at, 6) << c.reader;
    r = reader_at(buffer, 7 - c.width, 6);
    EXPECT_FALSE(read(r)) << c.reader;
    EXPECT_EQ(r.at, 7 - c.width) << c.reader;
    r.end = 10;
    EXPECT_FALSE(read(r)) << c.reader;  // the failure sticks
    r = reader_at(buffer, 9, 1000);      // the end lies past the buffer
    EXPECT_FALSE(read(r)) << c.reader;
    EXPECT_EQ(r.at, 9) << c.reader;
    r = reader_at(buffer, -1, 10);
    EXPECT_FALSE(read(r)) << c.reader;
  }
}

TEST(Readers, ArraysCheckTheWholeSpanBeforeReading) {
  Data data;
  data.floats({1, 2});  // 8 bytes
  const Bytes buffer = bytes_of(data);
  float values[3] = {9, 9, 9};
  Reader r = reader_at(buffer, 0, 8);
  EXPECT_FALSE(read_f32_array(r, values, 3));
  EXPECT_EQ(r.at, 0);
  EXPECT_EQ(values[0], 9);  // nothing read
  r = reader_at(buffer, 0, 8);
  EXPECT_TRUE(read_f32_array(r, values, 2));
  EXPECT_EQ(values[1], 2);
  EXPECT_EQ(r.at, 8);

  std::int32_t ints[2] = {0, 0};
  for (std::int32_t count : {std::numeric_limits<std::int32_t>::max(), -1}) {
    r = reader_at(buffer, 0, 8);
    EXPECT_FALSE(read_i32_array(r, ints, count)) << count;
    EXPECT_EQ(r.at, 0);
  }
  r = reader_at(buffer, 0, 8);
  EXPECT_FALSE(read_f32_array(r, values, std::numeric_limits<std::int32_t>::min()));
  EXPECT_EQ(r.at, 0);
}

struct StringCase {
  const char* what;
  Data data;
  bool ok;
  std::string text;
  std::int32_t cursor;
};

TEST(Readers, ReadNameEdgeCases) {
  const std::string long198(198, 'n');
  const StringCase cases[] = {
      {"no duplicate", Data{}.name("Sphere", 0), true, "Sphere", 10},
      {"duplicate 2", Data{}.name("Sphere", 2), true, "Sphere_2", 10},
      {"duplicate 65535 is signed", Data{}.name("Box", 65535), true, "Box_-1", 7},
      {"uncopied text keeps the suffix", Data{}.u16(4).i16(50).raw("abc"), true, "_4", 4},
      {"negative length keeps the suffix", Data{}.u16(4).i16(-1).raw("abc"), true, "_4", 4},
      {"suffix cut at capacity", Data{}.name(long198, 12), true, long198 + "_", 202},
      {"text cut at capacity", Data{}.name(std::string(300, 'n'), 7), true, std::string(199, 'n'), 304},
      {"NUL inside, then suffix", Data{}.u16(9).i16(4).raw(std::string("ab\0c", 4)), true, "ab_9", 8},
      {"no duplicate count", Data{}.u8(1), false, "", 0},
  };
  for (const StringCase& c : cases) {
    Reader r = reader_over(bytes_of(c.data));
    std::string name = "old";
    EXPECT_EQ(read_name(r, name, 200), c.ok) << c.what;
    EXPECT_EQ(name, c.text) << c.what;
    EXPECT_EQ(r.at, c.cursor) << c.what;
  }
}

std::vector<std::int32_t> walk_positions(Bytes buffer) {
  std::vector<std::int32_t> positions;
  ChunkWalk walk;
  ChunkAt chunk;
  while (chunk_walk_next(buffer, walk, chunk)) {
    EXPECT_EQ(chunk.data, chunk.position + 20);
    positions.push_back(chunk.position);
    if (positions.size() > 100) break;  // a walk that does not end
  }
  return positions;
}

TEST(ChunkWalk, PositionsFollowTheSizes) {
  struct Case {
    const char* what;
    CobFile file;
    std::vector<std::int32_t> positions;
  };
  const Case cases[] = {
      {"size 0 then next header 20 bytes on", CobFile{}.chunk("Unit", 1, 0, Data{}).end(2), {32, 52}},
      {"data skipped by size", CobFile{}.chunk("PolH", 1, 0, Data{}.u32(1).u32(2)).end(2), {32, 60}},
      {"runs on past END", CobFile{}.end(1).chunk("PolH", 2, 0, Data{}), {32, 52}},
      {"19 trailing bytes", CobFile{}.end(1).raw(std::vector<std::uint8_t>(19, 0)), {32}},
      {"20 trailing bytes are a chunk", CobFile{}.end(1).raw(std::vector<std::uint8_t>(20, 0)), {32, 52}},
      {"size past the end", CobFile{}.chunk_sized("PolH", 1, 0, Data{}, 1000).end(2), {32}},
      {"negative size ends the walk", CobFile{}.chunk_sized("PolH", 1, 0, Data{}, -20).end(2).end(3), {32}},
      {"largest size", CobFile{}.chunk_sized("PolH", 1, 0, Data{}, std::numeric_limits<std::int32_t>::max()).end(2),
       {32}},
  };
  for (const Case& c : cases) EXPECT_EQ(walk_positions(c.file.span()), c.positions) << c.what;
  const std::vector<std::uint8_t> tiny(20, 0);
  EXPECT_TRUE(walk_positions(tiny).empty());
}

TEST(ChunkWalk, NextPositionPastTheSignedRangeEndsTheWalk) {
  // A buffer does not need 2 GiB to reach the check: a size that makes
  // p + 20 + size pass 2^31 - 1 from a later chunk.
  CobFile file;
  file.chunk("Unit", 1, 0, Data{}.raw(std::string(100, 'u')));
  file.chunk_sized("PolH", 2, 0, Data{}, std::numeric_limits<std::int32_t>::max() - 100).end(3);
  EXPECT_EQ(walk_positions(file.span()), (std::vector<std::int32_t>{32, 152}));
}

std::vector<std::uint8_t> header_bytes(std::string text) {
  return std::vector<std::uint8_t>(text.begin(), text.end());
}

TEST(FileHeader, LoaderCheck) {
  struct Case {
    const char* what;
    std::vector<std::uint8_t> bytes;
    bool ok;
    std::string printed;
  };
  const std::string corrupted = "in.cob: Can not read header - file probably corrupted\n";
  const Case cases[] = {
      {"binary header only", CobFile{}.bytes, true, ""},
      {"ASCII", CobFile{'A'}.bytes, false, "in.cob: ASCII format COB files are not supported - resave as binary\n"},
      {"other format letter", CobFile{'X'}.bytes, false, corrupted},
      {"31 bytes", header_bytes("Caligari V00.01BLH             "), false, corrupted},
      {"empty", {}, false, corrupted},
  };
  for (const Case& c : cases) {
    OutStream console = out_memory(StreamMode::Binary);
    EXPECT_EQ(check_file_header(c.bytes, console, "in.cob"), c.ok) << c.what;
    EXPECT_EQ(out_contents(console), c.printed) << c.what;
  }
}

}  // namespace
}  // namespace facetor
