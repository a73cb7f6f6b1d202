// The one tolerance of the converter: coordinates within it of 0 become 0,
// "_optverts" merges vertices within it per axis, a hole bridge must improve
// by more than it, and the RWX writers print numbers within it as 0. It is
// the single-precision value of 0.000001, the modelling unit's millionth.
#pragma once

namespace facetor {

inline constexpr float kTolerance = 1e-6f;

}  // namespace facetor
