// The driver in-process: typed lines, file names and reading the input.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "driver/file_names.h"
#include "driver/input_file.h"
#include "driver/typed_line.h"
#include "support/cob_builder.h"
#include "support/run_process.h"

namespace facetor {
namespace {

using test::TempDir;

TEST(TypedLine, LinesWithoutTheirLineEndsAndCutAtNul) {
  const std::string longLine(100000, 'x');
  std::istringstream input(std::string("plain\ncrlf\r\n\n\r\nnul\0after\nkeeps\rinside\n", 38) + longLine + "\nlast");
  const std::vector<std::string> expected = {"plain", "crlf", "", "", "nul", "keeps\rinside", longLine, "last"};
  std::string line;
  for (const std::string& want : expected) {
    ASSERT_TRUE(read_typed_line(input, line)) << want.substr(0, 20);
    EXPECT_EQ(line, want);
  }
  EXPECT_FALSE(read_typed_line(input, line));
  EXPECT_FALSE(read_typed_line(input, line));
}

TEST(FileNames, InputAndOutputNames) {
  struct Case {
    std::string given;
    std::string input;
    std::string rwx;
  };
  const std::string n299(299, 'n');
  const Case cases[] = {
      {"model", "model.cob", "model.rwx"},
      {"model.cob", "model.cob", "model.rwx"},
      {"a.b.cob", "a.b.cob", "a.b.rwx"},
      // Only the last path component counts, after '/' or '\\'.
      {"dir.v2/model", "dir.v2/model.cob", "dir.v2/model.rwx"},
      {"C:\\john.doe\\house", "C:\\john.doe\\house.cob", "C:\\john.doe\\house.rwx"},
      {"a.b/c.d\\e", "a.b/c.d\\e.cob", "a.b/c.d\\e.rwx"},
      {std::string("mo\0del.x", 8), "mo.cob", "mo.rwx"},
      {n299 + "extra.cob", n299 + ".cob", n299 + ".rwx"},
      // The cut keeps the '.', so nothing is appended.
      {std::string(298, 'n') + ".cob", std::string(298, 'n') + ".", std::string(298, 'n') + ".rwx"},
      {std::string(290, 'n') + "." + std::string(20, 'e'), std::string(290, 'n') + "." + std::string(8, 'e'),
       std::string(290, 'n') + ".rwx"},
  };
  for (const Case& c : cases) {
    const std::string input = input_name_from(c.given);
    EXPECT_EQ(input, c.input) << c.given;
    EXPECT_EQ(output_name_for(input, ".rwx"), c.rwx) << c.given;
  }
}

// Every byte arrives as it is: a 0x1A byte (the end of a text file on
// Windows), CR LF and NUL included.
TEST(InputFile, ReadsRegularFilesWholeAndRefusesOthers) {
  TempDir dir;
  const std::vector<std::uint8_t> bytes = {1, 0x1A, '\r', '\n', 0, 0x1A, '\n', '\r', 5};
  test::write_file(dir / "data.cob", bytes);
  ASSERT_TRUE(std::filesystem::create_directory(dir / "folder"));

  InputFile file;
  std::string reason;
  EXPECT_FALSE(open_input(file, dir / "folder", &reason));
  EXPECT_FALSE(reason.empty());
#ifndef _WIN32
  // A named pipe is refused at once, without waiting for a writer.
  ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0644), 0);
  EXPECT_FALSE(open_input(file, dir / "pipe"));
#endif
  ASSERT_TRUE(open_input(file, dir / "data.cob"));
  std::vector<std::uint8_t> buffer;
  EXPECT_EQ(read_input(file, buffer), InputRead::Complete);
  EXPECT_EQ(buffer, bytes);
  EXPECT_EQ(file.descriptor, -1);
}

TEST(InputFile, LengthOf2To31IsTooLarge) {
  TempDir dir;
  test::write_file(dir / "big.cob", {});
  std::error_code error;
  std::filesystem::resize_file(dir / "big.cob", std::uintmax_t{1} << 31, error);
  if (error) GTEST_SKIP() << "no sparse file of 2 GiB here";
  InputFile file;
  ASSERT_TRUE(open_input(file, dir / "big.cob"));
  std::vector<std::uint8_t> buffer;
  EXPECT_EQ(read_input(file, buffer), InputRead::TooLarge);
  EXPECT_TRUE(buffer.empty());
}

}  // namespace
}  // namespace facetor
