#include "io/output_file.h"

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>

#ifdef _WIN32
#include <io.h>
#include <windows.h>

#include "io/native_name.h"
#else
#include <climits>
#include <cstdlib>
#include <unistd.h>
#endif

namespace facetor {
namespace {

#ifdef _WIN32
bool is_regular_or_absent(const std::string& path, bool& absent) {
  struct ::_stat64 status {};
  absent = ::_wstat64(native_name(path).c_str(), &status) != 0 && errno == ENOENT;
  return absent || (status.st_mode & _S_IFMT) == _S_IFREG;
}

// Symbolic links are rare on Windows and need privileges to make: the name
// is used as given.
bool resolve_link(const std::string& path, std::string& resolved) {
  resolved = path;
  return true;
}

std::FILE* create_new(const std::string& path) {
  const int descriptor =
      ::_wopen(native_name(path).c_str(), _O_RDWR | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
  if (descriptor < 0) return nullptr;
  std::FILE* file = ::_fdopen(descriptor, "w+b");
  if (file == nullptr) ::_close(descriptor);
  return file;
}

void copy_permissions(const std::string&, const std::string&) {}

bool writable(const std::string& path) { return ::_waccess(native_name(path).c_str(), 2) == 0; }

// std::rename does not replace an existing file on Windows.
bool replace_file(const std::string& from, const std::string& to) {
  return ::MoveFileExW(native_name(from).c_str(), native_name(to).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

std::FILE* open_directly(const std::string& path) { return ::_wfopen(native_name(path).c_str(), L"w+b"); }
void remove_file(const std::string& path) { ::_wremove(native_name(path).c_str()); }
#else
bool is_regular_or_absent(const std::string& path, bool& absent) {
  struct ::stat status {};
  absent = ::stat(path.c_str(), &status) != 0 && errno == ENOENT;
  return absent || S_ISREG(status.st_mode);
}

// The file a symbolic link points at, so that the file is replaced and the
// link stays. False for a dangling link (written directly: the link then
// makes its target, as before).
bool resolve_link(const std::string& path, std::string& resolved) {
  struct ::stat status {};
  if (::lstat(path.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) {
    resolved = path;
    return true;
  }
  char buffer[PATH_MAX];
  if (::realpath(path.c_str(), buffer) == nullptr) return false;
  resolved = buffer;
  return true;
}

std::FILE* create_new(const std::string& path) {
  const int descriptor = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (descriptor < 0) return nullptr;
  std::FILE* file = ::fdopen(descriptor, "w+b");
  if (file == nullptr) ::close(descriptor);
  return file;
}

// The replacement keeps the permissions of the file it replaces.
void copy_permissions(const std::string& from, const std::string& to) {
  struct ::stat status {};
  if (::stat(from.c_str(), &status) == 0) ::chmod(to.c_str(), status.st_mode & 07777);
}

bool replace_file(const std::string& from, const std::string& to) { return std::rename(from.c_str(), to.c_str()) == 0; }

bool writable(const std::string& path) { return ::access(path.c_str(), W_OK) == 0; }

std::FILE* open_directly(const std::string& path) { return std::fopen(path.c_str(), "w+b"); }
void remove_file(const std::string& path) { std::remove(path.c_str()); }
#endif

// A new file beside target, named after it: "folder/.name.<n>.tmp".
std::FILE* create_temporary(const std::string& target, std::string& name) {
  const std::size_t slash = target.find_last_of("/\\");
  const std::size_t base = slash == std::string::npos ? 0 : slash + 1;
  auto seed = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  for (int attempt = 0; attempt < 16; ++attempt) {
    seed = seed * 6364136223846793005u + 1442695040888963407u;
    name = target.substr(0, base) + "." + target.substr(base) + "." + std::to_string(seed >> 40) + ".tmp";
    if (std::FILE* file = create_new(name)) return file;
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
  // below then fails as it always did.
  if (is_regular_or_absent(path, absent) && resolve_link(path, target) && (absent || writable(target))) {
    if (std::FILE* file = create_temporary(target, output.temporary)) {
      if (!absent) copy_permissions(target, output.temporary);
      output.file = file;
      output.target = target;
      return true;
    }
  }
  output.file = open_directly(path);
  return output.file != nullptr;
}

bool output_file_finish(OutputFile& output, bool complete) {
  bool ok = true;
  if (output.file != nullptr && std::fclose(output.file) != 0) ok = false;
  output.file = nullptr;
  if (!output.temporary.empty()) {
    if (ok && complete && !replace_file(output.temporary, output.target)) ok = false;
    if (!ok || !complete) remove_file(output.temporary);
    output.temporary.clear();
  }
  return ok;
}

}  // namespace facetor
