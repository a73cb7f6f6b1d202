// The facetor executable run as a user runs it: arguments, typed answers, what
// it prints, its exit code and the files it leaves behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

#include "support/run_process.h"
#include "support/scene_chunks.h"

namespace facetor::test {
namespace {

const std::string kBanner = "Facetor build 6.0.601 - COB model converter\nYou may optionally specify command line parameters FILENAME and OUTPUTMODE\n\n";
const std::string kNamePrompt = "Enter COB filename (Q to exit): ";
const std::string kOpen = kNamePrompt + "Output (to file): Rwx, Animation; (to screen): Headers, Imagelist, Debug ? : ";
const std::string kSmallListing = "  PolH : 2\n  Mat1 : 1\n  END  : 1\n";  // mode H on the fixture's model.cob

std::ptrdiff_t files_in(const std::string& folder) { return std::distance(std::filesystem::directory_iterator(folder), {}); }

struct E2e : ::testing::Test {
  TempDir dir;

  void SetUp() override {
    write_file(dir / "model.cob", CobFile().chunk("PolH", 1, 0, Data{}).chunk("Mat1", 2, 1, Data{}).chunk("PolH", 3, 0, Data{}).end(4).bytes);
  }
  ProcessResult run(const std::vector<std::string>& arguments, const std::string& typed = "", std::uint64_t space = 0, std::uint64_t size = 0) {
    return run_facetor_exe(arguments, {dir.path, typed, space, size});
  }
};

// Every mode on both examples, console and output file, byte for byte against reference
// outputs (checked by hand: the walker's 30 frames and 5 limbs, the cottage's window hole).
TEST_F(E2e, EveryModeOfBothExamplesIsByteExact) {
  const std::string expected = FACETOR_EXPECTED_DIR "/";
  for (const std::string model : {"cottage", "walker"}) {
    std::filesystem::copy_file(std::string(FACETOR_EXAMPLES_DIR) + "/" + model + ".cob", dir / (model + ".cob"));
    for (const std::string mode : {"R", "A", "D", "H", "I"}) {
      const bool screen = mode == "H" || mode == "I";
      const ProcessResult result = screen ? run({}, model + "\n" + mode + "\nq\n") : run({model + ".cob", mode});
      EXPECT_EQ(result.exitCode, 0) << model << " " << mode;
      EXPECT_EQ(result.out, read_file(expected + model + "." + mode + ".out")) << model << " " << mode;
      const std::string file = model + (mode == "R" ? ".rwx" : mode == "A" ? ".seq" : ".txt");
      EXPECT_TRUE(screen || read_file(dir / file) == read_file(expected + file)) << file << " differs from the reference";
    }
  }
}

// Each exit code with its console text and its lines on standard error (a reason, one on a line of its own;
// none on success and at the prompts); only a first parameter spelled exactly like an option is one, and
// "--" ends the options.
TEST_F(E2e, ExitCodesConsoleTextAndReasons) {
  write_file(dir / "plain.txt", {'h', 'e', 'l', 'l', 'o'});
  std::filesystem::copy_file(dir / "model.cob", dir / "-x.cob");
  std::filesystem::create_directories(dir / "adir");
  std::filesystem::create_directories(dir / "sub.cob");
  write_file(dir / "huge.cob", {});
  std::filesystem::resize_file(dir / "huge.cob", std::uintmax_t{1} << 31);  // sparse
  CobFile chans;
  for (std::int32_t id = 1; id <= 1000; ++id) chans.chunk("Chan", id, 5000, Data{});
  write_file(dir / "chans.cob", chans.end(9999).bytes);
  std::string duplicates;
  for (int i = 0; i < 1000; ++i) duplicates += "  Duplicate Chan chunk or no corresponding parent\n";
  const std::string screenOnly = "modes H and I list only at the prompts; run facetor without parameters";
  const std::string modes = "; the modes are R, A and D (H and I at the prompts)", help = read_file(FACETOR_EXPECTED_DIR "/help.out");
  const std::string dummy = "the sequence holds the built-in \"dummy\" channel", rotate = "  Processing ROTATE (1 keyframes) for 'dummy'\n";
  const struct {
    std::vector<std::string> arguments;
    std::string typed;
    int exitCode;
    const char* writes;  // the output file that must exist afterwards, or null
    std::string why;     // the start of what standard error says, after "facetor: "
    std::string out;
  } cases[] = {
      {{"model"}, "", 0, "model.rwx", "", kBanner},
      {{"model.cob", "anim"}, "", 0, "model.seq", "no object is named as a limb (\"qz_\" and a joint name); " + dummy, kBanner + rotate},
      {{"chans.cob", "A"}, "", 0, "chans.seq", "1000 Chan chunks matched no limb: a channel belongs to an earlier object named \"qz_\" and "
       "a joint name, one to a limb (two to the pelvis)\nfacetor: no object is named as a limb (\"qz_\" and a joint name); " + dummy,
       kBanner + duplicates + rotate},
      {{"model.cob", "d", "ignored"}, "", 0, "model.txt", "", kBanner},
      {{"plain.txt", "R"}, "", 0, "plain.rwx", "'plain.txt' is not a binary COB file; 'plain.rwx' holds no model",
       kBanner + "plain.txt: Can not read header - file probably corrupted\n"},
      {{"plain.txt", "A"}, "", 0, "plain.seq", "'plain.txt' is not a binary COB file", kBanner + "File specified is not correctly formatted COB file"},
      {{"model.cob", "headers"}, "", 3, nullptr, screenOnly, kBanner},
      {{"model.cob", "i"}, "", 3, nullptr, screenOnly, kBanner},
      {{"model.cob", ""}, "", 4, nullptr, "no mode given" + modes, kBanner},
      {{"model.cob", "xyz"}, "", 4, nullptr, "unknown mode 'X'" + modes, kBanner},
      {{"missing", "H"}, "", 1, nullptr, "can not open 'missing.cob': ", kBanner + "Can not open file 'missing.cob'\n"},
      {{"adir"}, "", 1, nullptr, "can not open 'adir.cob': No such file or directory ('adir' is a directory)", kBanner + "Can not open file 'adir.cob'\n"},
      {{"sub.cob"}, "", 1, nullptr, "can not open 'sub.cob': is a directory", kBanner + "Can not open file 'sub.cob'\n"},
      {{"huge.cob"}, "", 5, nullptr, "'huge.cob' is too large to read: 2147483648 bytes", kBanner + "Memory allocation error\n"},
      {{"-help"}, "", 4, nullptr, "'-help' is no option and names no file\nUsage: facetor [--]", ""},
      {{"-x", "D"}, "", 0, "-x.txt", "", kBanner},
      {{"--", "-x.cob", "a"}, "", 0, "-x.seq", "no object", kBanner + rotate},
      {{"model.cob", "R"}, "", 2, nullptr, "can not open output file 'model.rwx': ", kBanner},
      {{"-h"}, "", 0, nullptr, "", help},
      {{"--help"}, "", 0, nullptr, "", help},
      {{"--version", "R"}, "", 0, nullptr, "", "facetor 6.0.601\n"},
      {{}, "q\n", 0, nullptr, "", kBanner + kNamePrompt},
      {{"--"}, "model\n", 0, nullptr, "", kBanner + kOpen},  // end of input at the mode prompt
      {{}, "model\r\nH\r\nq\r\n", 0, nullptr, "", kBanner + kOpen + kSmallListing + kNamePrompt},
      {{}, std::string("model\0junk\nh\0x\nq\n", 18), 0, nullptr, "", kBanner + kOpen + kSmallListing + kNamePrompt},
      {{}, "nothing\nq\n", 0, nullptr, "", kBanner + kNamePrompt + "Can not open file 'nothing.cob'\n" + kNamePrompt},
      {{}, "model\nzebra\nq\n", 0, nullptr, "", kBanner + kOpen + "Unknown file output type\n" + kNamePrompt},
  };
  for (const auto& c : cases) {
    const std::string label = ::testing::PrintToString(c.arguments) + ::testing::PrintToString(c.typed);
    for (const char* out : {"model.rwx", "model.seq", "model.txt"}) std::filesystem::remove_all(dir / out);
    if (c.exitCode == 2) std::filesystem::create_directory(dir / "model.rwx");  // a folder takes the name
    const ProcessResult result = run(c.arguments, c.typed);
    EXPECT_EQ(result.exitCode, c.exitCode) << label;
    EXPECT_TRUE(c.writes == nullptr || std::filesystem::exists(dir / c.writes)) << label;
    EXPECT_EQ(result.out, c.out) << label;
    const std::string start = std::string(c.out.empty() || c.out.ends_with('\n') ? "" : "\n") + "facetor: " + c.why;
    const auto lines = [](const std::string& text) { return std::count(text.begin(), text.end(), '\n'); };
    const bool reason = result.err.starts_with(start) && result.err.ends_with('\n') && lines(result.err) == lines(start) + 1;
    EXPECT_TRUE(c.why.empty() ? result.err.empty() : reason) << label << ": " << result.err;
  }
#ifdef _WIN32
  EXPECT_EQ(run({"/?"}).out, help);
#endif
}

// An output name that reaches the input (the same name, a hard link, a symbolic link) is an output that
// cannot be opened, at the prompts too; the input stays as it was.
TEST_F(E2e, TheInputIsNeverWrittenOver) {
  const std::string model = read_file(dir / "model.cob");
  write_file(dir / "notes.txt", {'h', 'i'});
  std::filesystem::copy_file(dir / "model.cob", dir / "copy.rwx");
  std::filesystem::create_hard_link(dir / "model.cob", dir / "model.seq");
#ifndef _WIN32
  std::filesystem::create_symlink("model.cob", dir / "model.txt");
  EXPECT_EQ(run({"model", "D"}).exitCode, 2);
#endif
  for (const std::vector<std::string>& arguments : {std::vector<std::string>{"notes.txt", "D"}, {"copy.rwx"}, {"model", "A"}}) {
    const ProcessResult result = run(arguments);
    EXPECT_EQ(result.exitCode, 2) << arguments[0];
    EXPECT_NE(result.err.find("is the input file itself"), std::string::npos) << result.err;
  }
  const ProcessResult typed = run({}, "notes.txt\nd\ncopy.rwx\nR\nq\n");
  EXPECT_EQ(typed.out, kBanner + kOpen + "Can not open output file 'notes.txt'\n" + kOpen + "Can not open output file 'copy.rwx'\n" + kNamePrompt);
  EXPECT_EQ(read_file(dir / "notes.txt"), "hi");
  EXPECT_EQ(read_file(dir / "copy.rwx"), model);
  EXPECT_EQ(read_file(dir / "model.cob"), model);
  EXPECT_EQ(files_in(dir.path), 4 + (std::filesystem::exists(dir / "model.txt") ? 1 : 0)) << "no output, no temporary";
}

// A path longer than 299 characters is opened whole, and the output lands beside it.
TEST_F(E2e, LongPathsAreWhole) {
  const std::string folder = std::string(150, 'a') + "/" + std::string(150, 'b');
  std::filesystem::create_directories(dir / folder);
  std::filesystem::copy_file(dir / "model.cob", dir / (folder + "/model.cob"));
  const ProcessResult result = run({folder + "/model", "D"});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_TRUE(std::filesystem::exists(dir / (folder + "/model.txt")));
}

// Names outside any ANSI code page convert (on Windows through the UTF-16 API); the output lands beside the input.
TEST_F(E2e, NamesOutsideTheAnsiCodePage) {
  for (const std::string stem : {"\xD0\xBC\xD0\xBE\xD0\xB4\xD0\xB5\xD0\xBB\xD1\x8C", "\xE6\xA8\xA1\xE5\x9E\x8B"}) {
    const auto native = [&](const std::string& name) { return std::filesystem::path(dir.path) / std::u8string(name.begin(), name.end()); };
    std::error_code error;
    std::filesystem::copy_file(native("model.cob"), native(stem + ".cob"), error);
    if (error) GTEST_SKIP() << "no such names here (wine in the C locale): " << error.message();
    const ProcessResult result = run({stem, "D"});
    EXPECT_EQ(result.exitCode, 0) << result.out << result.err;
    EXPECT_TRUE(std::filesystem::exists(native(stem + ".txt"))) << result.out << result.err;
  }
}

#ifndef _WIN32
// Write failures (/dev/full, a file size limit) end with code 2; a run that fails
// halfway leaves the earlier output exactly as it was, and no temporary.
TEST_F(E2e, FailedWritesKeepTheEarlierOutput) {
  std::filesystem::create_symlink("/dev/full", dir / "model.seq");
  const ProcessResult full = run({"model.cob", "A"});
  EXPECT_EQ(full.exitCode, 2);
  EXPECT_NE(full.out.find("Can not write output file 'model.seq'\n"), std::string::npos) << full.out;
  std::filesystem::copy_file(FACETOR_EXAMPLES_DIR "/cottage.cob", dir / "model.cob", std::filesystem::copy_options::overwrite_existing);
  write_file(dir / "model.rwx", {'o', 'l', 'd'});
  const ProcessResult result = run({"model.cob", "R"}, "", 0, 1000);  // the RWX text is several kilobytes
  EXPECT_EQ(result.exitCode, 2);
  EXPECT_NE(result.out.find("Can not write output file 'model.rwx'\n"), std::string::npos) << result.out;
  EXPECT_EQ(result.err, "facetor: writing 'model.rwx' failed; a file of that name from before is kept as it was\n");
  EXPECT_EQ(read_file(dir / "model.rwx"), "old");
  EXPECT_EQ(files_in(dir.path), 3) << "model.cob, model.seq and model.rwx only";
}

#if !defined(__SANITIZE_ADDRESS__)
// A 1 GiB input does not fit 256 MiB of address space (failures at every later allocation: see alloc_sweep).
TEST_F(E2e, MemoryFailureEndsWithCodeFive) {
  write_file(dir / "huge.cob", {});
  std::filesystem::resize_file(dir / "huge.cob", std::uintmax_t{1} << 30);
  const ProcessResult huge = run({"huge.cob", "R"}, "", std::uint64_t{256} << 20);
  EXPECT_EQ(huge.exitCode, 5);
  EXPECT_EQ(huge.out, kBanner + "Memory allocation error\n");
  EXPECT_EQ(huge.err, "facetor: not enough memory\n");
  EXPECT_EQ(files_in(dir.path), 2) << "model.cob and huge.cob only";
}
#endif
#endif  // _WIN32

// Two files of one interactive run: the skinned first leaves out the hierarchy, the
// second gets it back. The second's first faces (no material) are compared with the
// split key the first file left (lit: no "Internal" prototype); a fresh run starts from zeros.
TEST_F(E2e, SplitKeyAndHierarchyAcrossTheFilesOfOneRun) {
  const std::vector<Vec3> triangle = {{1, 0, 0}, {2, 0, 0}, {2, 1, 0}};
  write_file(dir / "first.cob", CobFile().chunk("PolH", 1, 0, polh("qz_neck", triangle, {}, {face({0, 1, 2})}))
                                     .chunk("Mat1", 2, 1, mat1({})).chunk("Bone", 3, 0, bone("qz_neck")).end(4).bytes);
  write_file(dir / "second.cob", CobFile().chunk("PolH", 1, 0, polh("late", triangle, {}, {face({0, 1, 2}, 9), face({0, 1, 2}, 0)}))
                                      .chunk("Mat1", 2, 1, mat1({})).end(3).bytes);
  EXPECT_EQ(run({}, "first\nR\nsecond.cob\nr\nq\n").exitCode, 0);
  const std::string first = read_file(dir / "first.rwx"), second = read_file(dir / "second.rwx");
  EXPECT_TRUE(first.ends_with(" ClumpEnd\r\nClumpEnd\r\nModelEnd\r\n")) << first;
  EXPECT_EQ(first.find("ProtoInstance"), std::string::npos);
  EXPECT_TRUE(second.ends_with("  ProtoInstance late\r\n ClumpEnd\r\nModelEnd\r\n")) << second;
  EXPECT_EQ(second.find("Internal"), std::string::npos) << second;
  EXPECT_EQ(run({"second"}).exitCode, 0);
  EXPECT_NE(read_file(dir / "second.rwx").find(" ProtoBegin Internal"), std::string::npos);
}

}  // namespace
}  // namespace facetor::test
