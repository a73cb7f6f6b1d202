// Small COB files that reach every chunk handler and every mode: the seeds
// of the fuzzers, the models of the damage test, and regression inputs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace facetor::fuzz {

struct SeedModel {
  std::string name;  // file name, ".cob"
  std::vector<std::uint8_t> bytes;
};

std::vector<SeedModel> seed_models();

}  // namespace facetor::fuzz
