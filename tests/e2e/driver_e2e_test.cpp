// The facetor executable run as a user runs it: arguments, typed answers,
// what it prints, its exit code and the files it leaves behind.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "e2e/e2e_support.h"

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
      {{"model.cob", "R"}, 0, "model.rwx"},
      {{"model.cob", "rwx"}, 0, "model.rwx"},
      {{"model.cob", "r"}, 0, "model.rwx"},
      {{"model.cob", "anim"}, 0, "model.seq"},
      {{"model.cob", "a"}, 0, "model.seq"},
      {{"model.cob", "Debug"}, 0, "model.txt"},
      {{"model.cob", "d", "ignored"}, 0, "model.txt"},
      {{"model.cob", "H"}, 3, nullptr},
      {{"model.cob", "headers"}, 3, nullptr},
      {{"model.cob", "i"}, 3, nullptr},
      {{"model.cob", "x"}, 4, nullptr},
      {{"model.cob", ""}, 4, nullptr},
      {{"missing.cob", "R"}, 1, nullptr},
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

// Missing files, directories and pipes are no input files; screen and
// unknown modes are refused only after the input was read.
TEST_F(DriverE2e, InputsThatCannotBeOpened) {
  ASSERT_EQ(::mkdir((dir / "folder.cob").c_str(), 0755), 0);
  ASSERT_EQ(::mkfifo((dir / "pipe.cob").c_str(), 0644), 0);
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"missing"}, "missing.cob"},  // the name with ".cob" appended
      {{"folder.cob", "H"}, "folder.cob"},
      {{"folder.cob", "I"}, "folder.cob"},
      {{"folder.cob", "x"}, "folder.cob"},
      {{"pipe.cob", "H"}, "pipe.cob"},
  };
  for (const auto& [arguments, shown] : cases) {
    SCOPED_TRACE(::testing::PrintToString(arguments));
    const ProcessResult result = run(arguments);
    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.out, kBanner + "Can not open file '" + shown + "'\n");
  }
}

TEST_F(DriverE2e, UnopenableOutputEndsWithCodeTwoAndNoMessage) {
  // A directory in the output's place cannot be opened for writing.
  for (const char* blocked : {"model.rwx", "model.seq", "model.txt"}) ASSERT_EQ(::mkdir((dir / blocked).c_str(), 0755), 0);
  for (const char* mode : {"R", "A", "D"}) {
    const ProcessResult result = run({"model.cob", mode});
    EXPECT_EQ(result.exitCode, 2) << mode;
    EXPECT_EQ(result.out, kBanner) << mode;
  }
}

TEST_F(DriverE2e, OutputNameReplacesOnlyTheLastExtension) {
  write_file(dir / "a.b.cob", small_cob());
  EXPECT_EQ(run({"a.b.cob"}).exitCode, 0);
  EXPECT_TRUE(file_exists(dir / "a.b.rwx"));
  EXPECT_FALSE(file_exists(dir / "a.rwx"));
}

TEST_F(DriverE2e, DotInADirectoryPartOnlyCutsTheOutputNameThere) {
  ASSERT_EQ(::mkdir((dir / "scenes.v2").c_str(), 0755), 0);
  write_file(dir / "scenes.v2/model", small_cob());
  const ProcessResult result = run({"scenes.v2/model", "d"});
  EXPECT_EQ(result.exitCode, 0) << result.out;  // opened as given: nothing appended
  EXPECT_TRUE(file_exists(dir / "scenes.txt"));
}

TEST_F(DriverE2e, EmptyInputFileIsConvertedWithExitCodeZero) {
  write_file(dir / "empty.cob", {});
  const ProcessResult result = run({"empty.cob"});
  EXPECT_EQ(result.exitCode, 0);
  ASSERT_TRUE(file_exists(dir / "empty.rwx"));
  const std::string rwx = read_file(dir / "empty.rwx");
  EXPECT_EQ(rwx.rfind("#####  Facetor6:      V6.00.601\r\n#####  Source File:   empty.cob\r\nModelBegin\r\n", 0), 0u);
  EXPECT_EQ(result.out, kBanner + "empty.cob: Can not read header - file probably corrupted\n");
}

