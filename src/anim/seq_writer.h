// The sequence file writer: the big-endian header, the rotation and
// translation sections of the channels, the move marker, and the progress
// lines on the console.
#pragma once

#include <cstdint>
#include <string_view>

#include "cob/container.h"
#include "io/out_stream.h"

namespace facetor {

// The running totals of one export: the largest frame written and the move
// marker (4 once a "move" channel was met).
struct SeqExportState {
  std::int16_t largestFrame = 0;
  std::int32_t moveMarker = 0;
};

struct SeqWriter {
  SeqExportState& state;
  OutStream& out;
  OutStream& console;
  std::string_view sourceName;
};

// A 16-bit big-endian count (characters + 1), the characters and a NUL. The
// text ends at its first NUL and is cut so that the count holds it.
void write_seq_string(OutStream& out, std::string_view text);

// Prints the totals line when a frame was written, rewinds the output and
// writes the header (magic, largest frame, limb count, source name, "pelvis").
void write_seq_header(SeqWriter& writer, std::int32_t limbCount);

// A "rotate" channel becomes a rotation section (named unless closing; the
// closing section negates r3) and gives 1. A "move" channel only sets the
// move marker; another type prints its skip line; both give 0. A channel
// whose layout does not fit its bytes gives 0 without a trace.
std::int32_t write_rotate_section(SeqWriter& writer, std::string_view limbName, Bytes channel, bool closing);

// A "move" channel becomes the X, Y and negated Z translation sections and
// gives 1; anything else gives 0 and writes nothing.
std::int32_t write_move_sections(SeqWriter& writer, std::string_view limbName, Bytes channel);

void write_move_marker(SeqWriter& writer);

}  // namespace facetor
