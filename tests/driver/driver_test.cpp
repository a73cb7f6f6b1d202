// The driver in-process: typed lines, file names, reading the input, and
// whole dialogues with a console in memory.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

#include "driver/file_names.h"
#include "driver/input_file.h"
#include "driver/session.h"
#include "driver/typed_line.h"
#include "support/cob_builder.h"
#include "support/run_process.h"

namespace facetor {
namespace {

using test::TempDir;

const std::string kBanner =
    "Facetor build 6.0.601 - COB model converter\n"
    "You may optionally specify command line parameters FILENAME and OUTPUTMODE\n\n";
const std::string kNamePrompt = "Enter COB filename (Q to exit): ";
const std::string kModePrompt = "Output (to file): Rwx, Animation; (to screen): Headers, Imagelist, Debug ? : ";

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
      {"dir.v2/model", "dir.v2/model", "dir.rwx"},
      {"model.", "model.", "model.rwx"},
      {".hidden", ".hidden", ".rwx"},
      {"", ".cob", ".rwx"},
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
  EXPECT_EQ(output_name_for("x.cob", ".seq"), "x.seq");
  EXPECT_EQ(output_name_for("x.cob", ".txt"), "x.txt");
}

TEST(InputFile, ReadsRegularFilesWholeAndRefusesOthers) {
  TempDir dir;
  test::write_file(dir / "data.cob", {1, 2, 3, 4, 5});
  ASSERT_EQ(::mkdir((dir / "folder").c_str(), 0755), 0);
  ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0644), 0);

  InputFile file;
  EXPECT_FALSE(open_input(file, dir / "absent"));
  EXPECT_FALSE(open_input(file, dir / "folder"));
  EXPECT_FALSE(open_input(file, dir / "pipe"));
  EXPECT_FALSE(open_input(file, "/dev/null"));
  ASSERT_TRUE(open_input(file, dir / "data.cob"));
  std::vector<std::uint8_t> buffer;
  EXPECT_EQ(read_input(file, buffer), InputRead::Complete);
  EXPECT_EQ(buffer, (std::vector<std::uint8_t>{1, 2, 3, 4, 5}));
  EXPECT_EQ(file.descriptor, -1);
}

TEST(InputFile, LengthIsTakenWhenTheFileIsRead) {
  TempDir dir;
  test::write_file(dir / "data.cob", std::vector<std::uint8_t>(100, 7));
  InputFile file;
  ASSERT_TRUE(open_input(file, dir / "data.cob"));
  ASSERT_EQ(::truncate((dir / "data.cob").c_str(), 10), 0);
  std::vector<std::uint8_t> buffer;
  // fstat sees the new length: the buffer is the file as it now stands.
  EXPECT_EQ(read_input(file, buffer), InputRead::Complete);
  EXPECT_EQ(buffer.size(), 10u);
}

TEST(InputFile, LengthOf2To31IsTooLarge) {
  TempDir dir;
  test::write_file(dir / "big.cob", {});
  if (::truncate((dir / "big.cob").c_str(), off_t{1} << 31) != 0) GTEST_SKIP() << "no sparse file of 2 GiB here";
  InputFile file;
  ASSERT_TRUE(open_input(file, dir / "big.cob"));
  std::vector<std::uint8_t> buffer;
  EXPECT_EQ(read_input(file, buffer), InputRead::TooLarge);
  EXPECT_TRUE(buffer.empty());
}

// An input stream that runs an action each time it is asked for more text,
// then delivers the next line.
struct ActingInput : std::streambuf {
  std::vector<std::string> lines;
  std::function<void(std::size_t)> action;  // called with the number of the line about to be read
  std::size_t next = 0;
  std::string current;

  int_type underflow() override {
    if (next >= lines.size()) return traits_type::eof();
    if (action) action(next);
    current = lines[next++];
    setg(current.data(), current.data(), current.data() + current.size());
    return traits_type::to_int_type(current[0]);
  }
};

struct Dialogue {
  OutStream console = out_memory(StreamMode::Binary);
  std::istringstream typed;
  Session session{console, typed, {}, {}, {}};

