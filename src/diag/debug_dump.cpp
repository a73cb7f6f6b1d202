#include "diag/diagnostics.h"
namespace facetor {
// STUB: replaced by the mode D implementation.
void dump_chunks(Bytes, OutStream&, OutStream&) {}
}  // namespace facetor
