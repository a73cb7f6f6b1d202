// The operating-system seam on POSIX systems.
#ifndef _WIN32
#include "io/platform.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstdint>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

// Large arrays take mapped pages on Linux; under AddressSanitizer they stay
// on the heap, where the sanitizer guards their bounds.
#if defined(__SANITIZE_ADDRESS__)
#define FACETOR_MAPPED_PAGES 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define FACETOR_MAPPED_PAGES 0
#endif
#endif
#if !defined(FACETOR_MAPPED_PAGES) && defined(__linux__)
#define FACETOR_MAPPED_PAGES 1
#elif !defined(FACETOR_MAPPED_PAGES)
#define FACETOR_MAPPED_PAGES 0
#endif
#if FACETOR_MAPPED_PAGES
#include <sys/mman.h>
#endif

namespace facetor::platform {

// Non-blocking, so that opening a named pipe does not wait for a writer.
int open_for_reading(const std::string& name) { return ::open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC); }

namespace {

FileStatus status_from(const struct ::stat& system) {
  FileStatus status;
  status.regular = S_ISREG(system.st_mode);
  status.directory = S_ISDIR(system.st_mode);
  status.size = static_cast<std::int64_t>(system.st_size);
  status.identity = {true, static_cast<std::uint64_t>(system.st_dev), static_cast<std::uint64_t>(system.st_ino)};
  return status;
}

}  // namespace

bool same_file(const FileIdentity& a, const FileIdentity& b) {
  return a.known && b.known && a.volume == b.volume && a.index == b.index;
}

bool status_of(int descriptor, FileStatus& status) {
  struct ::stat system {};
  if (::fstat(descriptor, &system) != 0) return false;
  status = status_from(system);
  return true;
}

bool status_of_path(const std::string& path, FileStatus& status) {
  struct ::stat system {};
  if (::stat(path.c_str(), &system) != 0) return false;
  status = status_from(system);
  return true;
}

long long read_some(int descriptor, std::uint8_t* data, std::size_t size) { return ::read(descriptor, data, size); }

void close_descriptor(int descriptor) { ::close(descriptor); }

bool is_regular_or_absent(const std::string& path, bool& absent) {
  struct ::stat status {};
  absent = ::stat(path.c_str(), &status) != 0 && errno == ENOENT;
  return absent || S_ISREG(status.st_mode);
}

// The file a symbolic link points at, so that the file is replaced and the
// link stays. False for a dangling link (written directly: the link then
// makes its target).
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

bool writable(const std::string& path) { return ::access(path.c_str(), W_OK) == 0; }

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

std::FILE* open_directly(const std::string& path) { return std::fopen(path.c_str(), "w+b"); }

bool replace_file(const std::string& from, const std::string& to) { return std::rename(from.c_str(), to.c_str()) == 0; }

void remove_file(const std::string& path) { std::remove(path.c_str()); }

void start_writing_out(std::FILE* file) {
#if defined(__linux__) && !defined(__EMSCRIPTEN__)
  ::sync_file_range(::fileno(file), 0, 0, SYNC_FILE_RANGE_WRITE);
#else
  (void)file;
#endif
}

#if FACETOR_MAPPED_PAGES

bool pages_available() { return true; }

// A whole huge page: a block's last part short of one would take ordinary
// pages, and here the first touch of each costs about as much as clearing
// a few hundred KB of a huge page.
std::size_t page_unit() { return kHugePage; }

void* map_pages(std::size_t size) {
  // Room to move the start to a multiple of kHugePage; the slack is given back.
  const std::size_t mapped = size + kHugePage;
  void* data = ::mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (data == MAP_FAILED) return nullptr;
  auto* bytes = static_cast<std::uint8_t*>(data);
  const std::size_t head = (kHugePage - reinterpret_cast<std::uintptr_t>(bytes) % kHugePage) % kHugePage;
  if (head != 0) ::munmap(bytes, head);
  ::munmap(bytes + head + size, mapped - head - size);
  ::madvise(bytes + head, size, MADV_HUGEPAGE);  // a hint: without huge pages the block still works
  return bytes + head;
}

void unmap_pages(void* data, std::size_t size) { ::munmap(data, size); }

bool can_move_pages() { return true; }

bool move_pages(void* from, std::size_t size, void* to) {
  return ::mremap(from, size, size, MREMAP_MAYMOVE | MREMAP_FIXED, to) != MAP_FAILED;
}

#elif !defined(__EMSCRIPTEN__)  // WebAssembly: see platform_web_pages.cpp
bool pages_available() { return false; }
std::size_t page_unit() { return 1; }
void* map_pages(std::size_t) { return nullptr; }
void unmap_pages(void*, std::size_t) {}
bool move_pages(void*, std::size_t, void*) { return false; }
bool can_move_pages() { return false; }
#endif

void set_binary_standard_streams() {}

const char* system_help_option() { return ""; }

std::vector<std::string> program_arguments(int argc, char** argv) {
  return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

}  // namespace facetor::platform
#endif