  explicit Dialogue(const std::string& text) : typed(text) {}
  int run(const std::vector<std::string>& parameters = {}) { return run_facetor(session, parameters); }
  const std::string& printed() const { return out_contents(console); }
};

std::vector<std::uint8_t> small_cob() {
  test::CobFile file;
  file.chunk("PolH", 1, 0, test::Data{}).end(2);
  return file.bytes;
}

// The console is flushed before every answer is read, so a user sees the
// prompt before typing.
TEST(Driver, PromptsAreOnTheConsoleBeforeEachAnswerIsRead) {
  TempDir dir;
  test::write_file(dir / "m.cob", small_cob());
  std::FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  OutStream console = out_on_file(file, StreamMode::Binary);
  ActingInput typed;
  typed.lines = {dir / "m.cob\n", "h\n", "q\n"};
  std::vector<std::string> seen;
  typed.action = [&](std::size_t) {
    std::string text(4096, '\0');
    std::rewind(file);
    text.resize(std::fread(text.data(), 1, text.size(), file));
    std::fseek(file, 0, SEEK_END);
    seen.push_back(text);
  };
  std::istream input(&typed);
  Session session{console, input, {}, {}, {}};
  EXPECT_EQ(run_facetor(session, {}), 0);
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[0], kBanner + kNamePrompt);
  EXPECT_EQ(seen[1], kBanner + kNamePrompt + kModePrompt);
  EXPECT_EQ(seen[2], kBanner + kNamePrompt + kModePrompt + "  PolH : 1\n  END  : 1\n" + kNamePrompt);
  out_close(console);
  std::fclose(file);
}

// A file that shrinks while the mode is asked is read at the length it has
// when it is read.
TEST(Driver, InputIsReadAtItsLengthAfterTheModeIsKnown) {
  TempDir dir;
  const std::string name = dir / "shrinking.cob";
  test::write_file(name, small_cob());
  ActingInput typed;
  typed.lines = {name + "\n", "h\n", "q\n"};
  typed.action = [&](std::size_t line) {
    if (line == 1) {
      ASSERT_EQ(::truncate(name.c_str(), 20), 0);
    }
  };
  std::istream input(&typed);
  OutStream console = out_memory(StreamMode::Binary);
  Session session{console, input, {}, {}, {}};
  EXPECT_EQ(run_facetor(session, {}), 0);
  EXPECT_EQ(out_contents(console), kBanner + kNamePrompt + kModePrompt +
                                       "File specified is not correctly formatted COB file" + kNamePrompt);
}

// Kernel attribute files claim a length of one page but deliver a few bytes:
// a read that falls short of the file's length.
std::string short_reading_file() {
  for (const char* path : {"/sys/devices/system/cpu/online", "/sys/kernel/profiling",
                           "/sys/kernel/mm/transparent_hugepage/enabled"}) {
    struct stat status {};
    if (::stat(path, &status) == 0 && S_ISREG(status.st_mode) && status.st_size == 4096 &&
        ::access(path, R_OK) == 0) {
      return path;
    }
  }
  return "";
}

TEST(Driver, InputThatDeliversFewerBytesThanItsLengthIsReported) {
  const std::string source = short_reading_file();
  if (source.empty()) GTEST_SKIP() << "no kernel attribute file that reads short";
  TempDir dir;
  const std::string name = dir / "attr.cob";
  ASSERT_EQ(::symlink(source.c_str(), name.c_str()), 0);

  InputFile file;
  ASSERT_TRUE(open_input(file, name));
  std::vector<std::uint8_t> buffer;
  EXPECT_EQ(read_input(file, buffer), InputRead::Short);

  Dialogue cmd("");
  EXPECT_EQ(cmd.run({name, "R"}), 1);
  EXPECT_EQ(cmd.printed(), kBanner + "Can not open file '" + name + "'\n");
  EXPECT_FALSE(test::file_exists(dir / "attr.rwx"));

  Dialogue typed(name + "\nh\nq\n");
  EXPECT_EQ(typed.run(), 0);
  EXPECT_EQ(typed.printed(), kBanner + kNamePrompt + kModePrompt + "Can not open file '" + name + "'\n" + kNamePrompt);
}

}  // namespace
}  // namespace facetor
