#include "convert/corner_table.h"

#include <cmath>

#include "io/float_bits.h"
#include "io/large_block.h"
#include "io/release.h"
#include "mesh/tolerance.h"

namespace facetor {
namespace {

// A point's matches lie in its own grid cell, or in a neighbour when the point
// lies within kBorder cell widths of that neighbour's border. Dividing by a
// power of two is exact, so the cell of a value never depends on rounding.
// 2^-17 (7.6e-6): the smallest power of two whose border strip still covers the tolerance.
constexpr double kCellWidth = 1.0 / 131072.0;
// 0.14 * 2^-17 = 1.07e-6: the tolerance plus 7% slack for rounding; narrower means fewer neighbour look-ups.
constexpr double kBorder = 0.14;
// 2^60 cells of 2^-17 reach 2^43, beyond which floats lie 2^20 apart, so a far
// value matches only itself and gets a cell of its own (see cell_of).
constexpr double kCellLimit = 1152921504606846976.0;
// Far cells are numbered from 2^61 on, away from every near cell.
constexpr std::int64_t kFarCells = std::int64_t{1} << 61;

std::uint64_t u64(std::int64_t value) { return static_cast<std::uint64_t>(value); }
std::uint64_t u64(std::int32_t value) { return static_cast<std::uint32_t>(value); }

std::uint64_t exact_hash(const HashTable& index, std::int32_t source, std::int32_t uv, std::uint32_t colour,
                         std::int32_t material) {
  return hash_of(index, {u64(source) | (u64(uv) << 32), std::uint64_t{colour} | (u64(material) << 32)});
}

std::uint64_t cell_hash(const HashTable& index, std::int64_t cx, std::int64_t cy, std::int64_t cz, std::int32_t uv) {
  return hash_of(index, {u64(cx), u64(cy), u64(cz), u64(uv)});
}

bool finite3(const CornerVertex& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

// Cell coordinate of a finite value, and which neighbour (-1, 0 or +1) may
// hold matches too.
std::int64_t cell_of(float value, int& neighbour) {
  // Cells are centred on the multiples of their width, so whole numbers and
  // simple binary fractions lie in the middle of a cell, away from borders.
  const double scaled = static_cast<double>(value) / kCellWidth + 0.5;
  double cell = std::floor(scaled);
  const double inside = scaled - cell;
  neighbour = inside < kBorder ? -1 : (inside > 1 - kBorder ? 1 : 0);
  if (std::fabs(cell) <= kCellLimit) return static_cast<std::int64_t>(cell);
  // A far value: its cells lie whole floats apart (neighbour is 0), and its
  // own bits name its cell, so equal values share a cell and nothing else does.
  const std::int64_t far = kFarCells + (float_bits(value) & 0x7FFFFFFFu);
  return value < 0 ? -far : far;
}

bool within(float a, float b) {
  const float d = a - b;
  return d >= -kTolerance && d <= kTolerance;
}

bool position_match(const CornerVertex& entry, const CornerVertex& corner) {
  return entry.uvIndex == corner.uvIndex && within(entry.x, corner.x) && within(entry.y, corner.y) &&
         within(entry.z, corner.z);
}

// The cell coordinate of a finite value.
std::int64_t cell_of(float value) {
  int unused;
  return cell_of(value, unused);
}

// The first entry of the cell with this hash, or -1.
std::int32_t find_cell(const CornerTable& table, std::int64_t cx, std::int64_t cy, std::int64_t cz, std::int32_t uv,
                       std::uint64_t hash) {
  return hash_find(table.cellIndex, hash, [&](std::int32_t id) {
    const CornerVertex& first = table.entries[static_cast<std::size_t>(id)];
    return first.uvIndex == uv && cell_of(first.x) == cx && cell_of(first.y) == cy && cell_of(first.z) == cz;
  });
}

// What a search by position finds: the lowest entry index within tolerance
// of the corner's position (or -1), and the corner's own cell, where a new
// entry of this position goes: its hash and its first entry (or -1).
struct PositionSearch {
  std::int32_t best = -1;
  std::uint64_t homeHash = 0;
  std::int32_t homeFirst = -1;
};

PositionSearch search_by_position(const CornerTable& table, const CornerVertex& corner, std::uint64_t homeHash) {
  int nx, ny, nz;
  const std::int64_t cx = cell_of(corner.x, nx), cy = cell_of(corner.y, ny), cz = cell_of(corner.z, nz);
  PositionSearch search;
  for (int i = 0; i < 8; ++i) {
    if (((i & 1) && nx == 0) || ((i & 2) && ny == 0) || ((i & 4) && nz == 0)) continue;
    const std::int64_t x = cx + ((i & 1) ? nx : 0);
    const std::int64_t y = cy + ((i & 2) ? ny : 0);
    const std::int64_t z = cz + ((i & 4) ? nz : 0);
    const std::uint64_t hash = i == 0 ? homeHash : cell_hash(table.cellIndex, x, y, z, corner.uvIndex);
    const std::int32_t first = find_cell(table, x, y, z, corner.uvIndex, hash);
    if (i == 0) search.homeHash = hash, search.homeFirst = first;
    for (std::int32_t id = first; id >= 0; id = table.nextInCell[static_cast<std::size_t>(id)]) {
      if ((search.best < 0 || id < search.best) &&
          position_match(table.entries[static_cast<std::size_t>(id)], corner)) {
        search.best = id;
      }
    }
  }
  return search;
}

// A new entry becomes the first of its cell, or chains on right after the first.
void add_to_cell(CornerTable& table, std::int32_t id, const PositionSearch& search) {
  table.nextInCell.push_back(-1);
  if (search.homeFirst < 0) {
    hash_insert(table.cellIndex, search.homeHash, id);
    return;
  }
  const auto first = static_cast<std::size_t>(search.homeFirst);
  table.nextInCell[static_cast<std::size_t>(id)] = table.nextInCell[first];
  table.nextInCell[first] = id;
}

std::uint64_t hole_hash(const HashTable& index, std::int32_t source, std::int32_t uv, std::int32_t material) {
  return hash_of(index, {u64(source) | (u64(uv) << 32), u64(material)});
}

bool in_object(const CornerTable& table, std::int32_t sourceVertex) {
  return sourceVertex >= 0 && static_cast<std::size_t>(sourceVertex) < table.bySourceHead.size();
}

// The hash indexes of the hole look-ups over the entries that no chain holds,
// each key taking its first such entry.
void build_hole_indexes(CornerTable& table) {
  for (std::size_t i = 0; i < table.entries.size(); ++i) {
    if (table.nextOfSource[i] != kNotChained) continue;
    const CornerVertex& e = table.entries[i];
    const auto id = static_cast<std::int32_t>(i);
    const std::uint64_t sourceHash = hash_of(table.bySource, {u64(e.sourceVertex)});
    const std::int32_t firstOfSource = hash_find(table.bySource, sourceHash, [&](std::int32_t other) {
      return table.entries[static_cast<std::size_t>(other)].sourceVertex == e.sourceVertex;
    });
    if (firstOfSource < 0) hash_insert(table.bySource, sourceHash, id);
    const std::uint64_t keyHash = hole_hash(table.bySourceUvMaterial, e.sourceVertex, e.uvIndex, e.materialNumber);
    const std::int32_t firstOfKey = hash_find(table.bySourceUvMaterial, keyHash, [&](std::int32_t other) {
      const CornerVertex& o = table.entries[static_cast<std::size_t>(other)];
      return o.sourceVertex == e.sourceVertex && o.uvIndex == e.uvIndex && o.materialNumber == e.materialNumber;
    });
    if (firstOfKey < 0) hash_insert(table.bySourceUvMaterial, keyHash, id);
  }
}

// The entry with the corner's exact key, or -1. Entries are made only when
// nothing matches, so no two share the exact key.
std::int32_t find_exact(const CornerTable& table, const CornerVertex& corner) {
  auto same = [&](std::int32_t id) {
    const CornerVertex& e = table.entries[static_cast<std::size_t>(id)];
    return e.sourceVertex == corner.sourceVertex && e.uvIndex == corner.uvIndex && e.colour == corner.colour &&
           e.materialNumber == corner.materialNumber;
  };
  std::int32_t found = -1;
  bool hashed = true;
  if (in_object(table, corner.sourceVertex)) {
    const auto source = static_cast<std::size_t>(corner.sourceVertex);
    for (std::int32_t id = table.bySourceHead[source]; id >= 0 && found < 0;
         id = table.nextOfSource[static_cast<std::size_t>(id)]) {
      if (same(id)) found = id;
    }
    hashed = table.chainLength[source] == kChainLimit;
  }
  if (found < 0 && hashed) {
    found = hash_find(table.exact,
                      exact_hash(table.exact, corner.sourceVertex, corner.uvIndex, corner.colour, corner.materialNumber),
                      same);
  }
  return found;
}

// Appends the entry and indexes its exact key (unless it is to be found by
// position only); returns its index. Without chains by source (see
// corner_reserve), in_object is false and the key goes to the hash index.
std::int32_t add_entry(CornerTable& table, const CornerVertex& corner) {
  const auto id = static_cast<std::int32_t>(table.entries.size());
  table.entries.push_back(corner);
  if (table.optverts && !table.indexFiniteByKey && finite3(corner)) {
    table.nextOfSource.push_back(kNotChained);
    return id;
  }
  if (in_object(table, corner.sourceVertex) &&
      table.chainLength[static_cast<std::size_t>(corner.sourceVertex)] < kChainLimit) {
    const auto source = static_cast<std::size_t>(corner.sourceVertex);
    table.nextOfSource.push_back(table.bySourceHead[source]);
    table.bySourceHead[source] = id;
    ++table.chainLength[source];
  } else {
    table.nextOfSource.push_back(kNotChained);
    hash_insert(table.exact,
                exact_hash(table.exact, corner.sourceVertex, corner.uvIndex, corner.colour, corner.materialNumber), id);
  }
  return id;
}

}  // namespace

void corner_reserve(CornerTable& table, std::size_t sourceCount, std::size_t expected) {
  table.entries.reserve(expected);
  table.nextOfSource.reserve(expected);
  if (!table.optverts || table.indexFiniteByKey) {
    table.bySourceHead.assign(sourceCount, -1);
    table.chainLength.assign(sourceCount, 0);
  }
}

std::uint64_t corner_cell_hash(const CornerTable& table, const CornerVertex& corner) {
  if (!table.optverts || !finite3(corner)) return 0;
  return cell_hash(table.cellIndex, cell_of(corner.x), cell_of(corner.y), cell_of(corner.z), corner.uvIndex);
}

void corner_prefetch(const CornerTable& table, std::uint64_t cellHash) {
  if (table.optverts) hash_prefetch(table.cellIndex, cellHash);
}

std::int32_t corner_match(CornerTable& table, const CornerVertex& corner, std::uint64_t cellHash) {
  // An exact match shares the corner's source vertex, so its position, and its
  // texture index: with optverts it is a position match as well.
  if (table.optverts && finite3(corner)) {
    const PositionSearch search = search_by_position(table, corner, cellHash);
    if (search.best >= 0) return search.best;
    const std::int32_t id = add_entry(table, corner);
    add_to_cell(table, id, search);
    return id;
  }
  const std::int32_t found = find_exact(table, corner);
  if (found >= 0) return found;
  const std::int32_t id = add_entry(table, corner);
  if (table.optverts) table.nextInCell.push_back(-1);  // NaN or infinite: in no cell, matched by no position
  return id;
}

void corner_release_search(CornerTable& table) {
  table.exact = HashTable{};
  table.cellIndex = HashTable{};
  release_storage(table.nextInCell);
}

void corner_release_hole_search(CornerTable& table) {
  release_storage(table.bySourceHead);
  release_storage(table.chainLength);
  release_storage(table.nextOfSource);
  table.bySource = HashTable{};
  table.bySourceUvMaterial = HashTable{};
}

std::int32_t corner_find_for_hole(CornerTable& table, std::int32_t sourceVertex, bool matchUv, std::int32_t uvIndex,
                                  std::int32_t materialNumber) {
  // A chain holds the oldest entries of its source vertex: a match there is
  // the first one; the hashed entries come later.
  if (in_object(table, sourceVertex)) {
    const auto source = static_cast<std::size_t>(sourceVertex);
    std::int32_t first = -1;
    for (std::int32_t id = table.bySourceHead[source]; id >= 0; id = table.nextOfSource[static_cast<std::size_t>(id)]) {
      const CornerVertex& e = table.entries[static_cast<std::size_t>(id)];
      if (!matchUv || (e.uvIndex == uvIndex && e.materialNumber == materialNumber)) first = id;
    }
    if (first >= 0 || table.chainLength[source] < kChainLimit) return first;
  }
  if (!table.holeIndexesBuilt) {
    table.holeIndexesBuilt = true;
    build_hole_indexes(table);
  }
  if (!matchUv) {
    return hash_find(table.bySource, hash_of(table.bySource, {u64(sourceVertex)}), [&](std::int32_t id) {
      return table.entries[static_cast<std::size_t>(id)].sourceVertex == sourceVertex;
    });
  }
  return hash_find(table.bySourceUvMaterial, hole_hash(table.bySourceUvMaterial, sourceVertex, uvIndex, materialNumber),
                   [&](std::int32_t id) {
                         const CornerVertex& e = table.entries[static_cast<std::size_t>(id)];
                         return e.sourceVertex == sourceVertex && e.uvIndex == uvIndex &&
                                e.materialNumber == materialNumber;
                       });
}

}  // namespace facetor
