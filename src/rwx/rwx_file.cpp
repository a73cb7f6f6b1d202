#include "rwx/rwx_file.h"

#include "io/version.h"
#include "rwx/clump_writer.h"

namespace facetor {
namespace {

// The outer clump: alignment and rotation as the conversion asked, the
// scale of 0.1, and the hierarchy that instances the prototypes.
void write_outer_clump(OutStream& out, const ConvertedModel& model) {
  out_write(out, " ClumpBegin\n");
  if (model.axisAlignmentFlag) out_write(out, "  AxisAlignment ZOrientY\n");
  if (model.rotateFlag) out_write(out, "  Rotate 0 1 0 180\n  Rotate 1 0 0 -90\n");
  out_write(out, "  Scale .1 .1 .1\n");
  if (model.root) write_clump_tree(out, model.root.get(), 2, true, true);
  out_write(out, " ClumpEnd\n");
}

}  // namespace

void write_rwx_file(OutStream& out, const std::string& inputName, const ModelConversion& convert) {
  out_printf(out, "#####  Facetor6:      V%d.%02d.%02d\n", kVersionMajor, kVersionMinor, kVersionBuild);
  out_printf(out, "#####  Source File:   %s\n", inputName.c_str());
  out_write(out, "ModelBegin\n");
  RwxWriterState writer{out};
  const ConvertedModel model = convert(writer);
  if (!writer.skinnedFlag) write_outer_clump(out, model);
  out_write(out, "ModelEnd\n");
}

}  // namespace facetor
