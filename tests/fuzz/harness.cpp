#include "fuzz/harness.h"

#include <cstdint>
#include <cstring>
#include <string_view>

#include "anim/seq_export.h"
#include "diag/diagnostics.h"
#include "driver/rwx_file.h"
#include "io/out_stream.h"

namespace facetor::fuzz {
namespace {

constexpr std::string_view kNotCob = "File specified is not correctly formatted COB file";
constexpr std::string_view kNotBinary = "This program only supports Binary format COB files";

bool starts_with(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

bool ends_with(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

std::string tag(const ModeRun& run, std::string_view what) {
  std::string text = "mode ";
  text += mode_letter(run.mode);
  text += ": ";
  text += what;
  return text;
}

// The messages of the diagnostic header check, for a refused file; nothing
// may be written to the output file then.
void check_refusal(const ModeRun& run, std::vector<std::string>& problems) {
  if (run.console != kNotCob && run.console != kNotBinary)
    problems.push_back(tag(run, "refused file without exactly one header message: \"" +
                                    run.console.substr(0, 200) + "\""));
  if (!run.out.empty()) problems.push_back(tag(run, "refused file still wrote an output file"));
}

// Counts the lines whose text, less leading blanks, is exactly `word`.
int count_lines(std::string_view text, std::string_view word) {
  int count = 0;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    std::size_t first = line.find_first_not_of(' ');
    if (first != std::string_view::npos && line.substr(first) == word) ++count;
    start = end + 1;
  }
  return count;
}

void check_rwx(const ModeRun& run, Bytes buffer, std::vector<std::string>& problems) {
  const std::string head = "#####  Facetor6:      V6.00.601\r\n#####  Source File:   " + kSourceName +
                           "\r\nModelBegin\r\n";
  if (!starts_with(run.out, head)) problems.push_back(tag(run, "RWX file does not start with its frame"));
  if (!ends_with(run.out, "ModelEnd\r\n")) problems.push_back(tag(run, "RWX file does not end with ModelEnd"));
  const std::pair<const char*, const char*> blocks[] = {
      {"ClumpBegin", "ClumpEnd"}, {"ProtoBegin", "ProtoEnd"}, {"TransformBegin", "TransformEnd"}};
  for (const auto& [open, close] : blocks) {
    if (count_lines(run.out, open) != count_lines(run.out, close))
      problems.push_back(tag(run, std::string("unbalanced ") + open + "/" + close));
  }
  if (header_refused(buffer)) {
    if (run.out.find("Proto") != std::string::npos)
      problems.push_back(tag(run, "refused file still produced prototypes or instances"));
    if (!starts_with(run.console, kSourceName + ": "))
      problems.push_back(tag(run, "refused file without the loader's header warning"));
  }
}

// A big-endian reader over the sequence file that reports running out.
struct SeqCursor {
  std::string_view bytes;
  std::size_t at = 0;
  bool ok = true;

  std::int64_t take(std::size_t width) {
    if (!ok || bytes.size() - at < width) {
      ok = false;
      return 0;
    }
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < width; ++i)
      value = (value << 8) | static_cast<std::uint8_t>(bytes[at + i]);
    at += width;
    return width == 2 ? static_cast<std::int16_t>(value) : static_cast<std::int32_t>(value);
  }
  void skip(std::int64_t count) {
    if (!ok || count < 0 || static_cast<std::uint64_t>(count) > bytes.size() - at) {
      ok = false;
      return;
    }
    at += static_cast<std::size_t>(count);
  }
  void seq_string() { skip(static_cast<std::uint16_t>(take(2))); }
  // A section head (value size, key count) and its keys.
  void section(std::int64_t valueSize, std::int64_t keyBytes) {
    if (take(4) != valueSize) ok = false;
    std::int64_t keys = take(4);
    if (keys > 0) skip(keys * keyBytes);
  }
};

// The sequence file must parse exactly: the header's limb count names as many
// rotation sections as follow, every key count matches the keys written, the
// move marker is 0 or 4, and nothing trails the closing section.
void check_sequence(const ModeRun& run, std::vector<std::string>& problems) {
  SeqCursor seq{run.out};
  if (seq.take(4) != 0x7F7F7F79) problems.push_back(tag(run, "sequence file without its magic"));
  seq.take(2);
  std::int64_t limbs = seq.take(4);
  std::size_t nameAt = seq.at + 2;
  seq.seq_string();
  if (seq.ok && run.out.compare(nameAt, kSourceName.size() + 1, kSourceName.c_str(), kSourceName.size() + 1) != 0)
    problems.push_back(tag(run, "sequence file without the source name"));
  seq.seq_string();
  for (std::int64_t i = 0; i < limbs && seq.ok; ++i) {
    seq.seq_string();
    seq.section(16, 20);
  }
  std::int64_t marker = seq.take(4);
  if (marker != 0 && marker != 4) seq.ok = false;
  if (marker == 4) {
    for (int axis = 0; axis < 3; ++axis) seq.section(4, 8);
    seq.section(16, 20);
  }
  if (!seq.ok || seq.at != run.out.size())
    problems.push_back(tag(run, "sequence file does not parse as its counts say"));
}

void check_dump(const ModeRun& run, std::vector<std::string>& problems) {
  if (!ends_with(run.out, "\r\n") || run.out.find("\r\n\r\n") == std::string::npos)
    problems.push_back(tag(run, "dump without its closing tally"));
}

void check_headers(const ModeRun& run, Bytes buffer, std::vector<std::string>& problems) {
  bool anyChunk = buffer.size() >= 52;
  if (anyChunk != !run.console.empty() || (anyChunk && !ends_with(run.console, "\n")))
    problems.push_back(tag(run, "chunk type listing does not match the chunks present"));
}

// The image list always ends with its summary line, whose count agrees with
// the plural ending.
void check_images(const ModeRun& run, std::vector<std::string>& problems) {
  std::string_view text = run.console;
  constexpr std::string_view kTail = " (followed by usage count)\n";
  bool ok = ends_with(text, kTail);
  if (ok) {
    text.remove_suffix(kTail.size());
    std::size_t lineStart = text.rfind('\n');
    std::string_view line = text.substr(lineStart == std::string_view::npos ? 0 : lineStart + 1);
    long count = -1;
    if (starts_with(line, "  ")) {
      std::size_t digits = line.find_first_not_of("0123456789", 2);
      if (digits != 2 && digits != std::string_view::npos) {
        count = std::stol(std::string(line.substr(2, digits - 2)));
        std::string_view word = line.substr(digits);
        ok = word == (count > 1 ? " images" : " image");
      } else {
        ok = false;
      }
    } else {
      ok = false;
    }
  }
  if (!ok) problems.push_back(tag(run, "image list without a consistent summary line"));
}

}  // namespace

char mode_letter(Mode mode) {
  switch (mode) {
    case Mode::Rwx: return 'R';
    case Mode::Animation: return 'A';
    case Mode::Dump: return 'D';
    case Mode::Headers: return 'H';
    case Mode::Images: return 'I';
  }
  return '?';
}

bool header_refused(Bytes buffer) {
  return buffer.size() < 32 || std::memcmp(buffer.data(), "Caligari ", 9) != 0 || buffer[15] != 'B';
}

ModeRun run_mode(RunState& state, Mode mode, Bytes buffer) {
  ModeRun run;
  run.mode = mode;
  OutStream console = out_memory(StreamMode::Binary);
  OutStream out = out_memory(mode == Mode::Animation ? StreamMode::Binary : StreamMode::Text);
  switch (mode) {
    case Mode::Rwx:
      write_rwx_file(state.conversion, out, console, kSourceName, buffer);
      break;
    case Mode::Animation:
      export_animation(out, console, kSourceName, buffer);
      break;
    case Mode::Dump:
      dump_chunks(buffer, out, console);
      break;
    case Mode::Headers:
      list_chunk_types(buffer, console);
      break;
    case Mode::Images:
      list_images(buffer, console);
      break;
  }
  run.out = out_contents(out);
  run.console = out_contents(console);
  return run;
}

std::vector<std::string> check_run(const ModeRun& run, Bytes buffer) {
  std::vector<std::string> problems;
  if (run.mode == Mode::Rwx) {
    check_rwx(run, buffer, problems);
    return problems;
  }
  if (header_refused(buffer)) {
    check_refusal(run, problems);
    return problems;
  }
  switch (run.mode) {
    case Mode::Animation: check_sequence(run, problems); break;
    case Mode::Dump: check_dump(run, problems); break;
    case Mode::Headers: check_headers(run, buffer, problems); break;
    case Mode::Images: check_images(run, problems); break;
    case Mode::Rwx: break;
  }
  return problems;
}

std::vector<std::string> run_and_check_every_mode(Bytes buffer) {
  std::vector<std::string> problems;
  for (Mode mode : kAllModes) {
    RunState state;
    std::vector<std::string> found = check_run(run_mode(state, mode, buffer), buffer);
    problems.insert(problems.end(), found.begin(), found.end());
  }
  return problems;
}

std::vector<std::string> run_and_check_two_conversions(Bytes first, Bytes second) {
  RunState state;
  std::vector<std::string> problems = check_run(run_mode(state, Mode::Rwx, first), first);
  std::vector<std::string> more = check_run(run_mode(state, Mode::Rwx, second), second);
  for (std::string& problem : more) problems.push_back("second conversion: " + problem);
  return problems;
}

}  // namespace facetor::fuzz
