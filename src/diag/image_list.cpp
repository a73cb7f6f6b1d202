// Mode I: the texture images that the materials of a file use, each once,
// with the number of texture map records that name it.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "diag/diagnostics.h"
#include "io/hash_table.h"

namespace facetor {
namespace {

// Map records start right after the fixed material fields.
constexpr std::int32_t kFirstMapRecord = 37;
// Only Mat1 chunks with more data than this have their records looked at.
constexpr std::int32_t kSmallestMaterialWithMaps = 44;

struct ImageUse {
  std::string name;  // as spelled at its first use
  std::int32_t uses = 0;
};

// The images in order of first use, with an index by the ASCII-lower-cased
// name so that each texture finds its entry in constant time.
struct ImageTable {
  std::vector<ImageUse> images;
  std::vector<std::string> keys;  // per image: its lower-cased name
  HashTable byName;               // lower-cased name -> image
};

std::string lower_ascii(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + ('a' - 'A'));
  }
  return text;
}

// The file name of a texture path: up to its first NUL, after the last '/' or '\'.
std::string image_name(const std::string& path) {
  const std::string used = path.substr(0, path.find('\0'));
  const std::size_t separator = used.find_last_of("/\\");
  return separator == std::string::npos ? used : used.substr(separator + 1);
}

void count_image(ImageTable& table, const std::string& name) {
  std::string key = lower_ascii(name);
  const std::uint64_t hash = hash_of_bytes(table.byName, key);
  std::int32_t at = hash_find(table.byName, hash,
                              [&](std::int32_t image) { return table.keys[static_cast<std::size_t>(image)] == key; });
  if (at < 0) {
    at = static_cast<std::int32_t>(table.images.size());
    table.images.push_back(ImageUse{name, 0});
    table.keys.push_back(std::move(key));
    hash_insert(table.byName, hash, at);
  }
  ++table.images[static_cast<std::size_t>(at)].uses;
}

// Walks the map records of one Mat1 chunk. Every record must have its head
// and its name inside the chunk's data (bounded by the buffer); a texture
// record whose placement does not fit is still counted, and ends the walk.
void scan_material(Bytes buffer, const ChunkAt& chunk, ImageTable& table) {
  const std::int64_t bufferEnd = static_cast<std::int64_t>(buffer.size());
  const auto limit = static_cast<std::int32_t>(std::min<std::int64_t>(
      static_cast<std::int64_t>(chunk.data) + chunk.header.size, bufferEnd));
  const std::int32_t size = chunk.header.size;
  std::int64_t d = kFirstMapRecord;
  do {
    if (chunk.data + d > limit) return;
    auto cursor = static_cast<std::int32_t>(chunk.data + d);
    std::uint8_t head[3];
    std::uint16_t rawLength = 0;
    if (!read_bytes(buffer, cursor, limit, head, 3) || !read_u16(buffer, cursor, limit, rawLength)) return;
    const auto length = static_cast<std::int16_t>(rawLength);
    if (length < 0) return;
    std::string path(static_cast<std::size_t>(length), '\0');
    if (!read_bytes(buffer, cursor, limit, reinterpret_cast<std::uint8_t*>(path.data()), length)) return;
    const char kind = static_cast<char>(head[0]);
    if (kind == 't') count_image(table, image_name(path));
    const std::int32_t placement = kind == 't' ? 16 : kind == 'b' ? 20 : 0;
    if (static_cast<std::int64_t>(cursor) + placement > limit) return;
    d += 5 + length + placement;
  } while (d + 6 < size);
}

}  // namespace

void list_images(Bytes buffer, OutStream& console) {
  if (!check_diag_header(buffer, console)) return;
  ImageTable table;
  ChunkWalk walk;
  ChunkAt chunk;
  while (chunk_walk_next(buffer, walk, chunk)) {
    if (chunk_type_is(chunk.header, "Mat1") && chunk.header.size >= kSmallestMaterialWithMaps) {
      scan_material(buffer, chunk, table);
    }
  }
  for (const ImageUse& image : table.images) {
    out_write(console, "  ");
    out_write(console, image.name);
    out_printf(console, " (%d)\n", image.uses);
  }
  const std::size_t count = table.images.size();
  out_printf(console, "  %zu image%s (followed by usage count)\n", count, count > 1 ? "s" : "");
}

}  // namespace facetor
