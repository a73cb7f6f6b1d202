#include "io/out_stream.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <utility>
#include <vector>

namespace facetor {
namespace {

constexpr std::size_t kFlushThreshold = 1 << 16;
constexpr std::size_t kBlockSize = 1 << 20;
constexpr std::size_t kFirstBlockStart = 1 << 12;

// The first block starts at 4 KiB and doubles up to the full block size with
// the bytes written, so that short outputs (screen listings, small files) do
// not take a whole block each. Later blocks are full-size from the start, so a
// large output is copied only while its first block grows.
std::size_t first_block_capacity(std::size_t extent) {
  return std::min(kBlockSize, std::max(kFirstBlockStart, std::bit_ceil(extent)));
}

void grow_first_block(OutStream& stream, std::size_t end) {
  auto grown = std::make_unique_for_overwrite<char[]>(first_block_capacity(end));
  std::memcpy(grown.get(), stream.blocks[0].get(), std::min(stream.extent, kBlockSize));
  stream.blocks[0] = std::move(grown);
}

// Writes into the memory blocks at the current position, overwriting what a
// rewind left behind and adding blocks as needed.
void write_memory(OutStream& stream, const char* data, std::size_t size) {
  stream.joinedValid = false;
  while (size > 0) {
    const std::size_t block = stream.position / kBlockSize;
    const std::size_t offset = stream.position % kBlockSize;
    const std::size_t piece = std::min(size, kBlockSize - offset);
    if (block == stream.blocks.size()) {
      const std::size_t capacity = block == 0 ? first_block_capacity(offset + piece) : kBlockSize;
      stream.blocks.push_back(std::make_unique_for_overwrite<char[]>(capacity));
    } else if (block == 0 && offset + piece > first_block_capacity(stream.extent)) {
      grow_first_block(stream, offset + piece);
    }
    std::memcpy(stream.blocks[block].get() + offset, data, piece);
    stream.position += piece;
    data += piece;
    size -= piece;
  }
  stream.extent = std::max(stream.extent, stream.position);
}

void write_raw(OutStream& stream, const char* data, std::size_t size) {
  if (size == 0) return;
  if (stream.file == nullptr) {
    write_memory(stream, data, size);
    return;
  }
  stream.pending.append(data, size);
  if (stream.pending.size() >= kFlushThreshold) out_flush(stream);
}

}  // namespace

OutStream::OutStream(OutStream&& other) noexcept { *this = std::move(other); }

OutStream& OutStream::operator=(OutStream&& other) noexcept {
  if (this != &other) {
    // The stream given up is finished like one that goes out of scope.
    if (file != nullptr) {
      out_flush(*this);
      if (ownsFile) std::fclose(file);
    }
    mode = other.mode;
    file = std::exchange(other.file, nullptr);
    ownsFile = std::exchange(other.ownsFile, false);
    pending = std::move(other.pending);
    blocks = std::move(other.blocks);
    extent = other.extent;
    position = other.position;
    joined = std::move(other.joined);
    joinedValid = other.joinedValid;
    failed = other.failed;
  }
  return *this;
}

OutStream::~OutStream() {
  if (file != nullptr) {
    out_flush(*this);
    if (ownsFile) std::fclose(file);
  }
}

OutStream out_memory(StreamMode mode) {
  OutStream stream;
  stream.mode = mode;
  return stream;
}

bool out_open_file(OutStream& stream, const std::string& path, StreamMode mode) {
  std::FILE* file = std::fopen(path.c_str(), "w+b");
  if (file == nullptr) return false;
  stream = OutStream{};
  stream.mode = mode;
  stream.file = file;
  stream.ownsFile = true;
  return true;
}

OutStream out_on_file(std::FILE* file, StreamMode mode) {
  OutStream stream;
  stream.mode = mode;
  stream.file = file;
  stream.ownsFile = false;
  return stream;
}

void out_write(OutStream& stream, std::string_view bytes) {
  if (stream.mode == StreamMode::Binary) {
    write_raw(stream, bytes.data(), bytes.size());
    return;
  }
  // Text mode: every line feed goes out as carriage return and line feed.
  while (!bytes.empty()) {
    const void* found = std::memchr(bytes.data(), '\n', bytes.size());
    if (found == nullptr) {
      write_raw(stream, bytes.data(), bytes.size());
      return;
    }
    const std::size_t at = static_cast<const char*>(found) - bytes.data();
    write_raw(stream, bytes.data(), at);
    write_raw(stream, "\r\n", 2);
    bytes.remove_prefix(at + 1);
  }
}

void out_put(OutStream& stream, char c) { out_write(stream, std::string_view(&c, 1)); }

void out_vprintf(OutStream& stream, const char* format, std::va_list args) {
  char small[512];
  std::va_list copy;
  va_copy(copy, args);
  const int needed = std::vsnprintf(small, sizeof small, format, copy);
  va_end(copy);
  if (needed < 0) {
    stream.failed = true;
    return;
  }
  if (static_cast<std::size_t>(needed) < sizeof small) {
    out_write(stream, std::string_view(small, static_cast<std::size_t>(needed)));
    return;
  }
  std::vector<char> large(static_cast<std::size_t>(needed) + 1);
  std::vsnprintf(large.data(), large.size(), format, args);
  out_write(stream, std::string_view(large.data(), static_cast<std::size_t>(needed)));
}

void out_printf(OutStream& stream, const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  out_vprintf(stream, format, args);
  va_end(args);
}

void out_flush(OutStream& stream) {
  if (stream.file == nullptr) return;
  if (!stream.pending.empty()) {
    const std::size_t written = std::fwrite(stream.pending.data(), 1, stream.pending.size(), stream.file);
    if (written != stream.pending.size()) stream.failed = true;
    stream.pending.clear();
  }
  if (std::fflush(stream.file) != 0) stream.failed = true;
}

void out_rewind(OutStream& stream) {
  if (stream.file == nullptr) {
    stream.position = 0;
    return;
  }
  out_flush(stream);
  if (std::fseek(stream.file, 0, SEEK_SET) != 0) stream.failed = true;
}

bool out_close(OutStream& stream) {
  if (stream.file != nullptr) {
    out_flush(stream);
    if (stream.ownsFile && std::fclose(stream.file) != 0) stream.failed = true;
    stream.file = nullptr;
    stream.ownsFile = false;
  }
  return !stream.failed;
}

std::size_t out_memory_size(const OutStream& stream) { return stream.extent; }

const std::string& out_contents(const OutStream& stream) {
  if (!stream.joinedValid) {
    stream.joined.clear();
    stream.joined.reserve(stream.extent);
    for (std::size_t done = 0, block = 0; done < stream.extent; ++block) {
      const std::size_t piece = std::min(kBlockSize, stream.extent - done);
      stream.joined.append(stream.blocks[block].get(), piece);
      done += piece;
    }
    stream.joinedValid = true;
  }
  return stream.joined;
}

}  // namespace facetor
