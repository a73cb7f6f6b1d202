#include "driver/session.h"
namespace facetor {
// STUB: replaced by the driver implementation.
int run_facetor(Session&, const std::vector<std::string>&) { return 0; }
}  // namespace facetor
