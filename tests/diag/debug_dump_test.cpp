#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <limits>
#include <string>
#include <string_view>
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

TEST(DebugDump, ChunkContentsAndChunksCutShort) {
  struct Case {
    const char* type;
    Data data;
    std::string lines;
  };
  // Each chunk is followed by END's 20 bytes; the content is read within the
  // chunk's own bytes only, never from the header that follows.
  const std::vector<Case> cases = {
      // Texts are cut to 1003 characters and their whole length is skipped.
      {"Skin", Data().str(std::string(1500, 't')).i32(1).i32(42),
       "  Muscle or tendon: " + std::string(1003, 't') + "\n  Vertex 0: 42\n"},
      {"DDiv", Data(), ""},  // size 0: no flags
      {"Join", placement(), kPlacementLines},
      {"Skin", Data().i16(-2).raw("ab").i32(1).i32(5), ""},  // negative text length
      {"Skin", Data().i16(30000).raw("ab"), ""},             // text past the chunk
      {"Skin", Data().str("S").i32(8).i32(1), "  Muscle or tendon: S\n  Vertex 0: 1\n"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(content_of(c.type, c.data), crlf(c.lines)) << c.type;
  }
}

// A chunk's content ends with its size, or with the file when the size is
// negative or reaches past the end of the file.
TEST(DebugDump, ContentStaysWithinItsChunk) {
  const Data skin = Data().str("S").i32(3).i32(7).i32(8);  // three vertices, two present
  const std::string twoVertices = crlf("  Muscle or tendon: S\n  Vertex 0: 7\n  Vertex 1: 8\n");
  for (std::int32_t size : {-1, 1000}) {
    const Dump result = dump(CobFile().chunk_sized("Skin", 5, 1, skin, size));
    EXPECT_EQ(result.file, crlf("Skin V0.1 ID=5 Parent=1 Size=" + std::to_string(size) + "\n") + twoVertices +
                               crlf("\n\nSkin : 1\n"))
        << size;
  }
  // Empty Skin chunks in a row: each shows its header line only, never the
  // chunks after it as vertices.
  CobFile emptySkins;
  std::string expected;
  for (int id = 1; id <= 3; ++id) {
    emptySkins.chunk("Skin", id, 1, Data());
    expected += header("Skin", id, 0);
  }
  emptySkins.chunk("Skin", 4, 1, Data().str("S").i32(1).i32(9));
  expected += header("Skin", 4, 11) + "  Muscle or tendon: S\n  Vertex 0: 9\n\n\nSkin : 4\n";
  EXPECT_EQ(dump(emptySkins).file, crlf(expected));
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
