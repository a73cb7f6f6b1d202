// The output stream through which every writer and every screen listing goes.
//
// One stream type with two sinks behind one narrow interface: a file or
// memory. The stream keeps its own buffer, can rewind to its start (the
// sequence writer rewrites its header), and remembers whether any write,
// flush or close failed. Once closed, a stream accepts no more bytes: a later
// write is a failure that changes nothing.
//
// A file opened by name is replaced only when complete: the bytes go to a
// temporary file beside it, which takes the file's name when the stream
// closes without any failure and is removed otherwise, so a failed run leaves
// an earlier file as it was.
//
// Text mode ("w+") writes every "\n" byte as "\r\n", as a text-mode stream
// does on the systems the file formats come from; binary mode ("w+b") writes
// bytes as they are.
#pragma once

#include <cstdarg>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// Checks printf-style arguments against their format. MinGW's plain "printf"
// means the Microsoft runtime's rules; our formatting follows the C99 rules
// (its standard library is built with them there), which "gnu_printf" names.
#if defined(__MINGW32__)
#define FACETOR_PRINTF_FORMAT(formatAt, firstAt) __attribute__((format(gnu_printf, formatAt, firstAt)))
#elif defined(__GNUC__) || defined(__clang__)
#define FACETOR_PRINTF_FORMAT(formatAt, firstAt) __attribute__((format(printf, formatAt, firstAt)))
#else
#define FACETOR_PRINTF_FORMAT(formatAt, firstAt)
#endif

namespace facetor {

enum class StreamMode { Binary, Text };

// Where the bytes of a stream go (a file or memory); defined with the stream.
struct OutSink;

struct OutStream {
  StreamMode mode = StreamMode::Binary;
  std::unique_ptr<OutSink> sink;
  bool open = false;      // false once closed (or before any sink was set)
  bool failed = false;    // a write, flush or close failed
  bool lineEnded = true;  // the last byte written was a line end, or nothing was written

  OutStream();
  OutStream(const OutStream&) = delete;
  OutStream& operator=(const OutStream&) = delete;
  // The stream given up or destroyed unclosed is finished as by a failure:
  // a file being replaced keeps its earlier content.
  OutStream(OutStream&& other) noexcept;
  OutStream& operator=(OutStream&& other) noexcept;
  ~OutStream();
};

// A stream that collects its bytes in memory.
OutStream out_memory(StreamMode mode);

// Opens a file for writing and update. Where the name is a regular file or
// absent, the bytes go to a temporary file in the same folder, which replaces
// the named file (the file a symbolic link points at) on a successful close.
// Where no temporary file can be made there (a read-only folder), and where
// the name is not a regular file (a device, a pipe), the named file is
// written directly. Returns false, with errno set, when the file cannot be
// opened; the stream is then closed.
bool out_open_file(OutStream& stream, const std::string& path, StreamMode mode);

// A stream on an already open file that it does not close (standard output).
OutStream out_on_file(std::FILE* file, StreamMode mode);

void out_write(OutStream& stream, std::string_view bytes);

// The line end the stream writes for "\n": "\r\n" in text mode.
std::string_view out_line_end(const OutStream& stream);

// Writes bytes as they are: text whose line ends are out_line_end's.
void out_write_as_written(OutStream& stream, std::string_view bytes);
void out_put(OutStream& stream, char c);
void out_printf(OutStream& stream, const char* format, ...) FACETOR_PRINTF_FORMAT(2, 3);
void out_vprintf(OutStream& stream, const char* format, std::va_list args);

// Hands buffered bytes to the file (a no-op in memory).
void out_flush(OutStream& stream);

// Moves the write position back to the start; later writes overwrite.
void out_rewind(OutStream& stream);

// Flushes and closes the stream: a file being replaced takes its name now,
// unless something failed. Returns true when no write, flush, close or
// rename of this stream ever failed. Memory keeps its contents.
bool out_close(OutStream& stream);

// Everything written to a memory stream (empty for a file).
const std::string& out_contents(const OutStream& stream);

// The number of bytes a memory stream holds.
std::size_t out_memory_size(const OutStream& stream);

}  // namespace facetor
