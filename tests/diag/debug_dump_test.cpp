#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <limits>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "diag/diagnostics.h"
#include "support/cob_builder.h"

namespace facetor {
namespace {

using test::CobFile;
using test::Data;

struct Dump {
  std::string file;
  std::string console;
};

Dump dump(Bytes bytes) {
  OutStream out = out_memory(StreamMode::Text);
  OutStream console = out_memory(StreamMode::Binary);
  dump_chunks(bytes, out, console);
  return {out_contents(out), out_contents(console)};
}

Dump dump(const CobFile& file) { return dump(file.span()); }

// The expected file text, written with "\n" line ends.
std::string crlf(std::string_view text) {
  std::string result;
  for (char c : text) {
    if (c == '\n') result += '\r';
    result += c;
  }
  return result;
}

std::string header(std::string_view type, int id, std::size_t size) {
  return std::string(type) + " V0.1 ID=" + std::to_string(id) + " Parent=1 Size=" + std::to_string(size) + "\n";
}

const std::string kEndLine = "END  V0.1 ID=99 Parent=0 Size=0\n";

// Name "Part", unit axes at the origin, identity position.
Data placement() { return Data().name("Part").axes().matrix(); }
const std::string kPlacementLines =
    "  Name=Part\n"
    "  Axes:\n"
    "    Center=0.000000 0.000000 0.000000\n"
    "    X=1.000000 0.000000 0.000000\n"
    "    Y=0.000000 1.000000 0.000000\n"
    "    Z=0.000000 0.000000 1.000000\n"
    "  Current Position:\n"
    "    Row1=1.000000 0.000000 0.000000 0.000000\n"
    "    Row2=0.000000 1.000000 0.000000 0.000000\n"
    "    Row3=0.000000 0.000000 1.000000 0.000000\n";

// The seven connector triples, stored as the floats 1 to 21.
Data& connectors(Data& data) {
  for (int i = 1; i <= 21; ++i) data.f32(static_cast<float>(i));
  return data;
}
std::string connector_lines(std::string_view title) {
  return "  " + std::string(title) + ":\n" +
         "    Connector1 position=1.000000 2.000000 3.000000\n"
         "    Connector2 position=4.000000 5.000000 6.000000\n"
         "    Pitch axis=7.000000 8.000000 9.000000\n"
         "    Yaw axis=10.000000 11.000000 12.000000\n"
         "    Connector1 direction=13.000000 14.000000 15.000000\n"
         "    Roll axis (Connector2 direction)=16.000000 17.000000 18.000000\n"
         "    Vertical direction=19.000000 20.000000 21.000000\n";
}

// A file with one chunk of the given type (ID 5) and the END chunk; returns
// the dump lines of the chunk's content only.
std::string content_of(std::string_view type, const Data& data) {
  const Dump result = dump(CobFile().chunk(type, 5, 1, data).end(99));
  const std::string head = crlf(header(type, 5, data.size()));
  const std::string tail = crlf(kEndLine + "\n\n" + std::string(type) + " : 1\nEND  : 1\n");
  EXPECT_EQ(result.file.substr(0, head.size()), head);
  EXPECT_GE(result.file.size(), head.size() + tail.size());
  if (result.file.size() < head.size() + tail.size()) return "";
  EXPECT_EQ(result.file.substr(result.file.size() - tail.size()), tail);
  return result.file.substr(head.size(), result.file.size() - head.size() - tail.size());
}

TEST(DebugDump, WholeFilesAndHeaderFailures) {
  CobFile wrongMagic;
  wrongMagic.end();
  wrongMagic.bytes[0] = 'c';
  struct Case {
    const char* label;
    CobFile cob;
    std::string file;
    std::string console;
  };
  const std::vector<Case> cases = {
      {"END only", CobFile().end(99), crlf(kEndLine + "\n\nEND  : 1\n"), ""},
      {"no chunks", CobFile(), "\r\n\r\n", ""},
      {"ASCII", CobFile('A').end(), "", "This program only supports Binary format COB files"},
      {"wrong magic", wrongMagic, "", "File specified is not correctly formatted COB file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const Dump result = dump(c.cob);
    EXPECT_EQ(result.file, c.file);
    EXPECT_EQ(result.console, c.console);
  }
}

TEST(DebugDump, JoinWritesTheSetDegreesOfFreedomAndTwoLinkedObjects) {
  Data all = placement();
  connectors(all).u16(0x0079);
  all.u16(0x0101).floats({0.5f, -10, 10});   // pitch
  all.u16(0x0110).floats({1, -1, 1});        // X translation
  all.u16(0x0120).floats({2, -2, 2});        // Y translation
  all.u16(0x0140).floats({3, -3, 3});        // Z translation
  all.str("Upper arm").str("Lower arm").str("not a link");
  EXPECT_EQ(content_of("Join", all),
            crlf(kPlacementLines + connector_lines("Axes and connectors") +
                 "  Degrees of freedom mask: 0x0079\n"
                 "    0x0101 (Pitch): Stiffness=0.500000 Min=-10.000000 Max=10.000000\n"
                 "    0x0110 (X Translation): Stiffness=1.000000 Min=-1.000000 Max=1.000000\n"
                 "    0x0120 (Y Translation): Stiffness=2.000000 Min=-2.000000 Max=2.000000\n"
                 "    0x0140 (Z Translation): Stiffness=3.000000 Min=-3.000000 Max=3.000000\n"
                 "  Linked object 1: Upper arm\n"
                 "  Linked object 2: Lower arm\n"));

  Data unusedBit = placement();
  connectors(unusedBit).u16(0x0008).str("Hand").str("");
  EXPECT_EQ(content_of("Join", unusedBit),
            crlf(kPlacementLines + connector_lines("Axes and connectors") +
                 "  Degrees of freedom mask: 0x0008\n"
                 "  Linked object 1: Hand\n"
                 "  Linked object 2: \n"));
}

TEST(DebugDump, KnucklesShowTheirContractorParameters) {
  const std::string common =
      kPlacementLines +
      "  Muscle1: Biceps\n  Muscle2: Triceps\n  Contractor: Flexor\n"
      "  Initial degrees of freedom:\n"
      "    Pitch=1.000000, Yaw=2.000000, Roll=3.000000\n"
      "    TransX=4.000000, TransY=5.000000, TransZ=6.000000\n" +
      connector_lines("Initial joint axes and connectors");
  struct Case {
    std::uint16_t mask;
    std::string lines;
  };
  const std::vector<Case> cases = {
      {0x0003,
       "  Contractor parameters mask: 0x0003 (MuscleContractor MuscleFlexor )\n"
       "    Contractor strength=1.000000 width=2.000000 length=3.000000 falloff=4.000000\n"
       "    Flexor orientation 5.000000 6.000000 7.000000, strength=8.000000 width=9.000000 length=10.000000 "
       "falloff=11.000000\n"},
      {0x0000, "  Contractor parameters mask: 0x0000 ()\n"},
      {0x0004,
       "  Contractor parameters mask: 0x0004 (MuscleExtensor)\n"
       "    Extensoror orientation 1.000000 2.000000 3.000000, strength=4.000000 width=5.000000 length=6.000000 "
       "falloff=7.000000\n"},
  };
  for (const Case& c : cases) {
    Data data = placement();
    data.str("Biceps").str("Triceps").str("Flexor").floats({1, 2, 3, 4, 5, 6});
    connectors(data).u16(c.mask);
    for (int i = 1; i <= 11; ++i) data.f32(static_cast<float>(i));
    EXPECT_EQ(content_of("Knuc", data), crlf(common + c.lines)) << "mask " << c.mask;
  }
}

TEST(DebugDump, DeformationsShowTypeFloorsLatticeAndObjects) {
  Data data = placement();
  data.u16(32).i16(2).i16(3).i16(-1);
  for (int i = 1; i <= 12; ++i) data.f32(static_cast<float>(i));
  data.i16(2).str("Body").str("Arm");
  EXPECT_EQ(content_of("DefP", data),
            crlf(kPlacementLines +
                 "  Deformation type: Unknown (0020)\n"
                 "  Number of deformation floors: S=2 T=3 U=-1\n"
                 "  Lattice:\n"
                 "    X0=1.000000 2.000000 3.000000\n"
                 "    S=4.000000 5.000000 6.000000\n"
                 "    T=7.000000 8.000000 9.000000\n"
                 "    U=10.000000 11.000000 12.000000\n"
                 "  Object 1: Body\n"
                 "  Object 2: Arm\n"));
}

TEST(DebugDump, SmallChunkContents) {
  Data nail = placement();
  nail.u16(65535).str("Hand");
  const std::vector<std::tuple<const char*, Data, std::string>> cases = {
      {"Skin", Data().str("Biceps").i32(3).i32(7).i32(-8).i32(9),
       "  Muscle or tendon: Biceps\n  Vertex 0: 7\n  Vertex 1: -8\n  Vertex 2: 9\n"},
      {"Skin", Data().str("none").i32(-1).i32(7), "  Muscle or tendon: none\n"},
      // Texts are cut to 1003 characters and their whole length is skipped.
      {"Skin", Data().str(std::string(1500, 't')).i32(1).i32(42),
       "  Muscle or tendon: " + std::string(1003, 't') + "\n  Vertex 0: 42\n"},
      {"Nail", nail, kPlacementLines + "  Degrees of freedom: 65535\n  Nailed object: Hand\n"},
      {"DDiv", Data().u16(0x00A5), "  Flags=0x00A5\n"},
      // A DDiv of size 0 reads its flags from the next header: "EN".
      {"DDiv", Data(), "  Flags=0x4E45\n"},
  };
  for (const auto& [type, data, lines] : cases) {
    SCOPED_TRACE(type);
    EXPECT_EQ(content_of(type, data), crlf(lines));
  }
}

TEST(DebugDump, ChunksCutShortEndTheirDumpAndTheWalkGoesOn) {
  struct Case {
    const char* type;
    Data data;
    std::string lines;
  };
  // Each chunk is followed by END's 20 bytes only, fewer than the value that
  // is cut short needs (the dump reads on into them, as the Skin shows).
  Data defp = placement();
  defp.u16(0).i16(1).i16(1).i16(1).floats({1, 2, 3});
  Data knuc = placement();
  knuc.str("A").str("B").str("C");
  const std::vector<Case> cases = {
      {"Bone", Data().name("Femur"), "  Name=Femur\n"},
      {"Join", placement(), kPlacementLines},
      {"DefP", defp, kPlacementLines + "  Deformation type: Object (0000)\n  Number of deformation floors: S=1 T=1 U=1\n"},
      {"Knuc", knuc, kPlacementLines + "  Muscle1: A\n  Muscle2: B\n  Contractor: C\n"},
      {"Skin", Data().i16(-2).raw("ab").i32(1).i32(5), ""},  // negative text length
      {"Skin", Data().i16(30000).raw("ab"), ""},             // text past the end of the file
      {"Skin", Data().str("S").i32(8).i32(1),                // vertices read from END's header
       "  Muscle or tendon: S\n  Vertex 0: 1\n  Vertex 1: 541347397\n  Vertex 2: 65536\n  Vertex 3: 99\n"
       "  Vertex 4: 0\n  Vertex 5: 0\n"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(content_of(c.type, c.data), crlf(c.lines)) << c.type;
  }
}

TEST(DebugDump, NamesFollowTheNameReaderAndAreCutTo1003Characters) {
  struct Case {
    std::uint16_t duplicate;
    std::string stored;
    std::string shown;
  };
  const std::vector<Case> cases = {
      {0, "Sphere", "Sphere"},
      {2, "Sphere", "Sphere_2"},
      {3, "", "_3"},
      {65535, "A", "A_-1"},
      {2, std::string("ab\0cd", 5), "ab"},  // the suffix stands after the NUL
      {7, std::string(1100, 'n'), std::string(1003, 'n')},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(content_of("Bone", Data().name(c.stored, c.duplicate)), crlf("  Name=" + c.shown + "\n"));
  }
  // A negative length ends the dump; characters past the end of the file give
  // an empty name without suffix, and the dump goes on after the length field.
  EXPECT_EQ(content_of("Bone", Data().u16(0).i16(-1).axes()), "");
  EXPECT_EQ(content_of("Bone", Data().u16(5).i16(30000).axes().matrix()), crlf("  Name=\n" + kPlacementLines.substr(12)));
}

TEST(DebugDump, FloatsPrintAsFixedNotation) {
  const float inf = std::numeric_limits<float>::infinity();
  Data data;
  data.name("F").floats({inf, -1e10f, 0.1f, -inf, 2.5e-7f, 123456.789f});
  data.floats({0, 0, 0, 0, 0, 0});
  const std::string lines = content_of("Bone", data);
  EXPECT_NE(lines.find("    Center=inf -10000000000.000000 0.100000\r\n"), std::string::npos) << lines;
  EXPECT_NE(lines.find("    X=-inf 0.000000 123456.789062\r\n"), std::string::npos) << lines;
}

TEST(DebugDump, TypesMatchWithoutRegardToCaseAndTallyTheFirstSpelling) {
  // The bones come last, so that no bytes after them make up their axes.
  CobFile file;
  file.chunk(std::string_view("ab\0\0", 4), 3, 1, Data()).chunk(std::string_view("\0\0\0\0", 4), 4, 1, Data());
  file.chunk("bONE", 1, 1, Data().name("a")).chunk("BONE", 2, 1, Data().name("b"));
  EXPECT_EQ(dump(file).file, crlf("  ab V0.1 ID=3 Parent=1 Size=0\n"
                                  "     V0.1 ID=4 Parent=1 Size=0\n"
                                  "bONE V0.1 ID=1 Parent=1 Size=5\n"
                                  "  Name=a\n"
                                  "BONE V0.1 ID=2 Parent=1 Size=5\n"
                                  "  Name=b\n"
                                  "\n\n"
                                  "ab : 1\n"
                                  " : 1\n"
                                  "bONE : 2\n"));
}

// The dump of a real file: one header line per chunk, in the order that a
// plain walk over the 20-byte headers finds, and the tally of mode H.
TEST(DebugDump, MoleculeSampleMatchesItsChunkSequenceAndTheTypeListing) {
  const std::string path = std::string(FACETOR_SAMPLES_DIR) + "/molecule.cob";
  if (!std::filesystem::exists(path)) GTEST_SKIP() << "sample file not found: " << path;
  const std::string bytes = test::read_file(path);
  const Bytes buffer(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());

  const auto le = [&](std::size_t at, int width) {
    std::uint32_t value = 0;
    for (int i = width - 1; i >= 0; --i) value = value << 8 | static_cast<std::uint8_t>(bytes[at + i]);
    return value;
  };
  std::string expected;
  int chunks = 0;
  for (std::size_t p = 32; p + 20 <= bytes.size(); p += 20 + le(p + 16, 4), ++chunks) {
    char line[160];
    std::snprintf(line, sizeof line, "%.4s V%d.%d ID=%d Parent=%d Size=%d\r\n", bytes.c_str() + p,
                  static_cast<std::int16_t>(le(p + 4, 2)), static_cast<std::int16_t>(le(p + 6, 2)),
                  static_cast<std::int32_t>(le(p + 8, 4)), static_cast<std::int32_t>(le(p + 12, 4)),
                  static_cast<std::int32_t>(le(p + 16, 4)));
    expected += line;
  }
  EXPECT_EQ(chunks, 41);

  OutStream listing = out_memory(StreamMode::Binary);
  list_chunk_types(buffer, listing);
  ASSERT_FALSE(out_contents(listing).empty());
  std::string tally;
  for (std::size_t at = 0; at < out_contents(listing).size();) {
    const std::size_t end = out_contents(listing).find('\n', at);
    tally += out_contents(listing).substr(at + 2, end - at - 2) + "\r\n";  // without the two blanks
    at = end + 1;
  }

  const Dump result = dump(buffer);
  EXPECT_EQ(result.console, "");
  // molecule.cob holds none of the decoded chunk types, so the dump is its
  // header lines and the tally.
  EXPECT_EQ(result.file, expected + "\r\n\r\n" + tally);
  EXPECT_NE(tally.find("OLay : 16\r\n"), std::string::npos);
}

}  // namespace
}  // namespace facetor
