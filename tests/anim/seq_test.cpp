// Sequence files of composed COB files, spelled out big-endian.
#include <gtest/gtest.h>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <tuple>
#include <vector>
#include "anim/seq_channel.h"
#include "anim/seq_export.h"
#include "io/float_bits.h"
#include "support/cob_builder.h"

namespace facetor::test {
namespace {

struct SeqResult { std::string file, screen; };

// The input goes in a block of exactly its size: the address sanitizer sees a read past it.
SeqResult export_bytes(const CobFile& cob, const std::string& source = "a.cob") {
  const auto exact = std::make_unique<std::uint8_t[]>(cob.bytes.size());
  std::memcpy(exact.get(), cob.bytes.data(), cob.bytes.size());
  OutStream out = out_memory(StreamMode::Binary), console = out_memory(StreamMode::Binary);
  export_animation(out, console, source, std::span<const std::uint8_t>(exact.get(), cob.bytes.size()));
  return {out_contents(out), out_contents(console)};
}

// Expected file bytes, big-endian.
struct Be {
  std::string bytes;
  Be& u16(std::uint16_t v) { return bytes += static_cast<char>(v >> 8), bytes += static_cast<char>(v), *this; }
  Be& u32(std::uint32_t v) { return u16(static_cast<std::uint16_t>(v >> 16)).u16(static_cast<std::uint16_t>(v)); }
  Be& f32(float v) { return u32(float_bits(v)); }
  Be& str(std::string_view text) { return u16(static_cast<std::uint16_t>(text.size() + 1)), bytes.append(text) += '\0', *this; }
  Be& header(std::uint16_t largest) { return u32(0x7F7F7F79).u16(largest).u32(1).str("a.cob").str("pelvis"); }
  // A named rotation section with one key, r3 written before r2.
  Be& rotation(std::string_view name, std::uint32_t frame, float r0, float r1, float r2, float r3) {
    return str(name).u32(16).u32(1).u32(frame).f32(r0).f32(r1).f32(r3).f32(r2);
  }
};
// A file of one limb with one rotation key at frame 0.
std::string one_limb(std::string_view limb, float r0 = 1) { return Be().header(0).rotation(limb, 0, r0, 0, 0, 0).u32(0).bytes; }

const std::string kDummyLine = "  Processing ROTATE (1 keyframes) for 'dummy'\n";
const std::string kDuplicateLine = "  Duplicate Chan chunk or no corresponding parent\n";
const std::string kNoLimbFile = one_limb("dummy");

SeqResult export_neck(const Data& channel, std::string_view object = "qz_neck", const char* type = "PolH", std::int32_t size = -1) {
  CobFile cob = CobFile().chunk(type, 1, 0, Data().name(object));
  return export_bytes(size < 0 ? cob.chunk("Chan", 2, 1, channel) : cob.chunk_sized("Chan", 2, 1, channel, size));
}

TEST(SeqExport, DenseFile) {
  // The neck's channel has zero keys and ends right after its header. The reference file was checked by hand.
  const SeqResult result = export_bytes(CobFile().chunk("Grou", 1, 0, Data().name("qz_pelvis"))
      .chunk("Chan", 2, 1, chan("rotate", 2, rotate_keys({{0, 1, 0, 0, 0}, {40.7f, 0, 1, 0, 0}}))).chunk("PolH", 3, 1, Data().name("qz_RtHip"))
      .chunk("Chan", 4, 1, chan("move", 1, move_keys({{5, 1, 2, 3}}))).chunk("Chan", 5, 3, chan("rotate", 1, rotate_keys({{3, 1, 0.5f, 2, -4}})))
      .chunk("PolH", 6, 1, Data().name("qz_neck")).chunk("Chan", 7, 6, chan("rotate", 0, Data())).end(8), "walk.cob");
  EXPECT_EQ(result.file, read_file(FACETOR_EXPECTED_DIR "/../../anim/expected/dense.seq"));
  EXPECT_EQ(result.screen, "  Processing ROTATE (2 keyframes) for 'pelvis'\n  Processing ROTATE (1 keyframes) for 'RtHip'\n"
                           "  Processing ROTATE (0 keyframes) for 'neck'\n  Processing MOVE (1 keyframes) for 'pelvis'\n" + kDummyLine +
                           "  Totals: frames=40, limbs=3\n");
}

TEST(SeqExport, FrameNumbersTruncateAndClamp) {
  const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
  const std::vector<std::pair<float, std::int32_t>> frames = {{12.9f, 12}, {-12.9f, -12}, {nan, 0}, {2147483520.0f, 2147483520},
                                                              {2147483648.0f, 2147483647}, {-inf, std::numeric_limits<std::int32_t>::min()}};
  for (const auto& [frame, expected] : frames) EXPECT_EQ(frame_number(frame), expected) << frame;
  // The header's largest frame: the largest key, clamped to 16 bits, and 0 when every key is negative.
  const std::vector<std::pair<std::vector<float>, std::uint16_t>> cases = {
      {{0, 30, 10}, 30}, {{40000, 35000}, 32767}, {{3e9f}, 32767}, {{-5, -3e9f}, 0}};
  for (const auto& [keys, largest] : cases) {
    Data records;
    for (float key : keys) records.raw(rotate_keys({{key, 1, 0, 0, 0}}).bytes);
    const SeqResult result = export_neck(chan("rotate", static_cast<std::int16_t>(keys.size()), records));
    EXPECT_EQ(result.file.substr(4, 2), Be().u16(largest).bytes);
    EXPECT_EQ(result.screen.ends_with("Totals: frames=" + std::to_string(largest) + ", limbs=1\n"), largest != 0);
  }
}

// Channels read only within their chunk's data: a declared size past the buffer's end uses the bytes there.
TEST(SeqExport, ChannelTypesAndChannelsThatDoNotFit) {
  const Data key = rotate_keys({{0, 0.5f, 0, 0, 0}}), full = chan("rotate", 1, key);
  const std::string written = one_limb("neck", 0.5f);
  const std::vector<std::tuple<Data, std::int32_t, std::string>> cases = {
      {chan("ROTATE", 1, key), -1, written}, {chan(std::string_view("rotate\0junk", 11), 1, key), -1, written},
      {chan("rotate", 1, key, "leading text"), -1, written}, {full, 5000, written},
      {chan("rotatex", 1, key), -1, "**  Skipping 'rotatex' frame (1 keyframes)\n"},
      {chan("ROTATE" + std::string(114, 'X'), 1, key), -1, "**  Skipping 'rotate" + std::string(93, 'x') + "' frame (1 keyframes)\n"},
      // 100 characters: too long for the type, even though it ends in a NUL
      {chan(std::string("rotate") + '\0' + std::string(93, 'q'), 1, key), -1, "**  Skipping 'rotate' frame (1 keyframes)\n"},
      {chan("rotate", 2, key), -1, ""}, {chan("move", 1, Data().raw(std::vector<std::uint8_t>(31, 0))), -1, ""},
      {full, static_cast<std::int32_t>(full.size()) - 4, ""},  // the bytes after the chunk do not complete the record
      {Data().i16(-1).str("rotate").u16(0).i16(0), -1, ""},       // negative leading length
      {Data().i16(40).raw("short"), -1, ""}, {Data().i16(0).i16(30).raw("rotate"), -1, ""},  // text, type past the data
      {Data().i16(0).i16(6).raw("rot"), 5000, ""}, {Data(), -1, ""},
  };
  for (const auto& [channel, size, outcome] : cases) {
    const SeqResult result = export_neck(channel, "qz_neck", "PolH", size);
    EXPECT_EQ(result.file, outcome == written ? written : kNoLimbFile) << outcome;
    EXPECT_EQ(result.screen, outcome == written ? "  Processing ROTATE (1 keyframes) for 'neck'\n" : outcome + kDummyLine);
  }
}

TEST(SeqExport, LimbNamesDuplicatesAndNothingCarriedOver) {
  const std::vector<std::pair<std::string, std::string>> names = {
      {"qz_body_LfHip", "LfHip"}, {"qz__neck", "neck"}, {"qz_lfhip_rthip", "lfhip"}, {"QZ_lfhip", ""},
      {"qz_hip_l", ""}, {"qz_" + std::string(90, 'a') + "_neck", "neck"}, {"qz_" + std::string(92, 'a') + "_neck", ""}};
  for (const auto& [object, limb] : names) {
    for (const char* type : {"PolH", "GROU"}) {
      const SeqResult result = export_neck(chan("rotate", 1, rotate_keys({{0, 0.5f, 0, 0, 0}})), object, type);
      EXPECT_EQ(result.file, limb.empty() ? kNoLimbFile : one_limb(limb, 0.5f)) << object << " " << type;
      EXPECT_EQ(result.screen.starts_with(kDuplicateLine), limb.empty()) << object;
    }
  }
  const auto rotate1 = [](float frame) { return chan("rotate", 1, rotate_keys({{frame, 1, 0, 0, 0}})); };
  // Channels before their object, of an object that has one already, and of no object are duplicates.
  const SeqResult result = export_bytes(CobFile().chunk("Chan", 1, 5, rotate1(9)).chunk("PolH", 5, 0, Data().name("qz_neck"))
                                            .chunk("Chan", 2, 5, rotate1(1)).chunk("Chan", 3, 5, rotate1(8)).chunk("Chan", 4, 99, rotate1(7)));
  EXPECT_EQ(result.file, Be().header(1).rotation("neck", 1, 1, 0, 0, 0).u32(0).bytes);
  EXPECT_EQ(result.screen, kDuplicateLine + kDuplicateLine + kDuplicateLine +
                               "  Processing ROTATE (1 keyframes) for 'neck'\n  Totals: frames=1, limbs=1\n");
  // The largest frame and the move marker of one export are not in the next.
  EXPECT_EQ(export_neck(chan("move", 1, move_keys({{90, 0, 0, 0}})), "qz_pelvis").file.substr(4, 2), Be().u16(90).bytes);
  EXPECT_EQ(export_bytes(CobFile()).file, kNoLimbFile);
  // A move channel with zero keys that ends right after its header.
  EXPECT_EQ(export_neck(chan("move", 0, Data()), "qz_pelvis").file,
            Be().header(0).rotation("dummy", 0, 1, 0, 0, 0).u32(4).u32(4).u32(0).u32(4).u32(0).u32(4).u32(0)
                .u32(16).u32(1).u32(0).f32(1).f32(0).u32(0x80000000).f32(0).bytes);
  // A move channel off the pelvis marks the file too: the built-in translation follows under "dummy".
  EXPECT_EQ(export_neck(chan("move", 1, move_keys({{2, 1, 2, 3}}))).screen,
            kDummyLine + "  Processing MOVE (1 keyframes) for 'dummy'\n" + kDummyLine);
}

}  // namespace
}  // namespace facetor::test
