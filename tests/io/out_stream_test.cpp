#include "io/out_stream.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>
#include <string>

#include "support/cob_builder.h"
#include "support/run_process.h"

namespace facetor {
namespace {

// Text mode: every LF as CR LF; printf past its buffer; rewind; closed.
TEST(OutStream, InMemory) {
  OutStream text = out_memory(StreamMode::Text), stream = out_memory(StreamMode::Binary);
  out_write(text, std::string("a\n\nalready\r\nnul\0\n", 17));
  EXPECT_EQ(out_contents(text), std::string("a\r\n\r\nalready\r\r\nnul\0\r\n", 21));
  const std::string longText(3000, 'x');
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

}  // namespace
}  // namespace facetor
