// A memory stream keeps large outputs in fixed blocks; what it returns must be
// exactly what a single growing buffer would hold, across block boundaries
// and after a rewind.
#include <gtest/gtest.h>

#include <string>

#include "io/out_stream.h"

namespace facetor {
namespace {

std::string pattern(std::size_t size, char salt) {
  std::string text(size, '\0');
  for (std::size_t i = 0; i < size; ++i) text[i] = static_cast<char>('a' + (i * 7 + salt) % 26);
  return text;
}

TEST(MemoryBlocks, RewindOverwritesAcrossABoundaryAndKeepsTheRest) {
  OutStream stream = out_memory(StreamMode::Binary);
  const std::string body = pattern((1 << 20) + 100, 3);
  out_write(stream, body);
  out_rewind(stream);
  const std::string head = pattern((1 << 20) + 5, 4);
  out_write(stream, head);
  EXPECT_EQ(out_contents(stream), head + body.substr(head.size()));
}

TEST(MemoryBlocks, TextModeLineEndsAtABlockBoundary) {
  OutStream stream = out_memory(StreamMode::Text);
  const std::string filler((1 << 20) - 1, 'x');
  out_write(stream, filler + "\nend\n");
  EXPECT_EQ(out_contents(stream), filler + "\r\nend\r\n");
}

}  // namespace
}  // namespace facetor
