#include "io/out_stream.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "io/output_file.h"

namespace facetor {

// The narrow interface of the two sinks. Each call returns false on failure;
// the stream remembers it.
struct OutSink {
  virtual ~OutSink() = default;
  virtual bool write(std::string_view bytes) = 0;
  virtual bool flush() = 0;
  virtual bool rewind() = 0;
  // Ends the sink; complete is false when any earlier call failed.
  virtual bool finish(bool complete) = 0;
  virtual const std::string* memory() const { return nullptr; }
};

namespace {

constexpr std::size_t kFlushThreshold = 1 << 16;
// The pieces in which text-mode writes reach the sink.
constexpr std::size_t kTextPiece = 1 << 13;

// Bytes in one growing buffer; a rewind overwrites from the start and keeps
// what lies beyond the bytes written again.
struct MemorySink final : OutSink {
  std::string bytes;
  std::size_t position = 0;

  bool write(std::string_view data) override {
    const std::size_t overlap = std::min(data.size(), bytes.size() - position);
    bytes.replace(position, overlap, data);
    position += data.size();
    return true;
  }
  bool flush() override { return true; }
  bool rewind() override {
    position = 0;
    return true;
  }
  bool finish(bool) override { return true; }
  const std::string* memory() const override { return &bytes; }
};

// A file, written in pieces of kFlushThreshold bytes. An owned file is
// opened by name (possibly as a temporary file that replaces the named one
// when complete); an unowned one (standard output) is only flushed.
struct FileSink final : OutSink {
  OutputFile output;
  bool owned = false;
  std::string pending;

  ~FileSink() override {
    if (output.file == nullptr) return;
    if (owned) {
      output_file_finish(output, false);
    } else {
      flush();
    }
  }
  // Bytes that would take the pending ones past kFlushThreshold go to the
  // file after them as they are, without a copy.
  bool write(std::string_view data) override {
    if (pending.size() + data.size() < kFlushThreshold) {
      pending.append(data);
      return true;
    }
    const bool flushed = flush();
    return put(data) && flushed;
  }
  bool flush() override {
    const bool ok = put(pending);
    pending.clear();
    return ok;
  }
  bool put(std::string_view data) {
    const bool ok = data.empty() || std::fwrite(data.data(), 1, data.size(), output.file) == data.size();
    const bool flushed = std::fflush(output.file) == 0;
    if (ok && flushed) output_file_wrote(output, data.size());
    return flushed && ok;
  }
  bool rewind() override { return flush() && std::fseek(output.file, 0, SEEK_SET) == 0; }
  bool finish(bool complete) override {
    const bool flushed = flush();
    if (!owned) {
      output.file = nullptr;
      return flushed;
    }
    return output_file_finish(output, complete && flushed) && flushed;
  }
};

// Every call on the sink goes through here: a closed stream takes nothing.
template <typename Call>
void on_sink(OutStream& stream, Call call) {
  if (!stream.open) {
    stream.failed = true;
    return;
  }
  if (!call(*stream.sink)) stream.failed = true;
}

void write_raw(OutStream& stream, const char* data, std::size_t size) {
  if (size == 0) return;
  on_sink(stream, [&](OutSink& sink) { return sink.write(std::string_view(data, size)); });
}

}  // namespace

OutStream::OutStream() = default;
OutStream::OutStream(OutStream&& other) noexcept { *this = std::move(other); }

OutStream& OutStream::operator=(OutStream&& other) noexcept {
  if (this != &other) {
    mode = other.mode;
    sink = std::move(other.sink);
    open = std::exchange(other.open, false);
    failed = other.failed;
    lineEnded = other.lineEnded;
  }
  return *this;
}

OutStream::~OutStream() = default;

OutStream out_memory(StreamMode mode) {
  OutStream stream;
  stream.mode = mode;
  stream.sink = std::make_unique<MemorySink>();
  stream.open = true;
  return stream;
}

bool out_open_file(OutStream& stream, const std::string& path, StreamMode mode) {
  auto sink = std::make_unique<FileSink>();
  stream = OutStream{};
  stream.mode = mode;
  sink->owned = true;  // set first: a failure inside the open still removes its temporary file
  if (!output_file_open(sink->output, path)) return false;
  stream.sink = std::move(sink);
  stream.open = true;
  return true;
}

OutStream out_on_file(std::FILE* file, StreamMode mode) {
  auto sink = std::make_unique<FileSink>();
  sink->output.file = file;
  OutStream stream;
  stream.mode = mode;
  stream.sink = std::move(sink);
  stream.open = true;
  return stream;
}

void out_write(OutStream& stream, std::string_view bytes) {
  if (stream.mode == StreamMode::Binary) {
    out_write_as_written(stream, bytes);
    return;
  }
  if (!bytes.empty()) stream.lineEnded = bytes.back() == '\n';
  // Text mode: every line feed goes out as carriage return and line feed.
  // The translated text is gathered in pieces, so that the sink takes one
  // call per piece rather than two per line.
  char piece[kTextPiece];
  std::size_t used = 0;
  auto add = [&](const char* data, std::size_t size) {
    if (used + size > sizeof piece) {
      write_raw(stream, piece, used);
      used = 0;
    }
    if (size > sizeof piece) {
      write_raw(stream, data, size);
      return;
    }
    std::memcpy(piece + used, data, size);
    used += size;
  };
  while (!bytes.empty()) {
    const void* found = std::memchr(bytes.data(), '\n', bytes.size());
    if (found == nullptr) {
      add(bytes.data(), bytes.size());
      break;
    }
    const std::size_t at = static_cast<const char*>(found) - bytes.data();
    add(bytes.data(), at);
    add("\r\n", 2);
    bytes.remove_prefix(at + 1);
  }
  write_raw(stream, piece, used);
}

std::string_view out_line_end(const OutStream& stream) { return stream.mode == StreamMode::Text ? "\r\n" : "\n"; }

void out_write_as_written(OutStream& stream, std::string_view bytes) {
  if (!bytes.empty()) stream.lineEnded = bytes.back() == '\n';
  write_raw(stream, bytes.data(), bytes.size());
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
  on_sink(stream, [](OutSink& sink) { return sink.flush(); });
}

void out_rewind(OutStream& stream) {
  on_sink(stream, [](OutSink& sink) { return sink.rewind(); });
}

bool out_close(OutStream& stream) {
  if (stream.open) {
    if (!stream.sink->finish(!stream.failed)) stream.failed = true;
    stream.open = false;
  }
  return !stream.failed;
}

const std::string& out_contents(const OutStream& stream) {
  static const std::string kNone;
  const std::string* bytes = stream.sink ? stream.sink->memory() : nullptr;
  return bytes != nullptr ? *bytes : kNone;
}

std::size_t out_memory_size(const OutStream& stream) { return out_contents(stream).size(); }

}  // namespace facetor
