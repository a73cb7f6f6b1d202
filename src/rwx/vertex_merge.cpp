#include "rwx/vertex_merge.h"

#include <array>
#include <cmath>
#include <vector>

#include "io/float_bits.h"
#include "io/hash_table.h"
#include "io/release.h"
#include "rwx/side_by_side.h"

namespace facetor {
namespace {

// Equal vertices have equal hashes, so the vertices are first split into
// partitions by the top bits of their hash, and each partition is searched
// on its own, through an index small enough to stay in the processor's
// cache (at most 32 bytes a vertex: 256 KB, half of a 512 KB level-2
// cache). Within a partition the vertices keep their order, so each finds
// the first equal vertex, as over the whole list.
constexpr std::size_t kPartitionVertices = 8192;

// A vertex's place in its partition: the high half of its hash and its index.
struct Member {
  std::uint32_t hash;
  std::uint32_t vertex;
};

// Bits of a float with -0 folded onto 0, so that values that compare equal
// hash alike.
std::uint64_t key_bits(float value) { return value == 0.0f ? 0u : float_bits(value); }

struct Comparison {
  bool uv = false;
  bool prelight = false;
};

// The fields left out of the comparison hash as 0.
std::uint64_t vertex_hash(const HashKey& key, const Comparison& compare, const MeshVertex& vertex) {
  const std::uint64_t uv = compare.uv ? key_bits(vertex.u) << 32 | key_bits(vertex.v) : 0;
  const std::uint64_t prelight =
      compare.prelight ? std::uint64_t{vertex.red} << 16 | std::uint64_t{vertex.green} << 8 | vertex.blue : 0;
  return keyed_hash(key, {key_bits(vertex.x) << 32 | key_bits(vertex.y), key_bits(vertex.z) << 32 | prelight, uv});
}

// A vertex with a NaN among its compared fields equals no vertex at all.
bool has_nan(const Comparison& compare, const MeshVertex& vertex) {
  if (std::isnan(vertex.x) || std::isnan(vertex.y) || std::isnan(vertex.z)) return true;
  return compare.uv && (std::isnan(vertex.u) || std::isnan(vertex.v));
}

bool same_vertex(const Comparison& compare, const MeshVertex& a, const MeshVertex& b) {
  if (!(a.x == b.x && a.y == b.y && a.z == b.z)) return false;
  if (compare.uv && !(a.u == b.u && a.v == b.v)) return false;
  if (compare.prelight && !(a.red == b.red && a.green == b.green && a.blue == b.blue)) return false;
  return true;
}

// The first equal vertex of each vertex of the partition members[begin, end),
// into first.
void search_partition(const Comparison& compare, const HashKey& key, std::span<const MeshVertex> vertices,
                      const LargeVector<Member>& members, std::size_t begin, std::size_t end,
                      LargeVector<std::int32_t>& first) {
  HashTable firstOccurrences;  // the first vertex of each value in the partition
  firstOccurrences.key = key;
  hash_reserve(firstOccurrences, end - begin);
  for (std::size_t m = begin; m < end; ++m) {
    const Member member = members[m];
    const std::uint64_t hash = std::uint64_t{member.hash} << 32;
    const std::int32_t found = hash_find(firstOccurrences, hash, [&](std::int32_t id) {
      return same_vertex(compare, written_vertex(vertices[static_cast<std::size_t>(id)]),
                         written_vertex(vertices[member.vertex]));
    });
    if (found >= 0) {
      first[member.vertex] = found;
    } else {
      hash_insert(firstOccurrences, hash, static_cast<std::int32_t>(member.vertex));
    }
  }
}

}  // namespace

LargeVector<std::int32_t> first_equal_vertices(std::span<const MeshVertex> vertices, bool compareUV,
                                               bool comparePrelight) {
  const Comparison compare{compareUV, comparePrelight};
  const HashKey key = process_hash_key();
  unsigned partitionBits = 0;
  while ((vertices.size() >> partitionBits) > kPartitionVertices) ++partitionBits;
  auto partition_of = [&](std::uint32_t hash) { return partitionBits == 0 ? 0 : hash >> (32 - partitionBits); };

  // The hashes and partition sizes; a vertex with a NaN equals none and
  // takes part in no partition. Large lists are hashed in two halves side by
  // side, each counting its own members of each partition.
  const std::size_t partitions = std::size_t{1} << partitionBits;
  const std::size_t splitFrom = kPartitionVertices + 1;  // as soon as there are two partitions
  LargeVector<std::uint32_t> hashes(vertices.size());
  LargeVector<std::uint8_t> alone(vertices.size());
  std::array<std::vector<std::size_t>, 2> counts{std::vector<std::size_t>(partitions), std::vector<std::size_t>(partitions)};
  run_in_halves(vertices.size(), splitFrom, [&](std::size_t half, std::size_t from, std::size_t to) {
    for (std::size_t i = from; i < to; ++i) {
      const MeshVertex vertex = written_vertex(vertices[i]);
      alone[i] = has_nan(compare, vertex);
      if (alone[i]) continue;
      hashes[i] = static_cast<std::uint32_t>(vertex_hash(key, compare, vertex) >> 32);
      ++counts[half][partition_of(hashes[i])];
    }
  });
  std::vector<std::size_t> starts(partitions + 1, 0);
  for (std::size_t p = 0; p < partitions; ++p) starts[p + 1] = starts[p] + counts[0][p] + counts[1][p];
  LargeVector<Member> members(starts.back());
  // Each half's members in vertex order, each partition's second half after
  // its first.
  std::array<std::vector<std::size_t>, 2> next{std::vector<std::size_t>(starts.begin(), starts.end() - 1),
                                               std::vector<std::size_t>(partitions)};
  for (std::size_t p = 0; p < partitions; ++p) next[1][p] = starts[p] + counts[0][p];
  run_in_halves(vertices.size(), splitFrom, [&](std::size_t half, std::size_t from, std::size_t to) {
    for (std::size_t i = from; i < to; ++i) {
      if (!alone[i]) members[next[half][partition_of(hashes[i])]++] = Member{hashes[i], static_cast<std::uint32_t>(i)};
    }
  });
  release_storage(hashes);
  release_storage(alone);

  // Each partition on its own; the vertex data is read only when hashes
  // match. The partitions are shared between two threads, each writing the
  // entries of its own partitions' vertices.
  LargeVector<std::int32_t> first(vertices.size(), -1);
  auto search = [&](std::size_t from, std::size_t to) {
    for (std::size_t p = from; p < to; ++p) {
      search_partition(compare, key, vertices, members, starts[p], starts[p + 1], first);
    }
  };
  if (partitions < 2) {
    search(0, partitions);
  } else {
    run_side_by_side([&] { search(0, partitions / 2); }, [&] { search(partitions / 2, partitions); });
  }
  return first;
}

}  // namespace facetor
