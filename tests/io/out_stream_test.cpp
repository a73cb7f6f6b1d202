#include "io/out_stream.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

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
      {"", ""},
      {"a\nb\n", "a\r\nb\r\n"},
      {"\n\n", "\r\n\r\n"},
      {"already\r\n", "already\r\r\n"},  // as a text-mode stream does
      {"no line end", "no line end"},
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

TEST(OutStream, PrintfAndPutGoThroughTheTextMode) {
  OutStream text = out_memory(StreamMode::Text);
  out_printf(text, "%s : %d\n", "Name\nwith line feed", 42);
  out_put(text, '\n');
  EXPECT_EQ(out_contents(text), "Name\r\nwith line feed : 42\r\n\r\n");
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
}

TEST(OutStream, RewindOnAFileOverwritesItsStart) {
  TempDir dir;
  const std::string path = dir / "out.bin";
  OutStream stream;
  ASSERT_TRUE(out_open_file(stream, path, StreamMode::Binary));
  out_write(stream, "abcdef");
  out_rewind(stream);
  out_write(stream, "XY");
  EXPECT_TRUE(out_close(stream));
  EXPECT_EQ(test::read_file(path), "XYcdef");
}

TEST(OutStream, FileGetsEveryByteInOrderAcrossManyFlushes) {
  TempDir dir;
  const std::string path = dir / "out.txt";
  std::string expected;
  {
    OutStream stream;
    ASSERT_TRUE(out_open_file(stream, path, StreamMode::Text));
    for (int i = 0; i < 20000; ++i) {
      out_printf(stream, "line %d\n", i);
      expected += "line " + std::to_string(i) + "\r\n";
    }
    EXPECT_TRUE(out_close(stream));
  }
  EXPECT_EQ(test::read_file(path), expected);
}

TEST(OutStream, OpeningTruncatesAndDestructionFlushes) {
  TempDir dir;
  const std::string path = dir / "out.txt";
  test::write_file(path, std::vector<std::uint8_t>(100, 'z'));
  {
    OutStream stream;
    ASSERT_TRUE(out_open_file(stream, path, StreamMode::Binary));
    out_write(stream, "short");
  }
  EXPECT_EQ(test::read_file(path), "short");
}

TEST(OutStream, ReopeningFinishesTheFileBefore) {
  TempDir dir;
  OutStream stream;
  ASSERT_TRUE(out_open_file(stream, dir / "first.txt", StreamMode::Text));
  out_write(stream, "first\n");
  ASSERT_TRUE(out_open_file(stream, dir / "second.txt", StreamMode::Binary));
  out_write(stream, "second\n");
  EXPECT_TRUE(out_close(stream));
  EXPECT_EQ(test::read_file(dir / "first.txt"), "first\r\n");
  EXPECT_EQ(test::read_file(dir / "second.txt"), "second\n");
}

TEST(OutStream, OpenFailsWhereNoFileCanBeWritten) {
  TempDir dir;
  ASSERT_EQ(::mkdir((dir / "folder").c_str(), 0755), 0);
  OutStream stream;
  EXPECT_FALSE(out_open_file(stream, dir / "folder", StreamMode::Text));
  EXPECT_FALSE(out_open_file(stream, dir / "no/such/folder/file.txt", StreamMode::Text));
}

// /dev/full accepts the open and refuses every byte.
TEST(OutStream, FailedWritesAreRememberedUntilClose) {
  if (!test::file_exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  {
    OutStream small;
    ASSERT_TRUE(out_open_file(small, "/dev/full", StreamMode::Text));
    out_write(small, "one line\n");
    EXPECT_FALSE(out_close(small));
  }
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
