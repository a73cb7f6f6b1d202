#include "fuzz/harness.h"

#include <cstring>

#include "anim/seq_export.h"
#include "diag/diagnostics.h"
#include "convert/conversion.h"
#include "io/out_stream.h"
#include "support/cob_builder.h"

namespace facetor::fuzz {
namespace {

constexpr auto npos = std::string_view::npos;

bool refused(Bytes b) { return b.size() < 32 || std::memcmp(b.data(), "Caligari ", 9) != 0 || b[15] != 'B'; }

// Counts the lines whose text, less leading blanks and CR, is exactly `word`.
int count_lines(std::string_view text, const std::string& word) {
  int count = 0;
  for (std::size_t start = 0, end; start < text.size(); start = end + 1) {
    end = std::min(text.find('\n', start), text.size());
    std::string_view line = text.substr(start, end - start);
    if (line.ends_with('\r')) line.remove_suffix(1);
    count += line.substr(std::min(line.find_first_not_of(' '), line.size())) == word;
  }
  return count;
}

// The sequence file parses exactly: magic, source name, a rotation section per limb of the header's count, key
// counts that match the keys, move marker 0 or 4, no tail. Big-endian; any shortfall clears `ok`.
bool sequence_parses(std::string_view bytes) {
  std::size_t at = 0;
  bool ok = true;
  auto take = [&](std::size_t width) -> std::int64_t {
    if (!ok || bytes.size() - at < width) return ok = false;
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < width; ++i) value = (value << 8) | static_cast<std::uint8_t>(bytes[at++]);
    return width == 2 ? static_cast<std::int16_t>(value) : static_cast<std::int32_t>(value);
  };
  auto skip = [&](std::int64_t count) {
    ok = ok && count >= 0 && static_cast<std::uint64_t>(count) <= bytes.size() - at;
    if (ok) at += static_cast<std::size_t>(count);
  };
  auto string = [&] { skip(static_cast<std::uint16_t>(take(2))); };
  auto section = [&](std::int64_t valueSize, std::int64_t keyBytes) {  // value size, key count, keys
    ok = ok && take(4) == valueSize;
    skip(std::max<std::int64_t>(take(4), 0) * keyBytes);
  };
  bool head = take(4) == 0x7F7F7F79;
  take(2);
  const std::int64_t limbs = take(4);
  head = head && bytes.substr(std::min(at + 2, bytes.size())).starts_with(kSourceName + '\0');
  string(), string();
  for (std::int64_t i = 0; i < limbs && ok; ++i) string(), section(16, 20);
  const std::int64_t marker = take(4);
  ok = ok && (marker == 0 || marker == 4);
  for (std::int64_t valueSize : {4, 4, 4, 16}) if (marker == 4) section(valueSize, valueSize == 4 ? 8 : 20);
  return head && ok && at == bytes.size();
}

// The image list ends with its summary line, whose count agrees with the plural.
bool images_summed(std::string_view text) {
  constexpr std::string_view kTail = " (followed by usage count)\n";
  if (!text.ends_with(kTail)) return false;
  text.remove_suffix(kTail.size());
  std::string_view line = text.substr(text.rfind('\n') + 1);  // npos + 1 == 0
  std::size_t digits = line.find_first_not_of("0123456789", 2);
  return line.starts_with("  ") && digits != 2 && digits != npos &&
         line.substr(digits) == (std::stol(std::string(line.substr(2, digits - 2))) > 1 ? " images" : " image");
}

}  // namespace

ModeRun run_mode(CarriedState& carried, char mode, Bytes buffer) {
  OutStream console = out_memory(StreamMode::Binary);
  OutStream out = out_memory(mode == 'A' ? StreamMode::Binary : StreamMode::Text);
  switch (mode) {
    case 'R': carried = write_rwx_conversion(carried, out, console, kSourceName, {buffer.begin(), buffer.end()}); break;
    case 'A': export_animation(out, console, kSourceName, buffer); break;
    case 'D': dump_chunks(buffer, out, console); break;
    case 'H': list_chunk_types(buffer, console); break;
    case 'I': list_images(buffer, console); break;
  }
  return {mode, out_contents(out), out_contents(console)};
}

std::vector<std::string> check_run(const ModeRun& run, Bytes buffer) {
  std::vector<std::string> problems;
  auto expect = [&](bool sound, const std::string& what) {
    if (!sound) problems.push_back(std::string("mode ") + run.mode + ": " + what);
  };
  const std::string_view out = run.out, console = run.console;
  if (run.mode == 'R') {
    expect(out.starts_with("#####  Facetor6:      V6.00.601\r\n#####  Source File:   " + kSourceName +
                           "\r\nModelBegin\r\n") && out.ends_with("ModelEnd\r\n"), "RWX frame broken");
    for (std::string block : {"Clump", "Proto", "Transform"})
      expect(count_lines(out, block + "Begin") == count_lines(out, block + "End"), "unbalanced " + block + "Begin/End");
    expect(!refused(buffer) || (out.find("Proto") == npos && console.starts_with(kSourceName + ": ")),
           "refused file converted to more than an empty model with its warning");
  } else if (refused(buffer)) {
    expect(out.empty() && (console == "File specified is not correctly formatted COB file" ||
                           console == "This program only supports Binary format COB files"),
           "refused file gave more than its one header message");
  } else if (run.mode == 'A') {
    expect(sequence_parses(out), "sequence file does not parse as its counts say");
  } else if (run.mode == 'D') {
    expect(out.ends_with("\r\n") && out.find("\r\n\r\n") != npos, "dump without its closing tally");
  } else if (run.mode == 'H') {
    expect((buffer.size() >= 52) != console.empty() && (buffer.size() < 52 || console.ends_with('\n')),
           "chunk type listing does not match the chunks present");
  } else if (run.mode == 'I') {
    expect(images_summed(console), "image list without a consistent summary line");
  }
  return problems;
}

std::vector<std::string> run_and_check(Bytes buffer, Bytes follow) {
  std::vector<std::string> problems;
  for (char mode : {'R', 'A', 'D', 'H', 'I'}) {
    CarriedState carried;
    for (std::string& problem : check_run(run_mode(carried, mode, buffer), buffer)) problems.push_back(problem);
    if (mode != 'R') continue;
    for (std::string& problem : check_run(run_mode(carried, 'R', follow), follow)) problems.push_back("next: " + problem);
  }
  return problems;
}

std::vector<std::string> run_fuzz_input(char mode, Bytes input) {
  // Each file in a buffer of exactly its size, so that any read past it is caught.
  std::string_view text(reinterpret_cast<const char*>(input.data()), input.size());
  std::size_t at = mode == '2' ? std::min(text.find(kPairSeparator), text.size()) : text.size();
  std::vector<std::uint8_t> first(input.begin(), input.begin() + at);
  CarriedState carried;
  if (mode != '2') return check_run(run_mode(carried, mode, first), first);
  const std::vector<std::uint8_t> second =
      at == text.size() ? first : std::vector<std::uint8_t>(input.begin() + at + kPairSeparator.size(), input.end());
  return run_and_check(first, second);
}

void for_each_damage(Bytes original, int shard, int shards, const DamageVisit& visit) {
  long number = 0;
  for (std::size_t length = 0; length <= original.size(); ++length)
    if (number++ % shards == shard)
      visit({original.begin(), original.begin() + length}, "prefix " + std::to_string(length));
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

std::vector<std::uint8_t> data_file(const std::string& path) {
  const std::string text = test::read_file(FACETOR_FUZZ_DIR "/" + path);
  return {text.begin(), text.end()};
}

}  // namespace facetor::fuzz
