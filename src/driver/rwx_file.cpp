#include "driver/rwx_file.h"

#include "driver/version.h"
#include "mesh/mesh_store.h"
#include "rwx/clump_writer.h"

namespace facetor {
namespace {

// The outer clump: alignment and rotation as the conversion asked, the
// scale of 0.1, and the hierarchy that instances the prototypes.
void write_outer_clump(ConversionState& state, OutStream& out) {
  out_write(out, " ClumpBegin\n");
  if (state.axisAlignmentFlag) out_write(out, "  AxisAlignment ZOrientY\n");
  if (state.rotateFlag) out_write(out, "  Rotate 0 1 0 180\n  Rotate 1 0 0 -90\n");
  out_write(out, "  Scale .1 .1 .1\n");
  if (state.modelRoot) write_clump_tree(out, state.modelRoot.get(), 2, true, true);
  out_write(out, " ClumpEnd\n");
}

}  // namespace

void write_rwx_file(ConversionState& state, OutStream& out, OutStream& console,
                    const std::string& inputName, Bytes buffer) {
  state.axisAlignmentFlag = false;
  state.rotateFlag = false;
  state.writer.skinnedFlag = false;
  state.writer.out = &out;
  // A tree left from an earlier file is never written again.
  state.modelRoot.reset();

  out_printf(out, "#####  Facetor6:      V%d.%02d.%02d\n", kVersionMajor, kVersionMinor, kVersionBuild);
  out_printf(out, "#####  Source File:   %s\n", inputName.c_str());
  out_write(out, "ModelBegin\n");
  load_and_convert(state, console, inputName, buffer);
  if (!state.writer.skinnedFlag) write_outer_clump(state, out);
  out_write(out, "ModelEnd\n");

  state.modelRoot.reset();
  state.writer.out = nullptr;
}

}  // namespace facetor
