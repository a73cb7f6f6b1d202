#include "convert/hole_tie_replay.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace facetor {
namespace {

constexpr float kInfinity = std::numeric_limits<float>::infinity();
constexpr float kNone = -1;  // a limit that no squared distance (never negative) is within

// The largest squared distance that beats `best` (every smaller one does too,
// since rounding keeps the order), or kNone. Against no best yet, every finite
// distance beats.
float beat_limit(float best) {
  if (best == kInfinity) return std::numeric_limits<float>::max();
  float d = std::max(best - kTolerance, 0.0f);  // within a few units in the last place of the answer
  while (!beats(d, best)) {
    if (d == 0) return kNone;
    d = std::nextafter(d, 0.0f);
  }
  for (float up = std::nextafter(d, kInfinity); beats(up, best); up = std::nextafter(d, kInfinity)) d = up;
  return d;
}

// The largest squared distance that `least` does not beat: the pairs the
// scan can end on once it has met a pair at distance `least` (every larger
// one is beaten by it).
float settle_limit(float least) {
  float d = least + kTolerance;
  while (beats(least, d)) d = std::nextafter(d, 0.0f);
  for (float up = std::nextafter(d, kInfinity); up <= std::numeric_limits<float>::max() && !beats(least, up);
       up = std::nextafter(d, kInfinity)) {
    d = up;
  }
  return d;
}

// The indexes a replay reads, and its working storage.
struct Replay {
  PointIndex& points;
  const SlotIndex& slots;
  const PolygonOrder& order;
  std::vector<std::int32_t> stack{};
};

// The pairs before a place in scan order: those of the points numbered
// before `point`, and those of `point` itself whose slots come before `key`.
struct Prefix {
  std::size_t point;
  std::uint64_t key;
};

Prefix prefix_before(const Replay& r, const BridgePair& pair) {
  return Prefix{pair.point, slot_key(r.slots, r.order, static_cast<std::uint32_t>(pair.slot))};
}

bool partial(const Replay& r, const Prefix& prefix) { return prefix.point < point_count(r.points); }

BridgePair make_pair(const Replay& r, std::int64_t point, std::int32_t slot) {
  if (point < 0 || slot < 0) return BridgePair{};
  const auto p = static_cast<std::uint32_t>(point);
  const auto s = static_cast<std::uint32_t>(slot);
  return BridgePair{p, slot, squared_distance(point_position(r.points, p), hole_tree_point(r.slots.tree, s))};
}

std::int32_t first_slot_within(Replay& r, std::uint32_t point, float limit, KeyRange keys) {
  return slots_first_within(r.slots, r.order, point_position(r.points, point), limit, keys, r.stack);
}

// The smallest distance of the prefix's pairs when it is within `limit`,
// else some distance beyond the limit.
float prefix_min(Replay& r, const Prefix& prefix, float limit) {
  float least = points_min(r.points, r.slots, r.order, prefix.point, limit);
  if (partial(r, prefix)) {
    const auto point = static_cast<std::uint32_t>(prefix.point);
    least = std::min(least, slots_nearest(r.slots, r.order, point_position(r.points, point), KeyRange{kNoKey, prefix.key},
                                          limit, r.points.slotStack)
                                .distance);
  }
  return least;
}

// The first pair of the points numbered from `from` to before the prefix's
// end whose distance is within `limit`.
BridgePair first_pair_from(Replay& r, std::size_t from, const Prefix& prefix, float limit) {
  const std::int64_t point = points_first_within(r.points, r.slots, r.order, from, prefix.point, limit);
  if (point >= 0) return make_pair(r, point, first_slot_within(r, static_cast<std::uint32_t>(point), limit, KeyRange{}));
  if (!partial(r, prefix) || prefix.point < from) return BridgePair{};
  const auto last = static_cast<std::uint32_t>(prefix.point);
  return make_pair(r, last, first_slot_within(r, last, limit, KeyRange{kNoKey, prefix.key}));
}

// The first pair after `after` and inside the prefix whose distance is
// within `limit`.
BridgePair first_pair_after(Replay& r, const BridgePair& after, const Prefix& prefix, float limit) {
  const std::uint64_t key = slot_key(r.slots, r.order, static_cast<std::uint32_t>(after.slot));
  if (partial(r, prefix) && prefix.point == after.point) {
    return make_pair(r, after.point, first_slot_within(r, after.point, limit, KeyRange{key, prefix.key}));
  }
  const BridgePair same = make_pair(r, after.point, first_slot_within(r, after.point, limit, KeyRange{key, kNoKey}));
  return same.slot >= 0 ? same : first_pair_from(r, after.point + 1, prefix, limit);
}

// Whether place a comes before place b in scan order.
bool comes_before(const Replay& r, const ScanPlace& a, const ScanPlace& b) {
  if (a.point != b.point) return a.point < b.point;
  if (b.slot < 0) return false;
  return a.slot < 0 || slot_key(r.slots, r.order, static_cast<std::uint32_t>(a.slot)) <
                           slot_key(r.slots, r.order, static_cast<std::uint32_t>(b.slot));
}

ScanPlace place_of(const BridgePair& pair) { return ScanPlace{pair.point, pair.slot}; }

// Replays that take fewer levels are not remembered: noting the changes of a
// bridge would cost more than they save.
constexpr std::size_t kRememberedLevels = 8;

// The scan's best over the pairs before `pair`, when the memory still knows
// it: over the pairs before a place between the first settled pairs of two
// levels, it is the lower level's best when that comes before the place, and
// else the best before that level's first settled pair (no pair between them
// beats it).
bool remembered_best_before(const Replay& r, const ReplayMemory& memory, const BridgePair& pair, BridgePair& best) {
  const ScanPlace at = place_of(pair);
  if (memory.levels.empty() || comes_before(r, memory.unchangedTo, at)) return false;
  // The last level whose first settled pair comes before the place.
  const auto after = std::partition_point(memory.levels.begin(), memory.levels.end(), [&](const ReplayMemory::Level& l) {
    return comes_before(r, place_of(l.first), at);
  });
  if (after == memory.levels.begin()) return false;
  const ReplayMemory::Level& level = *(after - 1);
  if (comes_before(r, place_of(level.best), at)) {
    best = level.best;
    return true;
  }
  if (level.below.slot == -2) return false;
  best = level.below;
  return true;
}

// Keeps the levels of a replay for the next, with those of the memory below
// them when the replay ended on what it knew (a short replay leaves the
// memory as it was). Below the threshold, the levels' bests depend only on
// the pairs below the settled range of the lowest level's first settled pair
// (the pairs before it all lie beyond that range), and a pair further on
// changes none of them.
void remember(const Replay& r, ReplayMemory& memory, std::vector<ReplayMemory::Level> levels, bool continued) {
  if (levels.size() < kRememberedLevels && !continued) return;
  float threshold = std::nextafter(settle_limit(levels.back().first.distance), kInfinity);
  if (continued) {
    threshold = std::max(threshold, memory.threshold);
    const ScanPlace last = place_of(levels.back().first);
    while (!memory.levels.empty() && !comes_before(r, place_of(memory.levels.back().first), last)) memory.levels.pop_back();
  } else {
    memory.levels.clear();
    memory.unchangedTo = ScanPlace{};
  }
  memory.levels.insert(memory.levels.end(), levels.rbegin(), levels.rend());
  memory.threshold = threshold;
}

}  // namespace

