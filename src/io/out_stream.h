// The output stream through which every writer and every screen listing goes.
//
// An OutStream writes either to a file or to memory. It keeps its own buffer,
// can rewind to its start (the sequence writer rewrites its header), and
// remembers whether any write, flush or close failed.
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

struct OutStream {
  StreamMode mode = StreamMode::Binary;
  std::FILE* file = nullptr;  // null: the stream writes to memory
  bool ownsFile = false;
  std::string pending;        // file: bytes not yet handed to the file
  // Memory: fixed-size blocks, so a large output is never copied to grow.
  std::vector<std::unique_ptr<char[]>> blocks;
  std::size_t extent = 0;     // memory: bytes written (the highest position reached)
  std::size_t position = 0;   // memory: where the next byte goes
  mutable std::string joined; // memory: the blocks joined, made on request
  mutable bool joinedValid = true;
  bool failed = false;

  OutStream() = default;
  OutStream(const OutStream&) = delete;
  OutStream& operator=(const OutStream&) = delete;
  OutStream(OutStream&& other) noexcept;
  OutStream& operator=(OutStream&& other) noexcept;
  ~OutStream();
};

// A stream that collects its bytes in memory.
OutStream out_memory(StreamMode mode);

// Opens (creates or truncates) a file for writing and update. Returns false
// when the file cannot be opened; the stream is then unusable.
bool out_open_file(OutStream& stream, const std::string& path, StreamMode mode);

// A stream on an already open file that it does not close (standard output).
OutStream out_on_file(std::FILE* file, StreamMode mode);

void out_write(OutStream& stream, std::string_view bytes);
void out_put(OutStream& stream, char c);
void out_printf(OutStream& stream, const char* format, ...) FACETOR_PRINTF_FORMAT(2, 3);
void out_vprintf(OutStream& stream, const char* format, std::va_list args);

// Hands buffered bytes to the file (a no-op in memory).
void out_flush(OutStream& stream);

// Moves the write position back to the start; later writes overwrite.
void out_rewind(OutStream& stream);

// Flushes and closes the file (if the stream owns one). Returns true when no
// write, flush or close of this stream ever failed.
bool out_close(OutStream& stream);

// Everything written to a memory stream.
const std::string& out_contents(const OutStream& stream);

// The number of bytes a memory stream holds, without joining them.
std::size_t out_memory_size(const OutStream& stream);

}  // namespace facetor
