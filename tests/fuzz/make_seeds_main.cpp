// make_fuzz_seeds DIR: writes the project's seed models into DIR, plus, for
// the two-conversion fuzzer, pairs of them joined by the separator it splits
// its input at (DIR/pairs/).
#include <cstdio>
#include <filesystem>
#include <string>

#include "fuzz/fuzz_input.h"
#include "fuzz/seed_models.h"
#include "support/cob_builder.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_fuzz_seeds DIR\n");
    return 2;
  }
  const std::filesystem::path dir = argv[1];
  std::filesystem::create_directories(dir / "pairs");
  const auto seeds = facetor::fuzz::seed_models();
  for (const auto& seed : seeds) facetor::test::write_file((dir / seed.name).string(), seed.bytes);
  int pairs = 0;
  for (std::size_t i = 0; i < seeds.size(); ++i) {
    const auto& first = seeds[i];
    const auto& second = seeds[(i + 1) % seeds.size()];
    facetor::test::write_file((dir / "pairs" / ("pair_" + std::to_string(i) + ".bin")).string(),
                              facetor::fuzz::join_pair(first.bytes, second.bytes));
    ++pairs;
  }
  std::printf("make_fuzz_seeds: %zu models, %d pairs in %s\n", seeds.size(), pairs, dir.c_str());
  return 0;
}
