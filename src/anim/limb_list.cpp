#include "anim/limb_list.h"

#include <algorithm>
#include <limits>
#include <utility>
#include <vector>

#include "io/hash_table.h"

#include "joints/joint_names.h"

namespace facetor {
namespace {

constexpr std::size_t kObjectNameCapacity = 100;  // the limb reader's name buffer, terminator included
constexpr std::int32_t kNameLengthAt = 2;         // after the duplicate count

// The object name of a Grou or PolH chunk, without its duplicate suffix. A
// name that does not fit the chunk's data reads as empty.
std::string object_name(Bytes buffer, const ChunkAt& chunk) {
  std::string name;
  Reader r = reader_at(buffer, std::int64_t{chunk.data} + kNameLengthAt, std::int64_t{chunk.data} + chunk.header.size);
  if (!read_string(r, name, kObjectNameCapacity)) name.clear();
  return name;
}

// The entries of one object in list order; the ones before `nextFree` have
// their channel, since channels are always given to the first free entry.
struct ObjectEntries {
  std::vector<std::size_t> entries;
  std::size_t nextFree = 0;
};

struct LimbCollector {
  OutStream& console;
  Bytes buffer;
  LimbList list;
  // The objects by chunk ID (file data: hence the keyed hash index).
  std::vector<std::pair<std::int32_t, ObjectEntries>> objects;
  HashTable byObject;

  std::uint64_t id_hash(std::int32_t id) const { return hash_of(byObject, {static_cast<std::uint32_t>(id)}); }

  std::int32_t find_object(std::int32_t id, std::uint64_t hash) const {
    return hash_find(byObject, hash, [&](std::int32_t at) { return objects[static_cast<std::size_t>(at)].first == id; });
  }

  void add_object(const ChunkAt& chunk) {
    const std::string name = object_name(buffer, chunk);
    const AvatarJoint found = avatar_joint(name);
    if (found.joint == 0) return;
    const int count = found.joint == kPelvisJoint ? 2 : 1;
    const std::uint64_t hash = id_hash(chunk.header.chunkId);
    std::int32_t at = find_object(chunk.header.chunkId, hash);
    if (at < 0) {
      at = static_cast<std::int32_t>(objects.size());
      objects.emplace_back(chunk.header.chunkId, ObjectEntries{});
      hash_insert(byObject, hash, at);
    }
    ObjectEntries& object = objects[static_cast<std::size_t>(at)].second;
    for (int i = 0; i < count; ++i) {
      object.entries.push_back(list.limbs.size());
      list.limbs.push_back({std::string(found.word), found.joint, chunk.header.chunkId, std::nullopt});
    }
  }

  void attach_channel(const ChunkAt& chunk) {
    const std::int32_t at = find_object(chunk.header.parentId, id_hash(chunk.header.parentId));
    if (at < 0 || objects[static_cast<std::size_t>(at)].second.nextFree ==
                      objects[static_cast<std::size_t>(at)].second.entries.size()) {
      out_write(console, "  Duplicate Chan chunk or no corresponding parent\n");
      ++list.unmatchedChannels;
      return;
    }
    ObjectEntries& object = objects[static_cast<std::size_t>(at)].second;
    // Only the bytes of the data that lie inside the buffer; no data at all
    // for a size of 0 or less.
    const std::size_t available = buffer.size() - static_cast<std::size_t>(chunk.data);
    const std::size_t size = chunk.header.size > 0 ? static_cast<std::size_t>(chunk.header.size) : 0;
    list.limbs[object.entries[object.nextFree++]].channel = buffer.subspan(static_cast<std::size_t>(chunk.data),
                                                                      std::min(size, available));
  }
};

}  // namespace

LimbList collect_limbs(OutStream& console, Bytes buffer) {
  LimbCollector collector{console, buffer, {}, {}, {}};
  for_each_chunk(buffer, [&](const ChunkAt& chunk) {
    if (chunk_type_is(chunk.header, "Grou") || chunk_type_is(chunk.header, "PolH")) {
      collector.add_object(chunk);
    } else if (chunk_type_is(chunk.header, "Chan")) {
      collector.attach_channel(chunk);
    }
  });
  return std::move(collector.list);
}

}  // namespace facetor
