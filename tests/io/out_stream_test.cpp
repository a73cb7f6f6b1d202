#include "io/out_stream.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "support/cob_builder.h"
#include "support/run_process.h"

namespace facetor {
namespace {

using test::TempDir;

TEST(OutStream, TextModeWritesEveryLineFeedAsCarriageReturnLineFeed) {
  struct Case {
    std::string written;
    std::string text;
  };
  const Case cases[] = {
      {"a\n\n", "a\r\n\r\n"},
      {"already\r\n", "already\r\r\n"},  // as a text-mode stream does
      {std::string("nul\0\n", 5), std::string("nul\0\r\n", 6)},
  };
  for (const Case& c : cases) {
    OutStream text = out_memory(StreamMode::Text);
    OutStream binary = out_memory(StreamMode::Binary);
    out_write(text, c.written);
    out_write(binary, c.written);
    EXPECT_EQ(out_contents(text), c.text) << c.written;
    EXPECT_EQ(out_contents(binary), c.written) << c.written;
  }
}

TEST(OutStream, PrintfBeyondItsSmallBufferIsComplete) {
  OutStream stream = out_memory(StreamMode::Binary);
  const std::string longText(3000, 'x');
  out_printf(stream, "<%s|%d>", longText.c_str(), 7);
  EXPECT_EQ(out_contents(stream), "<" + longText + "|7>");
}

TEST(OutStream, RewindInMemoryOverwritesAndExtends) {
  OutStream stream = out_memory(StreamMode::Binary);
  out_write(stream, "abcdef");
  out_rewind(stream);
  out_write(stream, "XY");
  EXPECT_EQ(out_contents(stream), "XYcdef");
  out_write(stream, "1234567");
  EXPECT_EQ(out_contents(stream), "XY1234567");
  EXPECT_TRUE(out_close(stream));
  // Closed: a later write is a failure and changes nothing.
  out_write(stream, "late");
  out_printf(stream, "%d", 1);
  EXPECT_EQ(out_contents(stream), "XY1234567");
  EXPECT_FALSE(out_close(stream));
}

std::vector<std::string> names_in(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

// The named file changes only on a close without failure; a failed or
// abandoned stream (as when a run ends by an exception) leaves it as it was
// and no temporary file behind.
TEST(OutStream, FileIsReplacedOnlyWhenComplete) {
  TempDir dir;
  const std::string path = dir / "model.rwx";
  test::write_file(path, {'o', 'l', 'd'});
  ::chmod(path.c_str(), 0640);
  {
    OutStream failing;
    ASSERT_TRUE(out_open_file(failing, path, StreamMode::Text));
    out_write(failing, "new\n");
    failing.failed = true;
    EXPECT_FALSE(out_close(failing));
  }
  {
    OutStream abandoned;
    ASSERT_TRUE(out_open_file(abandoned, path, StreamMode::Text));
    out_write(abandoned, std::string(100000, 'x'));
  }
  EXPECT_EQ(test::read_file(path), "old");
  EXPECT_EQ(names_in(dir.path), std::vector<std::string>{"model.rwx"});

  OutStream complete;
  ASSERT_TRUE(out_open_file(complete, path, StreamMode::Text));
  out_write(complete, "new\n");
  EXPECT_EQ(test::read_file(path), "old");
  EXPECT_TRUE(out_close(complete));
  EXPECT_EQ(test::read_file(path), "new\r\n");
  EXPECT_EQ(names_in(dir.path), std::vector<std::string>{"model.rwx"});
  struct stat status {};
  ASSERT_EQ(::stat(path.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0640u);
}

// A link is followed: the file it points at is replaced and the link stays.
TEST(OutStream, SymbolicLinkKeepsPointingAtTheReplacedFile) {
  TempDir dir;
  ASSERT_EQ(::mkdir((dir / "real").c_str(), 0755), 0);
  test::write_file(dir / "real/model.rwx", {'o', 'l', 'd'});
  ASSERT_EQ(::symlink("real/model.rwx", (dir / "link.rwx").c_str()), 0);
  OutStream stream;
  ASSERT_TRUE(out_open_file(stream, dir / "link.rwx", StreamMode::Binary));
  out_write(stream, "new");
  EXPECT_TRUE(out_close(stream));
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.rwx"));
  EXPECT_EQ(test::read_file(dir / "real/model.rwx"), "new");
  EXPECT_EQ(names_in(dir / "real"), std::vector<std::string>{"model.rwx"});
}

// A writable file in a folder where no file can be made is written directly.
TEST(OutStream, ReadOnlyFolderWritesTheFileDirectly) {
  TempDir dir;
  ASSERT_EQ(::mkdir((dir / "ro").c_str(), 0755), 0);
  const std::string path = dir / "ro/model.rwx";
  test::write_file(path, {'o', 'l', 'd'});
  ASSERT_EQ(::chmod((dir / "ro").c_str(), 0555), 0);
  if (::access((dir / "ro").c_str(), W_OK) == 0) {
    ::chmod((dir / "ro").c_str(), 0755);
    GTEST_SKIP() << "this user may write into read-only folders";
  }
  OutStream stream;
  const bool opened = out_open_file(stream, path, StreamMode::Binary);
  out_write(stream, "new");
  const bool closed = out_close(stream);
  ::chmod((dir / "ro").c_str(), 0755);
  ASSERT_TRUE(opened);
  EXPECT_TRUE(closed);
  EXPECT_EQ(test::read_file(path), "new");
  // A read-only file in a writable folder is refused, as before, not replaced.
  ::chmod(path.c_str(), 0444);
  EXPECT_FALSE(out_open_file(stream, path, StreamMode::Binary));
  EXPECT_EQ(test::read_file(path), "new");
}

// /dev/full accepts the open and refuses every byte.
TEST(OutStream, FailedWritesAreRememberedUntilClose) {
  if (!test::file_exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  {
    OutStream large;
    ASSERT_TRUE(out_open_file(large, "/dev/full", StreamMode::Binary));
    out_write(large, std::string(200000, 'x'));  // passes the buffer: flushed while writing
    EXPECT_TRUE(large.failed);
    out_write(large, "more");
    EXPECT_FALSE(out_close(large));
  }
  {
    OutStream rewound;
    ASSERT_TRUE(out_open_file(rewound, "/dev/full", StreamMode::Binary));
    out_write(rewound, "header");
    out_rewind(rewound);
    EXPECT_FALSE(out_close(rewound));
  }
  OutStream nothing;
  ASSERT_TRUE(out_open_file(nothing, "/dev/full", StreamMode::Binary));
  EXPECT_TRUE(out_close(nothing));
}

}  // namespace
}  // namespace facetor
