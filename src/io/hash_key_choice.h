// For tests, which show that indexes give the same answers under every key
// by choosing keys; the program itself never includes this header.
#pragma once

#include "io/hash.h"

namespace facetor {

// Replaces the process's key for indexes made from now on.
void set_process_hash_key(HashKey key);

}  // namespace facetor