// A sparse file of 2^31 bytes: its length does not fit the signed 32-bit count.
TEST_F(DriverE2e, InputOfTwoGigabytesIsAnAllocationFailure) {
  const std::string big = dir / "big.cob";
  const int descriptor = ::open(big.c_str(), O_CREAT | O_WRONLY, 0644);
  ASSERT_GE(descriptor, 0);
  const bool sized = ::ftruncate(descriptor, off_t{1} << 31) == 0;
  ::close(descriptor);
  if (!sized) GTEST_SKIP() << "the temporary folder cannot hold a sparse file of 2 GiB";
  const ProcessResult cmd = run({"big.cob", "R"});
  EXPECT_EQ(cmd.exitCode, 5);
  EXPECT_EQ(cmd.out, kBanner + "Memory allocation error\n");
  EXPECT_FALSE(file_exists(dir / "big.rwx"));
  const ProcessResult typed = run({}, "big\nh\nmodel\nh\n");
  EXPECT_EQ(typed.exitCode, 5);
  EXPECT_EQ(typed.out, kBanner + kNamePrompt + kModePrompt + "Memory allocation error\n");
}

#if defined(__SANITIZE_ADDRESS__)
#define FACETOR_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define FACETOR_UNDER_ASAN 1
#endif
#endif

// An input buffer that the system refuses: a 1 GiB file under a 512 MiB
// address-space limit.
TEST_F(DriverE2e, RefusedInputBufferIsAnAllocationFailure) {
#ifdef FACETOR_UNDER_ASAN
  GTEST_SKIP() << "the address sanitizer's shadow memory does not run under an address-space limit";
#else
  const std::string big = dir / "big.cob";
  const int descriptor = ::open(big.c_str(), O_CREAT | O_WRONLY, 0644);
  ASSERT_GE(descriptor, 0);
  const bool sized = ::ftruncate(descriptor, off_t{1} << 30) == 0;
  ::close(descriptor);
  if (!sized) GTEST_SKIP() << "the temporary folder cannot hold a sparse file of 1 GiB";
  ProcessOptions options;
  options.workingDir = dir.path;
  options.addressSpaceLimit = std::uint64_t{512} << 20;
  const ProcessResult result = run_facetor_exe({"big.cob", "H"}, options);
  EXPECT_EQ(result.exitCode, 5);
  EXPECT_EQ(result.out, kBanner + "Memory allocation error\n");
#endif
}

// ---- output write failures -------------------------------------------------

struct WriteFailureCase {
  const char* mode;
  const char* output;
};
const WriteFailureCase kWriteFailures[] = {{"R", "model.rwx"}, {"A", "model.seq"}, {"D", "model.txt"}};

TEST_F(DriverE2e, WriteFailureOnTheCommandLineEndsWithCodeTwo) {
  for (const WriteFailureCase& c : kWriteFailures) {
    ASSERT_EQ(::symlink("/dev/full", (dir / c.output).c_str()), 0);
    const ProcessResult result = run({"model.cob", c.mode});
    EXPECT_EQ(result.exitCode, 2) << c.mode;
    EXPECT_NE(result.out.find(std::string("Can not write output file '") + c.output + "'\n"), std::string::npos)
        << c.mode << ": " << result.out;
  }
}

TEST_F(DriverE2e, WriteFailureInTheInteractiveRegimeGoesOnWithTheNextFile) {
  for (const WriteFailureCase& c : kWriteFailures) {
    ASSERT_EQ(::symlink("/dev/full", (dir / c.output).c_str()), 0);
    const ProcessResult result = run({}, std::string("model\n") + c.mode + "\nmodel\nh\nq\n");
    EXPECT_EQ(result.exitCode, 0) << c.mode;
    const std::string message = std::string("Can not write output file '") + c.output + "'\n";
    const std::size_t at = result.out.find(message);
    ASSERT_NE(at, std::string::npos) << c.mode << ": " << result.out;
    EXPECT_EQ(result.out.substr(at + message.size()),
              kNamePrompt + kModePrompt + kSmallListing + kNamePrompt) << c.mode;
  }
}

// ---- interactive regime ------------------------------------------------------

struct Dialogue {
  const char* what;
  std::string typed;
  std::string printed;  // after the banner
};

