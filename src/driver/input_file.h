// The input file: opened once, checked to be a regular file, read whole into
// one buffer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "io/large_block.h"
#include "io/platform.h"

namespace facetor {

// An open input file; closed when it goes out of scope. Its status (length
// and identity) stays known once it is closed.
struct InputFile {
  int descriptor = -1;
  platform::FileStatus status;

  InputFile() = default;
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;
  ~InputFile();
};

// Opens a file for reading. Fails when it cannot be opened or is not a
// regular file (a directory, a pipe, a device): only a regular file has a
// length that can be read completely. The file is opened in binary mode on
// every system: no byte is translated. On failure, reason (when given) says
// why: "is a directory", "not a regular file" or the system's words.
bool open_input(InputFile& file, const std::string& name, std::string* reason = nullptr);

enum class InputRead {
  Complete,  // the buffer holds the whole file
  TooLarge,  // 2^31 bytes or more: the length does not fit a signed 32-bit count
  Short,     // the read delivered fewer bytes than the file's length
};

// Reads the whole file into buffer (exactly the file's length) and closes it.
// Throws std::bad_alloc when the buffer cannot be obtained.
InputRead read_input(InputFile& file, LargeVector<std::uint8_t>& buffer);

void close_input(InputFile& file);

}  // namespace facetor
