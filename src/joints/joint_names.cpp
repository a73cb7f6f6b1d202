#include "joints/joint_names.h"

#include <cstring>

#include "joints/joint_table.h"

namespace facetor {
namespace {

constexpr std::size_t kShortestName = 3;
constexpr std::size_t kLongestLookup = 16;  // longer names are never looked up
constexpr std::string_view kAvatarPrefix = "qz_";

// The text up to its first NUL byte, as a C string would read it.
std::string_view c_text(std::string_view text) {
  const std::size_t nul = text.find('\0');
  return nul == std::string_view::npos ? text : text.substr(0, nul);
}

void build_index(JointIndex& index) {
  index.byName.clear();
  for (const JointName& entry : joint_name_table()) index.byName.emplace(std::string(entry.name), entry.joint);
  index.built = true;
}

}  // namespace

std::int32_t joint_lookup(JointIndex& index, std::string_view name) {
  if (!index.built) build_index(index);
  name = c_text(name);
  if (name.size() < kShortestName || name.size() > kLongestLookup) return 0;

  std::string key(name);
  for (char& c : key) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  // The prefix is taken off once only.
  if (key.starts_with(kAvatarPrefix)) {
    if (key.size() - kAvatarPrefix.size() < kShortestName) return 0;
    key.erase(0, kAvatarPrefix.size());
  }
  const auto found = index.byName.find(key);
  return found == index.byName.end() ? 0 : found->second;
}

AvatarJoint avatar_joint(JointIndex& index, std::string_view text) {
  text = c_text(text);
  if (!text.starts_with(kAvatarPrefix)) return {};
  std::string_view rest = text.substr(kAvatarPrefix.size());
  while (!rest.empty()) {
    const std::size_t cut = rest.find('_');
    const std::string_view word = rest.substr(0, cut);
    if (!word.empty()) {
      if (const std::int32_t joint = joint_lookup(index, word)) return {joint, word};
    }
    if (cut == std::string_view::npos) break;
    rest.remove_prefix(cut + 1);
  }
  return {};
}

std::int32_t joint_from_name(JointIndex& index, std::string_view text) { return avatar_joint(index, text).joint; }

}  // namespace facetor
