#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "anim/seq_channel.h"
#include "anim/seq_writer.h"
#include "seq_test_support.h"

namespace facetor::test {
namespace {

Data object(std::string_view name) { return Data().name(name); }

// A file with one limb "neck" whose channel is the given data.
SeqResult export_neck(const Data& channel) {
  CobFile cob;
  cob.chunk("PolH", 1, 0, object("qz_neck")).chunk("Chan", 2, 1, channel);
  return export_bytes(cob.span());
}

const std::string kDummyLine = "  Processing ROTATE (1 keyframes) for 'dummy'\n";
const std::string kNoLimbFile = Be().header(0, 1, "a.cob").identity_dummy().i32(0).bytes;

TEST(FrameNumber, TruncatesTowardZeroAndClamps) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  const std::vector<std::pair<float, std::int32_t>> cases = {
      {12.9f, 12}, {-12.9f, -12}, {nan, 0}, {2147483520.0f, 2147483520}, {2147483648.0f, 2147483647},
      {-inf, std::numeric_limits<std::int32_t>::min()},
  };
  for (const auto& [frame, expected] : cases) EXPECT_EQ(frame_number(frame), expected) << frame;
}

TEST(SeqChannel, FrameNumbersReachFileAndHeader) {
  const SeqResult truncated = export_neck(chan("rotate", 2, rotate_keys({{12.9f, 1, 0, 0, 0}, {-0.5f, 1, 0, 0, 0}})));
  EXPECT_EQ(truncated.file, Be()
                                .header(12, 1, "a.cob")
                                .str("neck").i32(16).i32(2)
                                .i32(12).f32(1).f32(0).f32(0).f32(0)
                                .i32(0).f32(1).f32(0).f32(0).f32(0)
                                .i32(0)
                                .bytes);

  struct Case {
    std::vector<std::array<float, 5>> keys;
    std::int16_t largest;
    std::string totals;
  };
  const std::vector<Case> cases = {
      {{{0, 1, 0, 0, 0}, {30, 1, 0, 0, 0}, {10, 1, 0, 0, 0}}, 30, "  Totals: frames=30, limbs=1\n"},
      {{{40000, 1, 0, 0, 0}, {35000, 1, 0, 0, 0}}, 32767, "  Totals: frames=32767, limbs=1\n"},
      {{{3e9f, 1, 0, 0, 0}}, 32767, "  Totals: frames=32767, limbs=1\n"},
      {{{-5, 1, 0, 0, 0}, {-3e9f, 1, 0, 0, 0}}, 0, ""},
  };
  for (const Case& c : cases) {
    const auto count = static_cast<std::int16_t>(c.keys.size());
    Data records;
    for (const auto& key : c.keys) records.raw(rotate_keys({key}).bytes);
    const SeqResult result = export_neck(chan("rotate", count, records));
    ASSERT_GE(result.file.size(), 6u);
    EXPECT_EQ(result.file.substr(4, 2), Be().u16(static_cast<std::uint16_t>(c.largest)).bytes);
    const std::string line = "  Processing ROTATE (" + std::to_string(count) + " keyframes) for 'neck'\n";
    EXPECT_EQ(result.screen, line + c.totals);
  }
}

TEST(SeqChannel, TypeIsMatchedInAnyCaseAndOnlyExactly) {
  struct Case {
    Data channel;
    bool written;
    std::string skipLine;
  };
  const Data key = rotate_keys({{0, 0.5f, 0, 0, 0}});
  const std::string longType = "ROTATE" + std::string(114, 'X');
  const std::vector<Case> cases = {
      {chan("ROTATE", 1, key), true, ""},
      {chan(std::string_view("rotate\0junk", 11), 1, key), true, ""},
      {chan("rotate", 1, key, "leading text"), true, ""},
      {chan("rotatex", 1, key), false, "**  Skipping 'rotatex' frame (1 keyframes)\n"},
      {chan(longType, 1, key), false,
       "**  Skipping 'rotate" + std::string(93, 'x') + "' frame (1 keyframes)\n"},
      // 100 characters: too long for the type, even though it ends in a NUL
      {chan(std::string("rotate") + '\0' + std::string(93, 'q'), 1, key), false,
       "**  Skipping 'rotate' frame (1 keyframes)\n"},
  };
  for (const Case& c : cases) {
    const SeqResult result = export_neck(c.channel);
    if (c.written) {
      EXPECT_EQ(result.file, Be().header(0, 1, "a.cob").rotation("neck", 0, 0.5f, 0, 0, 0).i32(0).bytes);
      EXPECT_EQ(result.screen, "  Processing ROTATE (1 keyframes) for 'neck'\n");
    } else {
      EXPECT_EQ(result.file, kNoLimbFile);
      EXPECT_EQ(result.screen, c.skipLine + kDummyLine);
    }
  }
}

TEST(SeqChannel, ChannelsThatDoNotFitTheirDataLeaveNoTrace) {
  const Data twoKeysOneRecord = chan("rotate", 2, rotate_keys({{0, 1, 0, 0, 0}}));
  const Data moveCut = chan("move", 1, Data().raw(std::vector<std::uint8_t>(31, 0)));
  const std::vector<Data> cases = {
      twoKeysOneRecord,
      moveCut,
      Data().i16(-1).str("rotate").u16(0).i16(0),             // negative leading length
      Data().i16(40).raw("short"),                           // leading text past the data
      Data().i16(0).i16(30).raw("rotate"),                   // type past the data
      Data(),
  };
  for (const Data& channel : cases) {
    const SeqResult result = export_neck(channel);
    EXPECT_EQ(result.file, kNoLimbFile);
    EXPECT_EQ(result.screen, kDummyLine);
  }
}

TEST(SeqChannel, RecordsAreReadOnlyFromTheChunkData) {
  // The declared size leaves out the last record's final bytes; the bytes
  // that follow in the file must not complete it.
  const Data full = chan("rotate", 1, rotate_keys({{0, 1, 0, 0, 0}}));
  CobFile cut;
  cut.chunk("PolH", 1, 0, object("qz_neck"))
      .chunk_sized("Chan", 2, 1, full, static_cast<std::int32_t>(full.size()) - 4)
      .raw({0, 0, 0, 0});
  EXPECT_EQ(export_bytes(cut.span()).file, kNoLimbFile);

  // A declared size past the end of the buffer: the bytes that are there serve.
  CobFile past;
  past.chunk("PolH", 1, 0, object("qz_neck")).chunk_sized("Chan", 2, 1, full, 5000);
  EXPECT_EQ(export_bytes(past.span()).file, Be().header(0, 1, "a.cob").rotation("neck", 0, 1, 0, 0, 0).i32(0).bytes);
  CobFile pastShort;
  pastShort.chunk("PolH", 1, 0, object("qz_neck")).chunk_sized("Chan", 2, 1, Data().i16(0).i16(6).raw("rot"), 5000);
  const SeqResult shortResult = export_bytes(pastShort.span());
  EXPECT_EQ(shortResult.file, kNoLimbFile);
  EXPECT_EQ(shortResult.screen, kDummyLine);
}

TEST(SeqWriter, FloatsAreCopiedBitForBitAndR3R2Swapped) {
  // Components with distinct bit patterns, one a signalling NaN.
  Data channel = Data().i16(0).str("rotate").u16(0).i16(1).f32(7).raw(std::vector<std::uint8_t>(16, 0xEE));
  channel.u32(0x7F800001).u32(0x3F000000).u32(0x40400000).u32(0xC0800000);  // r0 r1 r2 r3
  for (bool closing : {false, true}) {
    SeqExportState state;
    OutStream out = out_memory(StreamMode::Binary);
    OutStream console = out_memory(StreamMode::Binary);
    SeqWriter writer{state, out, console, "a.cob"};
    EXPECT_EQ(write_rotate_section(writer, "neck", channel.bytes, closing), 1);
    Be expected;
    if (!closing) expected.str("neck");
    expected.i32(16).i32(1).i32(7).u32(0x7F800001).u32(0x3F000000);
    expected.u32(closing ? 0x40800000 : 0xC0800000).u32(0x40400000);  // r3 (negated when closing), r2
    EXPECT_EQ(out_contents(out), expected.bytes);
    EXPECT_EQ(state.largestFrame, 7);
  }
}

}  // namespace
}  // namespace facetor::test
