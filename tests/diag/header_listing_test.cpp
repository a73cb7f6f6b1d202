// Mode H: the chunk types of a file with their counts.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "diag/chunk_tally.h"
#include "diag/diagnostics.h"
#include "support/cob_builder.h"

namespace facetor {
namespace {

using test::CobFile;
using test::Data;

std::string listing(const std::vector<std::uint8_t>& bytes) {
  OutStream console = out_memory(StreamMode::Binary);
  list_chunk_types(bytes, console);
  return out_contents(console);
}

std::vector<std::uint8_t> truncated(std::vector<std::uint8_t> bytes, std::size_t size) {
  bytes.resize(size);
  return bytes;
}

TEST(HeaderListing, Examples) {
  struct Case {
    const char* what;
    std::vector<std::uint8_t> file;
    std::string printed;
  };
  const CobFile fourChunks = CobFile{}
                                 .chunk("PolH", 1, 0, Data{}.u32(5))
                                 .chunk("Mat1", 2, 1, Data{})
                                 .chunk("PolH", 3, 0, Data{}.floats({1, 2, 3}))
                                 .end(4);
  const Case cases[] = {
      {"order of first occurrence, END with its blank", fourChunks.bytes, "  PolH : 2\n  Mat1 : 1\n  END  : 1\n"},
      {"case-folded types keep the first spelling",
       CobFile{}.chunk("pOLh", 1, 0, Data{}).chunk("POLH", 2, 0, Data{}).chunk("polh", 3, 0, Data{}).end(4).bytes,
       "  pOLh : 3\n  END  : 1\n"},
      {"a NUL in a type ends it", CobFile{}.chunk(std::string("Ab\0d", 4), 1, 0, Data{}).chunk(std::string("aB\0x", 4), 2, 0, Data{}).bytes,
       "  Ab : 2\n"},
      {"chunks after END are counted", CobFile{}.end(1).chunk("Grou", 2, 0, Data{}).end(3).bytes,
       "  END  : 2\n  Grou : 1\n"},
      {"19 trailing bytes are not", CobFile{}.end(1).raw(std::vector<std::uint8_t>(19, 'x')).bytes, "  END  : 1\n"},
      {"format letter A", CobFile{'A'}.end(1).bytes, "This program only supports Binary format COB files"},
      {"header only: nothing at all", CobFile{}.bytes, ""},
      {"52 bytes: one chunk", truncated(CobFile{}.end(1).bytes, 52), "  END  : 1\n"},
      {"data past the end ends the walk",
       CobFile{}.chunk_sized("PolH", 1, 0, Data{}, 21).end(2).bytes, "  PolH : 1\n"},
      {"negative size ends the walk",
       CobFile{}.chunk("Unit", 1, 0, Data{}).chunk_sized("PolH", 2, 0, Data{}, -40).end(3).bytes,
       "  Unit : 1\n  PolH : 1\n"},
      {"huge size ends the walk",
       CobFile{}.chunk_sized("PolH", 1, 0, Data{}, std::numeric_limits<std::int32_t>::max()).end(2).bytes,
       "  PolH : 1\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(listing(c.file), c.printed) << c.what;
}

// The plain scan that the indexed tally must agree with: strncasecmp over 4
// characters, which stops early where both hold a NUL.
std::size_t scan_find_or_add(std::vector<ChunkTypeTally>& tally, const char (&type)[4]) {
  const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
  for (std::size_t i = 0; i < tally.size(); ++i) {
    bool same = true;
    for (std::size_t k = 0; k < 4 && same; ++k) {
      const char a = k < tally[i].type.size() ? tally[i].type[k] : '\0';
      same = lower(a) == lower(type[k]);
      if (same && a == '\0') break;
    }
    if (same) return i;
  }
  tally.push_back(ChunkTypeTally{std::string(type, strnlen(type, 4)), 0});
  return tally.size() - 1;
}

// The indexed tally gives the entries of the scan, for types drawn from a
// small alphabet with case and NUL variants.
TEST(ChunkTally, IndexedTallyAgreesWithTheScan) {
  const char alphabet[] = {'a', 'A', 'b', 'B', '\0', ' ', '\xe4', '\xc4'};
  std::vector<ChunkTypeTally> scanned;
  ChunkTally indexed;
  std::uint32_t seed = 12345;
  for (int i = 0; i < 5000; ++i) {
    char type[4];
    for (char& c : type) {
      seed = seed * 1103515245u + 12345u;
      c = alphabet[(seed >> 16) % sizeof alphabet];
    }
    ASSERT_EQ(tally_find_or_add(indexed, type), scan_find_or_add(scanned, type)) << i;
  }
  ASSERT_EQ(indexed.entries.size(), scanned.size());
  for (std::size_t i = 0; i < scanned.size(); ++i) EXPECT_EQ(indexed.entries[i].type, scanned[i].type);
}

}  // namespace
}  // namespace facetor
