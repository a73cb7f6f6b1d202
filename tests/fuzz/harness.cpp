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

using Problems = std::vector<std::string>;

bool ends_with(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

bool header_refused(Bytes buffer) {
  return buffer.size() < 32 || std::memcmp(buffer.data(), "Caligari ", 9) != 0 || buffer[15] != 'B';
}

// Counts the lines whose text, less leading blanks and CR, is exactly `word`.
int count_lines(std::string_view text, std::string_view word) {
  int count = 0;
  for (std::size_t start = 0, end; start < text.size(); start = end + 1) {
    end = std::min(text.find('\n', start), text.size());
    std::string_view line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    std::size_t first = line.find_first_not_of(' ');
    count += first != std::string_view::npos && line.substr(first) == word;
  }
  return count;
}

void check_rwx(const ModeRun& run, Bytes buffer, Problems& problems) {
  if (!run.out.starts_with("#####  Facetor6:      V6.00.601\r\n#####  Source File:   " + kSourceName + "\r\nModelBegin\r\n") || !ends_with(run.out, "ModelEnd\r\n")) problems.push_back("RWX frame broken");
  for (const char* block : {"Clump", "Proto", "Transform"}) {
    if (count_lines(run.out, std::string(block) + "Begin") != count_lines(run.out, std::string(block) + "End"))
      problems.push_back(std::string("unbalanced ") + block + "Begin/End");
  }
  if (header_refused(buffer) && (run.out.find("Proto") != std::string::npos ||
                                 !run.console.starts_with(kSourceName + ": ")))
    problems.push_back("refused file converted to more than an empty model with its warning");
}

// A big-endian reader over the sequence file that notes running out.
struct SeqCursor {
  std::string_view bytes;
  std::size_t at = 0;
  bool ok = true;

  std::int64_t take(std::size_t width) {
    if (!ok || bytes.size() - at < width) return ok = false;
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < width; ++i) value = (value << 8) | static_cast<std::uint8_t>(bytes[at + i]);
    at += width;
    return width == 2 ? static_cast<std::int16_t>(value) : static_cast<std::int32_t>(value);
  }
  void skip(std::int64_t count) {
    if (!ok || count < 0 || static_cast<std::uint64_t>(count) > bytes.size() - at) ok = false;
    else at += static_cast<std::size_t>(count);
  }
  void seq_string() { skip(static_cast<std::uint16_t>(take(2))); }
  void section(std::int64_t valueSize, std::int64_t keyBytes) {  // value size, key count, keys
    ok = ok && take(4) == valueSize;
    skip(std::max<std::int64_t>(take(4), 0) * keyBytes);
  }
};

// The sequence file parses exactly: as many rotation sections as the header's
// limb count, key counts that match the keys, move marker 0 or 4, no tail.
void check_sequence(const ModeRun& run, Problems& problems) {
  SeqCursor seq{run.out};
  bool magic = seq.take(4) == 0x7F7F7F79;
  seq.take(2);
  std::int64_t limbs = seq.take(4);
  std::size_t nameAt = seq.at + 2;
  seq.seq_string();
  if (!magic || (seq.ok && run.out.compare(nameAt, kSourceName.size() + 1, kSourceName.c_str(),
                                           kSourceName.size() + 1) != 0))
    problems.push_back("sequence file without its magic or source name");
  seq.seq_string();
  for (std::int64_t i = 0; i < limbs && seq.ok; ++i) {
    seq.seq_string();
    seq.section(16, 20);
  }
  std::int64_t marker = seq.take(4);
  seq.ok = seq.ok && (marker == 0 || marker == 4);
  for (int axis = 0; axis < 3 && marker == 4; ++axis) seq.section(4, 8);
  if (marker == 4) seq.section(16, 20);
  if (!seq.ok || seq.at != run.out.size()) problems.push_back("sequence file does not parse as its counts say");
}

// The image list ends with its summary line, whose count agrees with the plural.
void check_images(const ModeRun& run, Problems& problems) {
  std::string_view text = run.console;
  constexpr std::string_view kTail = " (followed by usage count)\n";
  bool ok = ends_with(text, kTail);
  if (ok) {
    text.remove_suffix(kTail.size());
    std::string_view line = text.substr(text.rfind('\n') == std::string_view::npos ? 0 : text.rfind('\n') + 1);
    std::size_t digits = line.find_first_not_of("0123456789", 2);
    ok = line.starts_with("  ") && digits != 2 && digits != std::string_view::npos &&
         line.substr(digits) == (std::stol(std::string(line.substr(2, digits - 2))) > 1 ? " images" : " image");
  }
  if (!ok) problems.push_back("image list without a consistent summary line");
}

}  // namespace

