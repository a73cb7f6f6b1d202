#include "driver/input_file.h"

#include <cerrno>
#include <cstring>
#include <limits>

#include "io/platform.h"

namespace facetor {

InputFile::~InputFile() { close_input(*this); }

void close_input(InputFile& file) {
  if (file.descriptor >= 0) platform::close_descriptor(file.descriptor);
  file.descriptor = -1;
}

bool open_input(InputFile& file, const std::string& name, std::string* reason) {
  close_input(file);
  file.status = {};
  std::string why;
  const int descriptor = platform::open_for_reading(name);
  if (descriptor < 0) {
    why = std::strerror(errno);
    // Some systems refuse to open a folder at all.
    platform::FileStatus status;
    if (platform::status_of_path(name, status) && status.directory) why = "is a directory";
  } else {
    file.descriptor = descriptor;
    if (!platform::status_of(descriptor, file.status)) file.status = {};
    if (!file.status.regular) why = file.status.directory ? "is a directory" : "not a regular file";
  }
  if (why.empty()) return true;
  if (reason != nullptr) *reason = why;
  close_input(file);
  return false;
}

InputRead read_input(InputFile& file, LargeVector<std::uint8_t>& buffer) {
  buffer.clear();
  if (file.descriptor < 0) return InputRead::Short;
  if (file.status.size > std::numeric_limits<std::int32_t>::max()) {
    close_input(file);
    return InputRead::TooLarge;
  }
  buffer.resize(static_cast<std::size_t>(file.status.size));  // filled by the reads below
  std::size_t done = 0;
  while (done < buffer.size()) {
    const long long got = platform::read_some(file.descriptor, buffer.data() + done, buffer.size() - done);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    done += static_cast<std::size_t>(got);
  }
  close_input(file);
  return done == buffer.size() ? InputRead::Complete : InputRead::Short;
}

}  // namespace facetor
