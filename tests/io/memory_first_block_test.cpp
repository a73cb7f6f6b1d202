// The first memory block grows with the output; what the stream returns must
// not change at any of its growth steps, also after a rewind that overwrites
// the start (as the sequence writer does with its header).
#include <gtest/gtest.h>

#include <string>

#include "io/out_stream.h"

namespace facetor {
namespace {

TEST(MemoryFirstBlock, ContentsSurviveEveryGrowthStepAndRewind) {
  // Write sizes that end just below, on and just past the growth steps.
  const std::size_t sizes[] = {1, 4095, 1, 1, 4094, 3, 8190, 100000, 300000, 600000, 70000, 5};
  OutStream stream = out_memory(StreamMode::Binary);
  std::string expected;
  char next = 'a';
  for (std::size_t size : sizes) {
    const std::string piece(size, next);
    next = next == 'z' ? 'a' : static_cast<char>(next + 1);
    out_write(stream, piece);
    expected += piece;
    ASSERT_EQ(out_contents(stream), expected) << "after a write of " << size;
    out_rewind(stream);
    out_write(stream, "HEAD");
    expected.replace(0, 4, "HEAD");
    ASSERT_EQ(out_contents(stream), expected) << "after rewinding past a write of " << size;
    // Back to the end: rewrite the rest as it stands.
    out_write(stream, std::string_view(expected).substr(4));
  }
  EXPECT_EQ(out_memory_size(stream), expected.size());
}

}  // namespace
}  // namespace facetor
