// Mode I: the texture images that the materials of a file use, each once,
// with the number of texture map records that name it.
#include <cstdint>
#include <string>
#include <vector>

#include "cob/map_record.h"
#include "diag/diagnostics.h"
#include "io/hash_table.h"
#include "io/text.h"

namespace facetor {
namespace {

// The listing's rule: the map records of a Mat1 chunk are looked at only when
// its data size is above 43.
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

void count_image(ImageTable& table, std::string_view name) {
  std::string key = lowered_ascii(name);
  const std::uint64_t hash = hash_of_bytes(table.byName, key);
  std::int32_t at = hash_find(table.byName, hash,
                              [&](std::int32_t image) { return table.keys[static_cast<std::size_t>(image)] == key; });
  if (at < 0) {
    at = static_cast<std::int32_t>(table.images.size());
    table.images.push_back(ImageUse{std::string(name), 0});
    table.keys.push_back(std::move(key));
    hash_insert(table.byName, hash, at);
  }
  ++table.images[static_cast<std::size_t>(at)].uses;
}

// Walks the map records of one Mat1 chunk. Every record must have its head
// and its name inside the chunk's data (bounded by the buffer); a texture
// record whose placement does not fit is still counted, and ends the walk.
void scan_material(Bytes buffer, const ChunkAt& chunk, ImageTable& table) {
  Reader r = reader_at(buffer, std::int64_t{chunk.data} + kFirstMapRecord, std::int64_t{chunk.data} + chunk.header.size);
  do {
    MapRecordHead head;
    std::string name;
    if (!read_map_head(r, head) || !read_map_name(r, head.nameLength, name)) return;
    if (head.kind == 't') count_image(table, texture_file_name(name));
    if (!skip_bytes(r, map_placement_size(head.kind))) return;
  } while (r.at - chunk.data + 6 < chunk.header.size);
}

}  // namespace

void list_images(Bytes buffer, OutStream& console) {
  if (!check_diag_header(buffer, console)) return;
  ImageTable table;
  for_each_chunk(buffer, [&](const ChunkAt& chunk) {
    if (chunk_type_is(chunk.header, "Mat1") && chunk.header.size >= kSmallestMaterialWithMaps) {
      scan_material(buffer, chunk, table);
    }
  });
  for (const ImageUse& image : table.images) {
    out_write(console, "  ");
    out_write(console, image.name);
    out_printf(console, " (%d)\n", image.uses);
  }
  const std::size_t count = table.images.size();
  out_printf(console, "  %zu image%s (followed by usage count)\n", count, count > 1 ? "s" : "");
}

}  // namespace facetor
