// The few operating-system operations the program needs, behind one seam:
// platform_posix.cpp and platform_windows.cpp implement them. Names travel
// through the program as UTF-8 bytes; files are read and written in binary
// mode everywhere, so that no byte is translated.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace facetor::platform {

// Reading a whole file through a descriptor.

// Opens name for reading in binary mode. A named pipe is opened without
// waiting for a writer (the regular-file check then refuses it).
// Returns -1, errno set, on failure.
int open_for_reading(const std::string& name);

// Which file a name or descriptor reaches, whatever the name: two names of
// one file (the same name, a hard link, a symbolic link, another spelling on
// a system that ignores case) have the same identity. Device and inode on
// POSIX, volume serial number and file index on Windows.
struct FileIdentity {
  bool known = false;  // false where the system did not tell
  std::uint64_t volume = 0;
  std::uint64_t index = 0;
};

// True when both identities are known and name the same file.
bool same_file(const FileIdentity& a, const FileIdentity& b);

struct FileStatus {
  bool regular = false;    // a regular file: not a folder, pipe or device
  bool directory = false;  // a folder
  std::int64_t size = 0;   // its length in bytes
  FileIdentity identity;
};

// False when the status of the open descriptor cannot be read.
bool status_of(int descriptor, FileStatus& status);

// The status of the file that path names (the file a symbolic link points
// at). False, errno set, when there is none or it cannot be read.
bool status_of_path(const std::string& path, FileStatus& status);

// Reads up to size bytes; the count read, 0 at the end, negative (errno
// set) on error.
long long read_some(int descriptor, std::uint8_t* data, std::size_t size);

void close_descriptor(int descriptor);

// Files named by path, for replacing an output file.

// True when path names a regular file (following symbolic links) or
// nothing; absent tells which.
bool is_regular_or_absent(const std::string& path, bool& absent);

// The file a symbolic link points at (path itself when it is no link).
// False for a dangling link.
bool resolve_link(const std::string& path, std::string& resolved);

// True when the file at path may be written.
bool writable(const std::string& path);

// Creates path, which must not exist yet, for writing and update in binary
// mode. Returns nullptr, errno set (EEXIST when it exists), on failure.
std::FILE* create_new(const std::string& path);

// Gives the file named to the permissions of the file named from (where the
// system has such permissions).
void copy_permissions(const std::string& from, const std::string& to);

// Opens path for writing and update in binary mode ("w+b"), truncating it.
std::FILE* open_directly(const std::string& path);

// Renames from to to, replacing a file named to.
bool replace_file(const std::string& from, const std::string& to);

// Starts writing the data of an open file out to its device, without waiting
// for it, where the system offers that (Linux); elsewhere does nothing.
void start_writing_out(std::FILE* file);

// Removes a file; it allocates nothing, as it also runs while a failed
// allocation unwinds.
void remove_file(const std::string& path);

// Memory for large arrays: whole pages straight from the system.

// True where map_pages gives memory (Linux, WebAssembly); elsewhere large
// arrays come from the ordinary heap.
bool pages_available();

// The size of a huge page: on Linux map_pages starts every block on a
// multiple of it.
inline constexpr std::size_t kHugePage = std::size_t{2} << 20;

// The unit of the sizes given to map_pages and unmap_pages: a huge page on
// Linux, WebAssembly's page of 64 KB, 1 where the system gives no pages.
std::size_t page_unit();

// Fresh pages of size bytes (read as zero until written), starting on a
// multiple of kHugePage, for which the system is asked for transparent huge
// pages: touching them then costs one page fault per 2 MB instead of one per
// 4 KB, and fewer misses of the address translation cache. In WebAssembly a
// block is memory given back earlier where some fits (its contents unset),
// otherwise fresh memory from the top. nullptr when the system has no memory
// to give.
void* map_pages(std::size_t size);

// Returns size bytes from data on (a whole block or a part of one, on
// page boundaries) to the system.
void unmap_pages(void* data, std::size_t size);

// Moves the pages of size bytes from `from` on (whole pages of a block, their
// contents with them) to `to`, in place of what lay there, without touching
// them again: pages written once serve another block. False where the system
// cannot move pages; both ranges are then as they were.
bool move_pages(void* from, std::size_t size, void* to);

// True where move_pages can move pages (Linux).
bool can_move_pages();

// The process.

// The system's own spelling of a request for help ("/?" on Windows); empty
// where there is none.
const char* system_help_option();

// Standard input, output and error carry bytes as they are.
void set_binary_standard_streams();

// The program's parameters (without its own name), in UTF-8.
std::vector<std::string> program_arguments(int argc, char** argv);

}  // namespace facetor::platform
