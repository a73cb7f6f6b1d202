#include "anim/seq_export.h"
namespace facetor {
// STUB: replaced by the mode A implementation.
void export_animation(SeqExportState&, JointIndex&, OutStream&, OutStream&, const std::string&, Bytes) {}
}  // namespace facetor