ModeRun run_mode(ConversionState& state, char mode, Bytes buffer) {
  OutStream console = out_memory(StreamMode::Binary);
  OutStream out = out_memory(mode == 'A' ? StreamMode::Binary : StreamMode::Text);
  switch (mode) {
    case 'R': write_rwx_file(state, out, console, kSourceName, buffer); break;
    case 'A': export_animation(out, console, kSourceName, buffer); break;
    case 'D': dump_chunks(buffer, out, console); break;
    case 'H': list_chunk_types(buffer, console); break;
    case 'I': list_images(buffer, console); break;
  }
  return {mode, out_contents(out), out_contents(console)};
}

std::vector<std::string> check_run(const ModeRun& run, Bytes buffer) {
  Problems problems;
  if (run.mode == 'R') {
    check_rwx(run, buffer, problems);
  } else if (header_refused(buffer)) {
    // Only the header message, and no output file.
    if ((run.console != "File specified is not correctly formatted COB file" &&
         run.console != "This program only supports Binary format COB files") || !run.out.empty())
      problems.push_back("refused file gave more than its one header message");
  } else if (run.mode == 'A') {
    check_sequence(run, problems);
  } else if (run.mode == 'D') {
    if (!ends_with(run.out, "\r\n") || run.out.find("\r\n\r\n") == std::string::npos)
      problems.push_back("dump without its closing tally");
  } else if (run.mode == 'H') {
    if ((buffer.size() >= 52) != !run.console.empty() || (buffer.size() >= 52 && !ends_with(run.console, "\n")))
      problems.push_back("chunk type listing does not match the chunks present");
  } else if (run.mode == 'I') {
    check_images(run, problems);
  }
  for (std::string& problem : problems) problem = std::string("mode ") + run.mode + ": " + problem;
  return problems;
}

std::vector<std::string> run_and_check(Bytes buffer, Bytes follow) {
  Problems problems;
  for (char mode : {'R', 'A', 'D', 'H', 'I'}) {
    ConversionState state;
    for (std::string& problem : check_run(run_mode(state, mode, buffer), buffer)) problems.push_back(problem);
    if (mode == 'R') {
      for (std::string& problem : check_run(run_mode(state, 'R', follow), follow)) problems.push_back("next: " + problem);
    }
  }
  return problems;
}

void for_each_damage(Bytes original, int shard, int shards, const DamageVisit& visit) {
  long number = 0;
  for (std::size_t length = 0; length <= original.size(); ++length) {
    if (number++ % shards == shard) visit({original.begin(), original.begin() + length}, "prefix " + std::to_string(length));
  }
  std::vector<std::uint8_t> work(original.begin(), original.end());
  for (std::size_t at = 0; at < original.size(); ++at) {
    for (std::uint8_t to : {std::uint8_t{0}, std::uint8_t{0xFF}, std::uint8_t(original[at] + 1)}) {
      if (number++ % shards != shard || to == original[at]) continue;
      work[at] = to;
      visit(work, "byte " + std::to_string(at) + " set to " + std::to_string(to));
      work[at] = original[at];
    }
  }
}

std::vector<std::string> run_fuzz_input(char mode, Bytes input) {
  // Each file in a buffer of exactly its size, so that any read past it is caught.
  std::string_view text(reinterpret_cast<const char*>(input.data()), input.size());
  std::size_t at = mode == '2' ? text.find(kPairSeparator) : std::string_view::npos;
  std::vector<std::uint8_t> first(input.begin(), at == std::string_view::npos ? input.end() : input.begin() + at);
  if (mode != '2') {
    ConversionState state;
    return check_run(run_mode(state, mode, first), first);
  }
  std::vector<std::uint8_t> second(at == std::string_view::npos ? first
                                   : std::vector<std::uint8_t>(input.begin() + at + kPairSeparator.size(), input.end()));
  ConversionState state;
  Problems problems = check_run(run_mode(state, 'R', first), first);
  for (std::string& problem : check_run(run_mode(state, 'R', second), second))
    problems.push_back("second file: " + problem);
  return problems;
}

}  // namespace facetor::fuzz
