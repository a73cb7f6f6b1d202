// The corner-vertex table of one mesh build: one entry per distinct
// combination of source vertex, texture coordinate, colour and material that
// the face corners use, in creation order (the index is the prototype vertex
// index). The searches return exactly the first matching entry in creation
// order, as a scan from index 0 would, through hash indexes.
#pragma once

#include <cstdint>
#include <vector>

#include "io/hash_table.h"

namespace facetor {

// 28 bytes: what the vertex takes from its source vertex besides the
// position (its bone tags) is looked up there again when it is made.
struct CornerVertex {
  std::int32_t sourceVertex = 0;
  std::int32_t uvIndex = 0;
  float x = 0, y = 0, z = 0;
  std::uint32_t colour = 0;
  std::uint16_t materialNumber = 0;  // a material index in force, 0 to 32767
  bool bridged = false;
};

// The entries of a table, in creation order.
using CornerEntries = LargeVector<CornerVertex>;

inline constexpr std::int32_t kNotChained = -2;
// Chained entries per source vertex: more than the corner combinations that a
// vertex of an ordinary model has (a grid vertex meets 4 quads), so the hash
// index holds only the rare rest.
inline constexpr std::uint8_t kChainLimit = 8;

struct CornerTable {
  CornerEntries entries;
  bool optverts = false;
  // With optverts, corners with a finite position are matched by position
  // only: their entries need the exact-key indexes below only when holes
  // will look them up by source vertex. Set before corner_reserve.
  bool indexFiniteByKey = true;
  // Exact matches: the first few entries of each source vertex of the object
  // are chained (newest first); later ones, and entries of vertex indices
  // outside the object, go to a hash index of (sourceVertex, uvIndex, colour,
  // materialNumber), so no chain grows long.
  LargeVector<std::int32_t> bySourceHead;    // per object vertex
  LargeVector<std::uint8_t> chainLength;     // per object vertex
  LargeVector<std::int32_t> nextOfSource;    // per entry; kNotChained for hashed ones
  HashTable exact;
  // Position grid for optverts: the index names each cell, keyed by its
  // cell coordinates and uvIndex, by its first entry, from which the cell's
  // other entries chain on; a cell's key is worked out again from its first
  // entry's position, so cells cost no storage of their own.
  HashTable cellIndex;
  LargeVector<std::int32_t> nextInCell;  // per entry
  // Hole look-ups among the hashed entries, made on first use.
  bool holeIndexesBuilt = false;
  HashTable bySource;            // sourceVertex -> first hashed entry
  HashTable bySourceUvMaterial;  // (sourceVertex, uvIndex, materialNumber) -> first hashed entry
};

// Prepares the table for an object with sourceCount vertices and about
// `expected` entries (the chains by source only when entries are indexed
// by key).
void corner_reserve(CornerTable& table, std::size_t sourceCount, std::size_t expected);

// The first entry that matches the corner: same source vertex, texture
// coordinate index, colour and material number, or (with optverts) a
// position within 1e-6 on each axis and the same texture coordinate index.
// When there is none, the corner is appended as a new entry, and indexed;
// returns the index of the entry either way. cellHash is
// corner_cell_hash(table, corner), found earlier: the hash of the corner's
// own cell in the position index (optverts, finite positions; else 0), which
// corner_prefetch asks the processor to fetch, so that a walk over many
// corners need not wait on each cell.
std::int32_t corner_match(CornerTable& table, const CornerVertex& corner, std::uint64_t cellHash);
std::uint64_t corner_cell_hash(const CornerTable& table, const CornerVertex& corner);
void corner_prefetch(const CornerTable& table, std::uint64_t cellHash);

// Drops what only corner_match needs once every corner has its entry.
void corner_release_search(CornerTable& table);

// Releases the chains by source vertex too, when no hole will be looked up:
// after this, only the entries are left.
void corner_release_hole_search(CornerTable& table);

// The first entry made from this source vertex; with matchUv, also with the
// given texture coordinate index and material number. -1 when there is none.
// (Used for the corners of holes; builds its indexes on first use.)
std::int32_t corner_find_for_hole(CornerTable& table, std::int32_t sourceVertex, bool matchUv,
                                  std::int32_t uvIndex, std::int32_t materialNumber);

}  // namespace facetor
