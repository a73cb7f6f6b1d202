// Cutting the holes of a face into its outer polygon: each hole in turn is
// joined along a bridge from its nearest corner to the nearest polygon
// position whose entry has not served as a bridge point yet.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "convert/corner_table.h"

namespace facetor {

// The holes of a run, their corners in a row: hole h has corners first[h]
// to first[h + 1] - 1 of `measured`, the entries they were matched to (their
// positions are measured), and of `inserted`, the entries they put into the
// polygon (looked up again by source vertex).
struct FaceHoles {
  std::span<const std::uint32_t> measured;
  std::span<const std::uint32_t> inserted;
  std::span<const std::uint32_t> first;  // one more than the holes, from 0
  std::size_t count() const { return first.empty() ? 0 : first.size() - 1; }
  std::size_t corners(std::size_t hole) const { return first[hole + 1] - first[hole]; }
};

// Merges every hole (each with at least one corner) into polygon, a list of
// entry indices. The pair chosen each time is the one a scan over the holes,
// their corners and the polygon positions, in that order, would keep: the
// last pair that beat the best so far by more than 1e-6 (squared distances
// in single precision). When no pair can be measured, the first unmerged hole
// joins at position 0 by its first corner. Marks each bridge point's entry.
// Small faces are bridged by that scan; the others through indexes over the
// hole corners and the polygon positions, without going over all pairs.
void bridge_holes(CornerEntries& entries, std::vector<std::uint32_t>& polygon, const FaceHoles& holes);

}  // namespace facetor
