#include "io/output_file.h"

#include <cerrno>
#include <chrono>
#include <cstdint>

#include "io/platform.h"

namespace facetor {
namespace {

// A new file beside target, named after it: "folder/.name.<n>.tmp".
std::FILE* create_temporary(const std::string& target, std::string& name) {
  const std::size_t slash = target.find_last_of("/\\");
  const std::size_t base = slash == std::string::npos ? 0 : slash + 1;
  auto seed = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  for (int attempt = 0; attempt < 16; ++attempt) {
    seed = seed * 6364136223846793005u + 1442695040888963407u;
    name = target.substr(0, base) + "." + target.substr(base) + "." + std::to_string(seed >> 40) + ".tmp";
    if (std::FILE* file = platform::create_new(name)) return file;
    if (errno != EEXIST) break;
  }
  name.clear();
  return nullptr;
}

}  // namespace

bool output_file_open(OutputFile& output, const std::string& path) {
  output = OutputFile{};
  bool absent = false;
  std::string target;
  // A file that may not be written is not replaced either: the direct open
  // below then fails.
  if (platform::is_regular_or_absent(path, absent) && platform::resolve_link(path, target) &&
      (absent || platform::writable(target))) {
    if (std::FILE* file = create_temporary(target, output.temporary)) {
      // From here on the stream's owner removes the temporary file, also when
      // an allocation below fails.
      output.file = file;
      output.target = std::move(target);
      output.replacing = !absent;
      if (!absent) platform::copy_permissions(output.target, output.temporary);
      return true;
    }
  }
  output.file = platform::open_directly(path);
  return output.file != nullptr;
}

void output_file_wrote(OutputFile& output, std::size_t bytes) {
  constexpr std::size_t kWriteOutStep = std::size_t{8} << 20;
  if (!output.replacing) return;
  output.unsent += bytes;
  if (output.unsent < kWriteOutStep) return;
  platform::start_writing_out(output.file);
  output.unsent = 0;
}

bool output_file_finish(OutputFile& output, bool complete) {
  bool ok = true;
  if (output.file != nullptr && std::fclose(output.file) != 0) ok = false;
  output.file = nullptr;
  if (!output.temporary.empty()) {
    if (ok && complete && !platform::replace_file(output.temporary, output.target)) ok = false;
    if (!ok || !complete) platform::remove_file(output.temporary);
    output.temporary.clear();
  }
  return ok;
}

}  // namespace facetor
