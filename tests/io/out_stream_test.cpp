#include "io/out_stream.h"

#include <gtest/gtest.h>

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
