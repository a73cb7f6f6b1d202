// The operating-system seam on Windows. Files are opened by UTF-16 names, so
// that a name outside the ANSI code page (модель.cob, 模型.cob) opens whatever
// that code page is.
#ifdef _WIN32
#include "io/platform.h"

#include <algorithm>
#include <cerrno>
#include <iterator>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <windows.h>
// After windows.h: the shell's argument splitter.
#include <shellapi.h>

namespace facetor::platform {
namespace {

// Writes the UTF-16 form of a name into out (capacity units; with 0 it only
// counts them) and returns its length, 0 on failure: read as UTF-8, or where
// it is no valid UTF-8 (a name typed in the ANSI code page), in the ANSI code
// page.
int convert_name(const std::string& name, wchar_t* out, int capacity) {
  const int length = static_cast<int>(name.size());
  const int size = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, name.data(), length, out, capacity);
  return size != 0 ? size : ::MultiByteToWideChar(CP_ACP, 0, name.data(), length, out, capacity);
}

std::wstring native_name(const std::string& name) {
  if (name.empty()) return {};
  std::wstring wide(static_cast<std::size_t>(convert_name(name, nullptr, 0)), L'\0');
  convert_name(name, wide.data(), static_cast<int>(wide.size()));
  return wide;
}

// A UTF-16 text (a command-line argument) as UTF-8.
std::string utf8_from_native(const wchar_t* text) {
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1) return {};
  std::string utf8(static_cast<std::size_t>(size), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8.data(), size, nullptr, nullptr);
  utf8.pop_back();  // the terminating NUL
  return utf8;
}

FileStatus status_from(const struct ::_stat64& system) {
  FileStatus status;
  status.regular = (system.st_mode & _S_IFMT) == _S_IFREG;
  status.directory = (system.st_mode & _S_IFMT) == _S_IFDIR;
  status.size = static_cast<std::int64_t>(system.st_size);
  return status;
}

// Unknown for what has no file index (a pipe, a console, the NUL device).
FileIdentity identity_of(HANDLE handle) {
  BY_HANDLE_FILE_INFORMATION information{};
  if (handle == INVALID_HANDLE_VALUE || !::GetFileInformationByHandle(handle, &information)) return {};
  return {true, information.dwVolumeSerialNumber,
          (std::uint64_t{information.nFileIndexHigh} << 32) | information.nFileIndexLow};
}

}  // namespace

bool same_file(const FileIdentity& a, const FileIdentity& b) {
  return a.known && b.known && a.volume == b.volume && a.index == b.index;
}

// Binary mode, so that no byte is translated and a 0x1A byte does not end
// the read. A named pipe has no name in the file system here, so opening one
// by name cannot wait for a writer.
int open_for_reading(const std::string& name) {
  return ::_wopen(native_name(name).c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
}

bool status_of(int descriptor, FileStatus& status) {
  struct ::_stat64 system {};
  if (::_fstat64(descriptor, &system) != 0) return false;
  status = status_from(system);
  status.identity = identity_of(reinterpret_cast<HANDLE>(::_get_osfhandle(descriptor)));
  return true;
}

// The identity through a handle that asks for no access, so that a file
// open elsewhere, or a folder, still tells it.
bool status_of_path(const std::string& path, FileStatus& status) {
  const std::wstring name = native_name(path);
  struct ::_stat64 system {};
  if (::_wstat64(name.c_str(), &system) != 0) return false;
  status = status_from(system);
  const HANDLE handle = ::CreateFileW(name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                     OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle != INVALID_HANDLE_VALUE) {
    status.identity = identity_of(handle);
    ::CloseHandle(handle);
  }
  return true;
}

long long read_some(int descriptor, std::uint8_t* data, std::size_t size) {
  const unsigned piece = static_cast<unsigned>(std::min<std::size_t>(size, 1u << 30));
  return ::_read(descriptor, data, piece);
}

void close_descriptor(int descriptor) { ::_close(descriptor); }

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

bool writable(const std::string& path) { return ::_waccess(native_name(path).c_str(), 2) == 0; }

std::FILE* create_new(const std::string& path) {
  const int descriptor =
      ::_wopen(native_name(path).c_str(), _O_RDWR | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
  if (descriptor < 0) return nullptr;
  std::FILE* file = ::_fdopen(descriptor, "w+b");
  if (file == nullptr) ::_close(descriptor);
  return file;
}

void copy_permissions(const std::string&, const std::string&) {}

std::FILE* open_directly(const std::string& path) { return ::_wfopen(native_name(path).c_str(), L"w+b"); }

// std::rename does not replace an existing file on Windows.
bool replace_file(const std::string& from, const std::string& to) {
  return ::MoveFileExW(native_name(from).c_str(), native_name(to).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

// Allocates nothing: it also runs while a failed allocation unwinds. A name
// takes no more UTF-16 units than it has bytes, and no path the system can
// open is longer than the buffer (32,767 units).
void remove_file(const std::string& path) {
  static wchar_t wide[32768];
  if (path.empty() || path.size() >= std::size(wide)) return;
  const int size = convert_name(path, wide, static_cast<int>(std::size(wide)) - 1);
  if (size == 0) return;
  wide[size] = L'\0';
  ::_wremove(wide);
}

// The system writes the data out in its own time.
void start_writing_out(std::FILE*) {}

// Large arrays come from the ordinary heap.
bool pages_available() { return false; }
std::size_t page_unit() { return 1; }
void* map_pages(std::size_t) { return nullptr; }
void unmap_pages(void*, std::size_t) {}
bool move_pages(void*, std::size_t, void*) { return false; }
bool can_move_pages() { return false; }

// No CR LF translation, and a 0x1A byte typed or piped in does not end the
// input.
void set_binary_standard_streams() {
  ::_setmode(::_fileno(stdin), _O_BINARY);
  ::_setmode(::_fileno(stdout), _O_BINARY);
  ::_setmode(::_fileno(stderr), _O_BINARY);
}

const char* system_help_option() { return "/?"; }

// The arguments as typed, whatever the ANSI code page.
std::vector<std::string> program_arguments(int argc, char** argv) {
  std::vector<std::string> parameters(argv + (argc > 0 ? 1 : 0), argv + argc);
  int count = 0;
  if (wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count)) {
    parameters.clear();
    for (int i = 1; i < count; ++i) parameters.push_back(utf8_from_native(wide[i]));
    ::LocalFree(wide);
  }
  return parameters;
}

}  // namespace facetor::platform
#endif
