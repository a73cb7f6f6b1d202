#include "driver/rwx_file.h"
namespace facetor {
// STUB: replaced by the mode R implementation.
void write_rwx_file(ConversionState&, JointIndex&, OutStream&, OutStream&, const std::string&, Bytes) {}
}  // namespace facetor
