#include "io/out_stream.h"
#include "io/large_block.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>
#include <random>
#include <string>

#include "support/cob_builder.h"
#include "support/run_process.h"

namespace facetor {
namespace {

// Text mode: every LF as CR LF; printf past its buffer; rewind; closed.
TEST(OutStream, InMemory) {
  OutStream text = out_memory(StreamMode::Text), stream = out_memory(StreamMode::Binary);
  const std::string longText(3000, 'x'), longLine = longText + longText + longText;
  std::string lines, crlfLines;  // more text than one piece of the translation
  for (int i = 0; i < 3000; ++i) lines += "ab\n", crlfLines += "ab\r\n";
  out_write(text, std::string("a\n\nalready\r\nnul\0\n", 17) + lines + longLine + "\n");
  EXPECT_EQ(out_contents(text), std::string("a\r\n\r\nalready\r\r\nnul\0\r\n", 21) + crlfLines + longLine + "\r\n");
  out_printf(stream, "<%s|%d>", longText.c_str(), 7);
  out_rewind(stream);
  out_write(stream, "XY");
  EXPECT_EQ(out_contents(stream), "XY" + longText.substr(1) + "|7>");
  EXPECT_TRUE(out_close(stream));
  out_printf(stream, "%d", 1);
  EXPECT_EQ(out_contents(stream).size(), longText.size() + 4);
  EXPECT_FALSE(out_close(stream));
}

// Only a close without failure replaces the file; a failed stream or one never
// closed leaves it and no temporary file. A link is followed and kept.
TEST(OutStream, FileIsReplacedOnlyWhenComplete) {
  test::TempDir dir;
  const auto files = [&] { return std::distance(std::filesystem::directory_iterator(dir.path), {}); };
  const std::string path = dir / "model.rwx";
  test::write_file(path, {'o', 'l', 'd'});
  std::filesystem::permissions(path, std::filesystem::perms(0640));
  {
    OutStream failing, abandoned;
    ASSERT_TRUE(out_open_file(failing, path, StreamMode::Text));
    out_write(failing, "new\n");
    failing.failed = true;
    EXPECT_FALSE(out_close(failing));
    ASSERT_TRUE(out_open_file(abandoned, path, StreamMode::Text));
    out_write(abandoned, std::string(100000, 'x'));
  }
  EXPECT_EQ(test::read_file(path), "old");
  EXPECT_EQ(files(), 1);

  std::filesystem::create_symlink("model.rwx", dir / "link.rwx");
  OutStream complete;
  ASSERT_TRUE(out_open_file(complete, dir / "link.rwx", StreamMode::Text));
  out_write(complete, "new\n");
  EXPECT_EQ(test::read_file(path), "old");
  EXPECT_TRUE(out_close(complete));
  EXPECT_EQ(test::read_file(path), "new\r\n");
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.rwx"));
  EXPECT_EQ(files(), 2);
  EXPECT_EQ(std::filesystem::status(path).permissions(), std::filesystem::perms(0640));
}

// /dev/full refuses every byte: the failure holds until close.
TEST(OutStream, FailedWritesAreRememberedUntilClose) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  OutStream large, rewound;
  ASSERT_TRUE(out_open_file(large, "/dev/full", StreamMode::Binary));
  out_write(large, std::string(200000, 'x'));
  EXPECT_TRUE(large.failed);
  out_write(large, "more");
  EXPECT_FALSE(out_close(large));
  ASSERT_TRUE(out_open_file(rewound, "/dev/full", StreamMode::Binary));
  out_write(rewound, "header");
  out_rewind(rewound);
  EXPECT_FALSE(out_close(rewound));
}

// Large arrays made, grown, dropped and partly given ahead in a random order, their blocks reused and
// cut: each array keeps its own values (but for the part given), so no two ever share memory.
TEST(LargeBlocks, ArraysNeverShareMemory) {
  std::mt19937 random(5);
  std::vector<LargeVector<std::uint32_t>> arrays(5);
  std::vector<std::size_t> given(arrays.size(), 0);  // array k's middle two thirds of given[k] values are gone
  auto value = [](std::size_t array, std::size_t i) { return static_cast<std::uint32_t>(array << 24 | i); };
  constexpr std::size_t kPart = 2 * kLargeBlockThreshold / sizeof(std::uint32_t) / 3;  // arrays of 0 to 10 parts
  for (int step = 0; step < 160; ++step) {
    const std::size_t k = random() % arrays.size(), start = arrays[k].size() > 5 * kPart ? 0 : arrays[k].size();
    if (given[k] != 0) {  // an array with a part given is only dropped
      arrays[k] = LargeVector<std::uint32_t>(), given[k] = 0;
    } else if (random() % 4 == 0) {
      given[k] = arrays[k].size();
      give_pages(arrays[k], given[k] / 6, given[k] - given[k] / 3);
    } else {
      arrays[k].resize(start + (random() % 6) * kPart);
      for (std::size_t i = start; i < arrays[k].size(); ++i) arrays[k][i] = value(k, i);
    }
    for (std::size_t a = 0; a < arrays.size(); ++a) {
      for (std::size_t i = 0; i < arrays[a].size(); ++i) {
        if (i < given[a] / 6 || i >= given[a] - given[a] / 6) {
          ASSERT_EQ(arrays[a][i], value(a, i)) << step;
        }
      }
    }
  }
}

}  // namespace
}  // namespace facetor