TEST_F(DriverE2e, InteractiveDialogues) {
  ASSERT_EQ(::mkdir((dir / "folder.cob").c_str(), 0755), 0);
  const std::string open = kNamePrompt + kModePrompt;
  const Dialogue dialogues[] = {
      {"Q ends", "Q\n", kNamePrompt},
      {"q ends", "q\n", kNamePrompt},
      {"end of input at the name prompt ends", "", kNamePrompt},
      {"end of input at the mode prompt ends", "model\n", open},
      {"listing, then next file", "model\nh\nq\n", open + kSmallListing + kNamePrompt},
      {"CR LF line ends", "model\r\nH\r\nq\r\n", open + kSmallListing + kNamePrompt},
      {"last line without line end", "model\nh\nQ", open + kSmallListing + kNamePrompt},
      {"text after a NUL is ignored", std::string("model\0junk\nh\0x\nq\n", 18),
       open + kSmallListing + kNamePrompt},
      {"missing file asks for the name again", "nothing\nq\n",
       kNamePrompt + "Can not open file 'nothing.cob'\n" + kNamePrompt},
      {"empty mode answer", "model\n\nq\n", open + "Unknown file output type\n" + kNamePrompt},
      {"unknown mode", "model\nzebra\nq\n", open + "Unknown file output type\n" + kNamePrompt},
      {"directory input asks for the name again", "folder.cob\nq\n",
       kNamePrompt + "Can not open file 'folder.cob'\n" + kNamePrompt},
      {"qq is a file name", "qq\nq\n", kNamePrompt + "Can not open file 'qq.cob'\n" + kNamePrompt},
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

TEST_F(DriverE2e, InteractiveFileModesWriteTheirFiles) {
  const ProcessResult result = run({}, "model\nR\nmodel\nanim\nmodel.cob\nd\nq\n");
  EXPECT_EQ(result.exitCode, 0);
  for (const char* out : {"model.rwx", "model.seq", "model.txt"}) EXPECT_TRUE(file_exists(dir / out)) << out;
  EXPECT_NE(result.out.rfind(kNamePrompt), std::string::npos);
}

TEST_F(DriverE2e, InteractiveUnopenableOutputIsReported) {
  for (const char* blocked : {"model.rwx", "model.seq", "model.txt"}) ASSERT_EQ(::mkdir((dir / blocked).c_str(), 0755), 0);
  const ProcessResult result = run({}, "model\nr\nmodel\na\nmodel\nd\nq\n");
  EXPECT_EQ(result.exitCode, 0);
  const std::string open = kNamePrompt + kModePrompt;
  EXPECT_EQ(result.out, kBanner + open + "Can not open output file 'model.rwx'\n" + open +
                            "Can not open output file 'model.seq'\n" + open +
                            "Can not open output file 'model.txt'\n" + kNamePrompt);
}

// Names are cut to 299 characters; ".cob" is then appended where no '.' is
// left, and the output name is formed from the cut name.
TEST_F(DriverE2e, OverlongNamesAreCutTo299Characters) {
  std::string folders;
  for (int i = 0; i < 5; ++i) {
    folders += std::string(50, static_cast<char>('a' + i)) + "/";
    ASSERT_EQ(::mkdir((dir / folders).c_str(), 0755), 0);
  }
  const std::string name299 = folders + std::string(299 - folders.size(), 'm');
  ASSERT_EQ(name299.size(), 299u);
  write_file(dir / (name299 + ".cob"), small_cob());
  const std::string typedName = name299 + std::string(200, 'z');

  const ProcessResult cmd = run({typedName, "D"});
  EXPECT_EQ(cmd.exitCode, 0) << cmd.out;
  EXPECT_TRUE(file_exists(dir / (name299 + ".txt")));

  const ProcessResult typed = run({}, typedName + "\nh\nq\n");
  EXPECT_EQ(typed.out, kBanner + kNamePrompt + kModePrompt + kSmallListing + kNamePrompt);

  // A mode answer of any length: only its first character counts.
  const ProcessResult longAnswer = run({}, "model\nh" + std::string(5000, 'x') + "\nq\n");
  EXPECT_EQ(longAnswer.out, kBanner + kNamePrompt + kModePrompt + kSmallListing + kNamePrompt);
}

}  // namespace
}  // namespace facetor::test
