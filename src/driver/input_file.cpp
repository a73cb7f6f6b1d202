#include "driver/input_file.h"

#include <cerrno>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

namespace facetor {

InputFile::~InputFile() { close_input(*this); }

void close_input(InputFile& file) {
  if (file.descriptor >= 0) ::close(file.descriptor);
  file.descriptor = -1;
}

bool open_input(InputFile& file, const std::string& name) {
  close_input(file);
  // Non-blocking, so that opening a named pipe does not wait for a writer.
  const int descriptor = ::open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (descriptor < 0) return false;
  file.descriptor = descriptor;
  struct stat status {};
  if (::fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
    close_input(file);
    return false;
  }
  return true;
}

InputRead read_input(InputFile& file, std::vector<std::uint8_t>& buffer) {
  buffer.clear();
  struct stat status {};
  if (file.descriptor < 0 || ::fstat(file.descriptor, &status) != 0) return InputRead::Short;
  if (status.st_size > std::numeric_limits<std::int32_t>::max()) {
    close_input(file);
    return InputRead::TooLarge;
  }
  buffer.assign(static_cast<std::size_t>(status.st_size), 0);
  std::size_t done = 0;
  while (done < buffer.size()) {
    const ssize_t got = ::read(file.descriptor, buffer.data() + done, buffer.size() - done);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    done += static_cast<std::size_t>(got);
  }
  close_input(file);
  return done == buffer.size() ? InputRead::Complete : InputRead::Short;
}

}  // namespace facetor
