#include "anim/seq_export.h"

#include "anim/limb_list.h"
#include "anim/seq_channel.h"
#include "anim/seq_writer.h"

namespace facetor {
namespace {

// One named rotation section per limb channel. Returns the limb count.
std::int32_t write_limb_sections(SeqWriter& writer, const std::vector<LimbChannel>& limbs) {
  std::int32_t limbCount = 0;
  for (const LimbChannel& limb : limbs) {
    if (limb.channel) limbCount += write_rotate_section(writer, limb.word, *limb.channel, false);
  }
  return limbCount;
}

// The pelvis's translation (or the built-in one) and the closing rotation.
void write_body_movement(SeqWriter& writer, const std::vector<LimbChannel>& limbs) {
  bool moved = false;
  for (const LimbChannel& limb : limbs) {
    if (limb.channel && limb.joint == kPelvisJoint && write_move_sections(writer, limb.word, *limb.channel) == 1) {
      moved = true;
      break;
    }
  }
  if (!moved) write_move_sections(writer, "dummy", default_move_channel());
  write_rotate_section(writer, "dummy", default_rotate_channel(), true);
}

}  // namespace

AnimationSummary export_animation(OutStream& out, OutStream& console, const std::string& sourceName, Bytes buffer) {
  AnimationSummary summary;
  if (!check_diag_header(buffer, console)) return summary;
  const LimbList list = collect_limbs(console, buffer);
  summary = {!list.limbs.empty(), list.unmatchedChannels, false};

  SeqExportState state;

  SeqWriter writer{state, out, console, sourceName};
  write_seq_header(writer, 0);  // reserves the header's place
  std::int32_t limbCount = write_limb_sections(writer, list.limbs);
  if (limbCount == 0) {
    limbCount = write_rotate_section(writer, "dummy", default_rotate_channel(), false);
    summary.builtInRotation = true;
  }
  write_move_marker(writer);
  if (state.moveMarker != 0) write_body_movement(writer, list.limbs);
  write_seq_header(writer, limbCount);
  return summary;
}

}  // namespace facetor
