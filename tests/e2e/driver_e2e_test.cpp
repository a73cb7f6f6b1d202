// The facetor executable run as a user runs it: arguments, typed answers,
// what it prints, its exit code and the files it leaves behind.
#include <gtest/gtest.h>
#include <unistd.h>

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
};

TEST_F(DriverE2e, CommandLineExitCodesAndOutputNames) {
  const ExitCase cases[] = {
      {{"model.cob"}, 0, "model.rwx"},      // one parameter: mode R
      {{"model"}, 0, "model.rwx"},          // ".cob" appended
      {{"model.cob", "anim"}, 0, "model.seq"},
      {{"model.cob", "d", "ignored"}, 0, "model.txt"},
      {{"model.cob", "headers"}, 3, nullptr},
      {{"model.cob", "i"}, 3, nullptr},
      {{"model.cob", ""}, 4, nullptr},
      {{"missing", "H"}, 1, nullptr},
  };
  for (const ExitCase& c : cases) {
    const std::string label = ::testing::PrintToString(c.arguments);
    for (const char* out : {"model.rwx", "model.seq", "model.txt"}) ::unlink((dir / out).c_str());
    const ProcessResult result = run(c.arguments);
    EXPECT_EQ(result.exitCode, c.exitCode) << label;
    if (c.writes != nullptr) {
      EXPECT_TRUE(file_exists(dir / c.writes)) << label;
    }
    // Screen modes and unknown modes list nothing and print no message.
    if (c.exitCode == 3 || c.exitCode == 4) {
      EXPECT_EQ(result.out, kBanner) << label;
    }
  }
}

// ---- output write failures -------------------------------------------------

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
  EXPECT_EQ(read_file(dir / "model.rwx"), std::string(earlier.begin(), earlier.end()));
  std::size_t files = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path)) ++files;
  EXPECT_EQ(files, 2u) << "model.cob and model.rwx only";
}

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
