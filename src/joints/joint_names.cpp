#include "joints/joint_names.h"

#include <string>
#include <unordered_map>

#include "io/text.h"
#include "joints/joint_table.h"

namespace facetor {
namespace {

constexpr std::size_t kShortestName = 3;    // the shortest names of the table, such as "obj"
constexpr std::size_t kLongestLookup = 16;  // the lookup's 17-byte name buffer; longer names are never looked up
constexpr std::string_view kAvatarPrefix = "qz_";

// The table's names (lower case, each once) by their exact bytes. The names
// are views of the constant table, so the index owns no text.
using JointIndex = std::unordered_map<std::string_view, std::int32_t>;

const JointIndex& joint_index() {
  static const JointIndex index = [] {
    JointIndex built;
    for (const JointName& entry : joint_name_table()) built.emplace(entry.name, entry.joint);
    return built;
  }();
  return index;
}

}  // namespace

std::int32_t joint_lookup(std::string_view name) {
  const JointIndex& index = joint_index();
  name = cut_at_nul(name);
  if (name.size() < kShortestName || name.size() > kLongestLookup) return 0;

  const std::string lowered = lowered_ascii(name);
  std::string_view key = lowered;
  // The prefix is taken off once only.
  if (key.starts_with(kAvatarPrefix)) {
    if (key.size() - kAvatarPrefix.size() < kShortestName) return 0;
    key.remove_prefix(kAvatarPrefix.size());
  }
  const auto found = index.find(key);
  return found == index.end() ? 0 : found->second;
}

AvatarJoint avatar_joint(std::string_view text) {
  text = cut_at_nul(text);
  if (!text.starts_with(kAvatarPrefix)) return {};
  std::string_view rest = text.substr(kAvatarPrefix.size());
  while (!rest.empty()) {
    const std::size_t cut = rest.find('_');
    const std::string_view word = rest.substr(0, cut);
    if (!word.empty()) {
      if (const std::int32_t joint = joint_lookup(word)) return {joint, word};
    }
    if (cut == std::string_view::npos) break;
    rest.remove_prefix(cut + 1);
  }
  return {};
}

std::int32_t joint_from_name(std::string_view text) { return avatar_joint(text).joint; }

}  // namespace facetor
