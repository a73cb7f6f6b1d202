// The program version, printed by the banner and by the RWX header comment.
#pragma once

namespace facetor {

inline constexpr int kVersionMajor = 6;
inline constexpr int kVersionMinor = 0;
inline constexpr int kVersionBuild = 601;

}  // namespace facetor