void replay_note_changes(ReplayMemory& memory, PointIndex& points, const SlotIndex& slots, const PolygonOrder& order,
                         std::uint32_t firstPoint, std::span<const std::uint32_t> changed) {
  if (memory.levels.empty()) return;
  const Replay r{points, slots, order};
  auto note = [&](ScanPlace place) {
    if (comes_before(r, place, memory.unchangedTo)) memory.unchangedTo = place;
  };
  note(ScanPlace{firstPoint, -1});
  for (std::uint32_t slot : changed) {
    const std::int64_t point = points_first_near(points, hole_tree_point(slots.tree, slot), memory.threshold);
    if (point >= 0) note(ScanPlace{static_cast<std::uint32_t>(point), static_cast<std::int32_t>(slot)});
  }
}

// Over the pairs before some place in scan order, with smallest distance m,
// the scan ends on a pair within the tolerance of m ("settled": nothing beats
// it any more), namely the first settled pair y, unless the scan's best just
// before y already stands within the tolerance of y: then on the first pair
// after y that beats that best. The best before y is the same question for
// the pairs before y, whose smallest distance is larger than m by more than
// the tolerance; it only matters when y does not beat that smallest distance.
// So the levels are found going back in scan order, and are answered going
// forward. Each pair is found by the indexes with exact float limits, and
// they prune only by sound lower bounds, so no pair the scan would take is
// ever skipped.
BridgePair replay_scan(PointIndex& points, const SlotIndex& slots, const PolygonOrder& order, ReplayMemory& memory) {
  Replay r{points, slots, order};
  struct Level {
    BridgePair first;  // the first settled pair
    Prefix prefix;
  };
  std::vector<Level> levels;
  Prefix prefix{point_count(points), 0};
  float least = prefix_min(r, prefix, kInfinity);
  points_set_eager_limit(points, least);
  if (least == kInfinity) {
    memory = ReplayMemory{};
    return BridgePair{};
  }
  // The scan's best before the last level's first settled pair, when the
  // memory knows it (slot -2: not known, the pair beats every earlier one).
  BridgePair below{0, -2, kInfinity};
  for (;;) {
    const float limit = settle_limit(least);
    const BridgePair first = first_pair_from(r, 0, prefix, limit);
    levels.push_back(Level{first, prefix});
    if (remembered_best_before(r, memory, first, below)) break;
    // The pairs before the first settled one all lie beyond `limit`: when its
    // own settled range reaches no further, it beats every one of them.
    const float firstLimit = settle_limit(first.distance);
    if (firstLimit <= limit) break;
    const Prefix before = prefix_before(r, first);
    const float earlierLeast = prefix_min(r, before, firstLimit);
    if (earlierLeast == kInfinity || beats(first.distance, earlierLeast)) break;
    prefix = before;
    least = earlierLeast;
  }
  // Each level's best from the best before its first settled pair.
  std::vector<ReplayMemory::Level> answered(levels.size());
  BridgePair chosen = below;
  for (std::size_t k = levels.size(); k-- > 0;) {
    answered[k].first = levels[k].first;
    answered[k].below = chosen;
    if (chosen.slot == -2 || beats(levels[k].first.distance, chosen.distance)) {
      chosen = levels[k].first;
    } else {
      chosen = first_pair_after(r, levels[k].first, levels[k].prefix, beat_limit(chosen.distance));
    }
    answered[k].best = chosen;
  }
  remember(r, memory, std::move(answered), below.slot != -2);
  return chosen;
}

}  // namespace facetor
