// The driver in-process: typed lines, file names and reading the input.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "driver/file_names.h"
#include "driver/input_file.h"
#include "driver/typed_line.h"
#include "support/cob_builder.h"
#include "support/run_process.h"

namespace facetor {
namespace {

TEST(TypedLine, LinesWithoutTheirLineEndsAndCutAtNul) {
  const std::string longLine(100000, 'x');
  std::istringstream input(std::string("plain\ncrlf\r\n\n\r\nnul\0after\nkeeps\rinside\n", 38) + longLine + "\nlast");
  std::vector<std::string> got(1);
  while (read_typed_line(input, got.back())) got.emplace_back();
  got.pop_back();
  EXPECT_EQ(got, (std::vector<std::string>{"plain", "crlf", "", "", "nul", "keeps\rinside", longLine, "last"}));
}

TEST(FileNames, InputAndOutputNames) {
  // Given, input and output name. Only the last path component counts; names are whole, however long.
  const std::string n(299, 'n');
  const std::string cases[][3] = {
      {"a.b.cob", "a.b.cob", "a.b.rwx"},
      {"dir.v2/model", "dir.v2/model.cob", "dir.v2/model.rwx"},
      {"C:\\a.b\\c.d/e", "C:\\a.b\\c.d/e.cob", "C:\\a.b\\c.d/e.rwx"},
      {std::string("mo\0del.x", 8), "mo.cob", "mo.rwx"},
      {n, n + ".cob", n + ".rwx"},
      {n + "/" + n + ".x.cob", n + "/" + n + ".x.cob", n + "/" + n + ".x.rwx"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(input_name_from(c[0]), c[1]) << c[0];
    EXPECT_EQ(output_name_for(c[1], ".rwx"), c[2]) << c[0];
  }
}

// Every byte arrives as it is (0x1A, CR LF, NUL); a 2 GiB file is too large.
TEST(InputFile, ReadsRegularFilesWholeAndRefusesOthers) {
  test::TempDir dir;
  const std::vector<std::uint8_t> bytes = {1, 0x1A, '\r', '\n', 0, 0x1A, '\n', '\r', 5};
  test::write_file(dir / "data.cob", bytes);
  InputFile file;
  std::string reason;
  EXPECT_FALSE(open_input(file, dir.path, &reason));
  EXPECT_FALSE(reason.empty());
#ifndef _WIN32  // a named pipe is refused at once, without waiting for a writer
  ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0644), 0);
  EXPECT_FALSE(open_input(file, dir / "pipe"));
#endif
  ASSERT_TRUE(open_input(file, dir / "data.cob"));
  LargeVector<std::uint8_t> buffer;
  EXPECT_EQ(read_input(file, buffer), InputRead::Complete);
  EXPECT_TRUE(std::equal(buffer.begin(), buffer.end(), bytes.begin(), bytes.end()));
  EXPECT_EQ(file.descriptor, -1);
  std::error_code error;
  std::filesystem::resize_file(dir / "data.cob", std::uintmax_t{1} << 31, error);
  if (error) GTEST_SKIP() << "no sparse file of 2 GiB here";
  ASSERT_TRUE(open_input(file, dir / "data.cob"));
  EXPECT_EQ(read_input(file, buffer = {}), InputRead::TooLarge);
  EXPECT_TRUE(buffer.empty());
}

}  // namespace
}  // namespace facetor
