// The facetor executable run as a user runs it: arguments, typed answers,
// what it prints, its exit code and the files it leaves behind.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <unistd.h>
#endif

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "e2e/e2e_support.h"
#include "support/example_model.h"

namespace facetor::test {
namespace {

struct DriverE2e : ::testing::Test {
  TempDir dir;

  void SetUp() override { write_file(dir / "model.cob", small_cob()); }

  ProcessResult run(const std::vector<std::string>& arguments, const std::string& typed = "") {
    ProcessOptions options;
    options.workingDir = dir.path;
    options.stdinText = typed;
    return run_facetor_exe(arguments, options);
  }
};

// ---- command-line regime ------------------------------------------------

struct ExitCase {
  std::vector<std::string> arguments;
  int exitCode;
  const char* writes;  // the output file that must exist afterwards, or null
  const char* why;     // what the one line on standard error says, or null for none
};

TEST_F(DriverE2e, CommandLineExitCodesOutputNamesAndReasons) {
  write_file(dir / "plain.txt", {'h', 'e', 'l', 'l', 'o'});
  const ExitCase cases[] = {
      {{"model.cob"}, 0, "model.rwx", nullptr},  // one parameter: mode R
      {{"model"}, 0, "model.rwx", nullptr},      // ".cob" appended
      {{"model.cob", "anim"}, 0, "model.seq", nullptr},
      {{"model.cob", "d", "ignored"}, 0, "model.txt", nullptr},
      {{"plain.txt", "R"}, 0, "plain.rwx", "'plain.txt' is not a binary COB file; 'plain.rwx' holds no model"},
      {{"model.cob", "headers"}, 3, nullptr,
       "modes H and I list only at the prompts; run facetor without parameters"},
      {{"model.cob", "i"}, 3, nullptr, "modes H and I list only at the prompts; run facetor without parameters"},
      {{"model.cob", ""}, 4, nullptr, "no mode given; the modes are R, A and D (H and I at the prompts)"},
      {{"model.cob", "xyz"}, 4, nullptr, "unknown mode 'X'; the modes are R, A and D (H and I at the prompts)"},
      {{"missing", "H"}, 1, nullptr, "can not open 'missing.cob': "},
      {{"model.cob", "R"}, 2, nullptr, "can not open output file 'model.rwx': "},
  };
  for (const ExitCase& c : cases) {
    const std::string label = ::testing::PrintToString(c.arguments);
    for (const char* out : {"model.rwx", "model.seq", "model.txt"}) std::filesystem::remove_all(dir / out);
    if (c.exitCode == 2) std::filesystem::create_directory(dir / "model.rwx");  // a folder takes the name
    const ProcessResult result = run(c.arguments);
    EXPECT_EQ(result.exitCode, c.exitCode) << label;
    if (c.writes != nullptr) {
      EXPECT_TRUE(file_exists(dir / c.writes)) << label;
    }
    // Screen modes and unknown modes list nothing and print no message.
    if (c.exitCode == 3 || c.exitCode == 4) {
      EXPECT_EQ(result.out, kBanner) << label;
    }
    const std::string why = c.why == nullptr ? "" : std::string("facetor: ") + c.why;
    const std::string firstLine = result.err.substr(0, result.err.find('\n'));
    EXPECT_EQ(firstLine.substr(0, why.size()), why) << label << ": " << result.err;
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), c.why == nullptr ? 0 : 1) << label;
  }
  std::filesystem::remove_all(dir / "model.rwx");
}

// Only a first parameter spelled exactly like an option is one.
TEST_F(DriverE2e, HelpAndVersion) {
  for (const char* option : {"-h", "--help"}) {
    const ProcessResult help = run({option});
    EXPECT_EQ(help.exitCode, 0) << option;
    EXPECT_TRUE(help.out.starts_with("Usage: facetor [FILENAME [OUTPUTMODE]]\n")) << help.out;
    EXPECT_NE(help.out.find("Exit codes: 0 processed"), std::string::npos);
    EXPECT_EQ(help.err, "");
  }
  const ProcessResult version = run({"--version", "R"});
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_EQ(version.out, "facetor 6.0.601\n");
  const ProcessResult file = run({"-help"});
  EXPECT_EQ(file.exitCode, 1);
  EXPECT_EQ(file.out, kBanner + "Can not open file '-help.cob'\n");
}

// Names outside any ANSI code page convert, whatever the system's code page
// (on Windows through the UTF-16 API); the output lands beside the input.
TEST_F(DriverE2e, NamesOutsideTheAnsiCodePage) {
  for (const std::string stem : {"\xD0\xBC\xD0\xBE\xD0\xB4\xD0\xB5\xD0\xBB\xD1\x8C", "\xE6\xA8\xA1\xE5\x9E\x8B"}) {
    const auto native = [&](const std::string& name) {
      return std::filesystem::path(dir.path) / std::filesystem::path(std::u8string(name.begin(), name.end()));
    };
    std::error_code error;
    std::filesystem::copy_file(native("model.cob"), native(stem + ".cob"), error);
    // Wine keeps names in the Unix locale's character set: C cannot hold them.
    if (error) GTEST_SKIP() << "this file system takes no such names here: " << error.message();
    const ProcessResult result = run({stem, "D"});
    EXPECT_EQ(result.exitCode, 0) << result.out << result.err;
    EXPECT_TRUE(std::filesystem::exists(native(stem + ".txt"))) << result.out << result.err;
  }
}

// ---- output write failures (POSIX: /dev/full, file size limits) -------------
#ifndef _WIN32

