#include "diag/diagnostics.h"
namespace facetor {
// STUB: replaced by the mode I implementation.
void list_images(Bytes, OutStream&) {}
}  // namespace facetor
