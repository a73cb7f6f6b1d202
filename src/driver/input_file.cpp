#include "driver/input_file.h"

#include <cerrno>
#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <sys/types.h>

#ifdef _WIN32
#include <io.h>

#include "io/native_name.h"
#else
#include <unistd.h>
#endif

namespace facetor {
namespace {

#ifdef _WIN32
// Windows: open in binary mode, so that no byte is translated and a 0x1A byte
// does not end the read. A named pipe has no name in the file system here, so
// opening one by name cannot wait for a writer.
int open_descriptor(const std::string& name) {
  return ::_wopen(native_name(name).c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
}
int close_descriptor(int descriptor) { return ::_close(descriptor); }
long long read_descriptor(int descriptor, std::uint8_t* data, std::size_t size) {
  const unsigned piece = static_cast<unsigned>(std::min<std::size_t>(size, 1u << 30));
  return ::_read(descriptor, data, piece);
}
using Status = struct ::_stat64;
int status_of(int descriptor, Status& status) { return ::_fstat64(descriptor, &status); }
bool is_regular(const Status& status) { return (status.st_mode & _S_IFMT) == _S_IFREG; }
#else
// POSIX: non-blocking, so that opening a named pipe does not wait for a
// writer (the regular-file check then refuses it).
int open_descriptor(const std::string& name) { return ::open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC); }
int close_descriptor(int descriptor) { return ::close(descriptor); }
long long read_descriptor(int descriptor, std::uint8_t* data, std::size_t size) {
  return ::read(descriptor, data, size);
}
using Status = struct ::stat;
int status_of(int descriptor, Status& status) { return ::fstat(descriptor, &status); }
bool is_regular(const Status& status) { return S_ISREG(status.st_mode); }
#endif

}  // namespace

InputFile::~InputFile() { close_input(*this); }

void close_input(InputFile& file) {
  if (file.descriptor >= 0) close_descriptor(file.descriptor);
  file.descriptor = -1;
}

bool open_input(InputFile& file, const std::string& name, std::string* reason) {
  close_input(file);
  const int descriptor = open_descriptor(name);
  if (descriptor < 0) {
    if (reason != nullptr) *reason = std::strerror(errno);
    return false;
  }
  file.descriptor = descriptor;
  Status status{};
  if (status_of(descriptor, status) != 0 || !is_regular(status)) {
    if (reason != nullptr) *reason = "not a regular file";
    close_input(file);
    return false;
  }
  return true;
}

InputRead read_input(InputFile& file, std::vector<std::uint8_t>& buffer) {
  buffer.clear();
  Status status{};
  if (file.descriptor < 0 || status_of(file.descriptor, status) != 0) return InputRead::Short;
  if (status.st_size > std::numeric_limits<std::int32_t>::max()) {
    close_input(file);
    return InputRead::TooLarge;
  }
  buffer.assign(static_cast<std::size_t>(status.st_size), 0);
  std::size_t done = 0;
  while (done < buffer.size()) {
    const long long got = read_descriptor(file.descriptor, buffer.data() + done, buffer.size() - done);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    done += static_cast<std::size_t>(got);
  }
  close_input(file);
  return done == buffer.size() ? InputRead::Complete : InputRead::Short;
}

}  // namespace facetor