struct WriteFailureCase {
  const char* mode;
  const char* output;
};

TEST_F(DriverE2e, WriteFailureOnTheCommandLineEndsWithCodeTwo) {
  for (const WriteFailureCase& c : {WriteFailureCase{"R", "model.rwx"}, WriteFailureCase{"A", "model.seq"}}) {
    ASSERT_EQ(::symlink("/dev/full", (dir / c.output).c_str()), 0);
    const ProcessResult result = run({"model.cob", c.mode});
    EXPECT_EQ(result.exitCode, 2) << c.mode;
    EXPECT_NE(result.out.find(std::string("Can not write output file '") + c.output + "'\n"), std::string::npos)
        << c.mode << ": " << result.out;
  }
}

// A run that fails halfway (the file grows past the size limit) leaves the
// earlier output file exactly as it was, and no temporary file.
TEST_F(DriverE2e, FailedWriteKeepsTheEarlierOutput) {
  write_file(dir / "model.cob", example_model());
  const std::vector<std::uint8_t> earlier = {'e', 'a', 'r', 'l', 'i', 'e', 'r', '\r', '\n'};
  write_file(dir / "model.rwx", earlier);
  ProcessOptions options;
  options.workingDir = dir.path;
  options.fileSizeLimit = 1000;  // the RWX text of the example is several kilobytes
  const ProcessResult result = run_facetor_exe({"model.cob", "R"}, options);
  EXPECT_EQ(result.exitCode, 2);
  EXPECT_NE(result.out.find("Can not write output file 'model.rwx'\n"), std::string::npos) << result.out;
  EXPECT_EQ(result.err, "facetor: writing 'model.rwx' failed; a file of that name from before is kept as it was\n");
  EXPECT_EQ(read_file(dir / "model.rwx"), std::string(earlier.begin(), earlier.end()));
  std::size_t files = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path)) ++files;
  EXPECT_EQ(files, 2u) << "model.cob and model.rwx only";
}

#if !defined(__SANITIZE_ADDRESS__)
// The input buffer of a 1 GiB file does not fit a 256 MiB address space.
TEST_F(DriverE2e, OutOfMemoryEndsWithCodeFive) {
  write_file(dir / "big.cob", {});
  std::filesystem::resize_file(dir / "big.cob", std::uintmax_t{1} << 30);
  ProcessOptions options;
  options.workingDir = dir.path;
  options.addressSpaceLimit = std::uint64_t{256} << 20;
  const ProcessResult result = run_facetor_exe({"big.cob", "R"}, options);
  EXPECT_EQ(result.exitCode, 5);
  EXPECT_EQ(result.out, kBanner + "Memory allocation error\n");
  EXPECT_EQ(result.err, "facetor: not enough memory\n");
}

// A model of 200000 vertices (8 MB) is read within 32 MiB of address space,
// but its conversion needs more: the run fails while the output is being
// written, and the earlier output stays as it was.
TEST_F(DriverE2e, MemoryFailureKeepsTheEarlierOutput) {
  std::vector<Vec3> vertices;
  std::vector<Face> faces;
  for (int i = 0; i < 200000; ++i) vertices.push_back({i * 0.001f, static_cast<float>(i % 7), static_cast<float>(i % 13)});
  for (int i = 0; i + 2 < 200000; ++i) faces.push_back(face({0, i + 1, i + 2}));
  CobFile file;
  file.chunk("PolH", 1, 0, polh("big", vertices, {}, faces)).chunk("Mat1", 2, 1, mat1({})).end(3);
  write_file(dir / "big.cob", file.bytes);
  write_file(dir / "big.rwx", {'o', 'l', 'd'});
  ProcessOptions options;
  options.workingDir = dir.path;
  options.addressSpaceLimit = std::uint64_t{32} << 20;
  const ProcessResult result = run_facetor_exe({"big.cob", "R"}, options);
  EXPECT_EQ(result.exitCode, 5);
  EXPECT_EQ(read_file(dir / "big.rwx"), "old");
  std::size_t files = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path)) ++files;
  EXPECT_EQ(files, 3u) << "model.cob, big.cob and big.rwx only";
}
#endif

#endif  // _WIN32

// ---- interactive regime ------------------------------------------------------

struct Dialogue {
  const char* what;
  std::string typed;
  std::string printed;  // after the banner
};

TEST_F(DriverE2e, InteractiveDialogues) {
  const std::string open = kNamePrompt + kModePrompt;
  const Dialogue dialogues[] = {
      {"q ends", "q\n", kNamePrompt},
      {"end of input at the mode prompt ends", "model\n", open},
      {"CR LF line ends", "model\r\nH\r\nq\r\n", open + kSmallListing + kNamePrompt},
      {"text after a NUL is ignored", std::string("model\0junk\nh\0x\nq\n", 18),
       open + kSmallListing + kNamePrompt},
      {"missing file asks for the name again", "nothing\nq\n",
       kNamePrompt + "Can not open file 'nothing.cob'\n" + kNamePrompt},
      {"unknown mode", "model\nzebra\nq\n", open + "Unknown file output type\n" + kNamePrompt},
      {"several files", "model\nh\nmodel.cob\nHeaders\nq\n",
       open + kSmallListing + open + kSmallListing + kNamePrompt},
  };
  for (const Dialogue& d : dialogues) {
    SCOPED_TRACE(d.what);
    const ProcessResult result = run({}, d.typed);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, kBanner + d.printed);
  }
}

}  // namespace
}  // namespace facetor::test
