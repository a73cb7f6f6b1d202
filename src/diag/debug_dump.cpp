// Mode D: a text dump of every chunk header, the decoded content of the
// skeleton and deformation chunks, and the closing tally of chunk types.
//
// The content reads are bounded by the chunk's own bytes: its data ends at
// its header + 20 + size, or at the end of the file when the size is negative
// or reaches past it. At the first value that does not fit, the dump of that
// chunk ends silently and the walk goes on with the next chunk.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "diag/chunk_tally.h"
#include "diag/diagnostics.h"
#include "io/text.h"

namespace facetor {
namespace {

// Names and texts are shown with at most this many characters: the dump's
// text buffer of 1004 bytes, terminator included.
constexpr std::size_t kTextCapacity = 1003;

// What a C string of the text shows: up to its first NUL, at most the capacity.
std::string shown(std::string_view text) { return std::string(cut_at_nul(text).substr(0, kTextCapacity)); }

// A text: signed 16-bit length and characters. A negative length, or
// characters past the end of the chunk, end the chunk's dump.
bool read_text(Reader& r, std::string& text) {
  std::int16_t length = 0;
  if (!read_i16(r, length) || length < 0) return false;
  std::string chars(static_cast<std::size_t>(length), '\0');
  if (!read_bytes(r, reinterpret_cast<std::uint8_t*>(chars.data()), length)) return false;
  text = shown(chars);
  return true;
}

// A name: characters that pass the end of the chunk leave the name empty,
// without its duplicate suffix, and the dump goes on right after the length
// field; a negative length ends the chunk's dump. The suffix follows the
// declared length, so a name holding a NUL does not show it either.
bool read_dump_name(Reader& r, std::string& name) {
  NameField field;
  if (!read_name_field(r, field) || field.length < 0) return false;
  name = field.copied ? shown(field.chars + duplicate_suffix(field.duplicate)) : std::string();
  return true;
}

bool dump_name(Reader& r, OutStream& out) {
  std::string name;
  if (!read_dump_name(r, name)) return false;
  out_printf(out, "  Name=%s\n", name.c_str());
  return true;
}

bool dump_axes(Reader& r, OutStream& out) {
  LocalAxes axes;
  if (!read_axes(r, axes)) return false;
  out_printf(out, "  Axes:\n    Center=%f %f %f\n", axes.centre[0], axes.centre[1], axes.centre[2]);
  out_printf(out, "    X=%f %f %f\n", axes.xAxis[0], axes.xAxis[1], axes.xAxis[2]);
  out_printf(out, "    Y=%f %f %f\n", axes.yAxis[0], axes.yAxis[1], axes.yAxis[2]);
  out_printf(out, "    Z=%f %f %f\n", axes.zAxis[0], axes.zAxis[1], axes.zAxis[2]);
  return true;
}

bool dump_matrix(Reader& r, OutStream& out) {
  Matrix3x4 matrix;
  if (!read_matrix(r, matrix)) return false;
  out_write(out, "  Current Position:\n");
  for (int row = 0; row < 3; ++row) {
    const float* v = matrix.rows[row];
    out_printf(out, "    Row%d=%f %f %f %f\n", row + 1, v[0], v[1], v[2], v[3]);
  }
  return true;
}

// Name, axes and current position: the start of every dumped skeleton and
// deformation chunk except Skin and DDiv.
bool dump_placement(Reader& r, OutStream& out) {
  return dump_name(r, out) && dump_axes(r, out) && dump_matrix(r, out);
}

// The seven triples of a joint's axes and connectors, under a title line.
bool dump_connectors(Reader& r, OutStream& out, const char* title) {
  static constexpr const char* kLabels[7] = {
      "Connector1 position", "Connector2 position", "Pitch axis", "Yaw axis", "Connector1 direction",
      "Roll axis (Connector2 direction)", "Vertical direction"};
  float v[21];
  if (!read_f32_array(r, v, 21)) return false;
  out_printf(out, "  %s:\n", title);
  for (int i = 0; i < 7; ++i) {
    out_printf(out, "    %s=%f %f %f\n", kLabels[i], v[3 * i], v[3 * i + 1], v[3 * i + 2]);
  }
  return true;
}

bool dump_ddiv(Reader& r, OutStream& out) {
  std::uint16_t flags = 0;
  if (!read_u16(r, flags)) return false;
  out_printf(out, "  Flags=0x%04X\n", flags);
  return true;
}

bool dump_skin(Reader& r, OutStream& out) {
  std::string text;
  if (!read_text(r, text)) return false;
  out_printf(out, "  Muscle or tendon: %s\n", text.c_str());
  std::int32_t count = 0;
  if (!read_i32(r, count)) return false;
  for (std::int32_t i = 0; i < count; ++i) {
    std::int32_t value = 0;
    if (!read_i32(r, value)) return false;
    out_printf(out, "  Vertex %d: %d\n", i, value);
  }
  return true;
}

bool dump_bone(Reader& r, OutStream& out) { return dump_placement(r, out); }

bool dump_linked_objects(Reader& r, OutStream& out) {
  for (int k = 1; k <= 2; ++k) {
    std::string text;
    if (!read_text(r, text)) return false;
    out_printf(out, "  Linked object %d: %s\n", k, text.c_str());
  }
  return true;
}

bool dump_join(Reader& r, OutStream& out) {
  struct Freedom {
    std::uint16_t bit;
    const char* name;
  };
  static constexpr Freedom kFreedoms[] = {{0x0001, "Pitch"},         {0x0002, "Yaw"},
                                          {0x0004, "Roll"},          {0x0010, "X Translation"},
                                          {0x0020, "Y Translation"}, {0x0040, "Z Translation"}};
  if (!dump_placement(r, out) || !dump_connectors(r, out, "Axes and connectors")) return false;
  std::uint16_t mask = 0;
  if (!read_u16(r, mask)) return false;
  out_printf(out, "  Degrees of freedom mask: 0x%04X\n", mask);
  for (const Freedom& freedom : kFreedoms) {
    if ((mask & freedom.bit) == 0) continue;
    std::uint16_t code = 0;
    float v[3];
    if (!read_u16(r, code) || !read_f32_array(r, v, 3)) return false;
    out_printf(out, "    0x%04X (%s): Stiffness=%f Min=%f Max=%f\n", code, freedom.name, v[0], v[1], v[2]);
  }
  return dump_linked_objects(r, out);
}

bool dump_nail(Reader& r, OutStream& out) {
  if (!dump_placement(r, out)) return false;
  std::uint16_t freedoms = 0;
  if (!read_u16(r, freedoms)) return false;
  out_printf(out, "  Degrees of freedom: %u\n", static_cast<unsigned>(freedoms));
  std::string text;
  if (!read_text(r, text)) return false;
  out_printf(out, "  Nailed object: %s\n", text.c_str());
  return true;
}

bool dump_knuckle_texts(Reader& r, OutStream& out) {
  static constexpr const char* kLabels[3] = {"Muscle1", "Muscle2", "Contractor"};
  for (const char* label : kLabels) {
    std::string text;
    if (!read_text(r, text)) return false;
    out_printf(out, "  %s: %s\n", label, text.c_str());
  }
  return true;
}

bool dump_initial_freedoms(Reader& r, OutStream& out) {
  float v[6];
  if (!read_f32_array(r, v, 6)) return false;
  out_printf(out, "  Initial degrees of freedom:\n    Pitch=%f, Yaw=%f, Roll=%f\n", v[0], v[1], v[2]);
  out_printf(out, "    TransX=%f, TransY=%f, TransZ=%f\n", v[3], v[4], v[5]);
  return true;
}

// The contractor parameters: the mask line, then one line per set bit 0 to 2.
bool dump_contractor(Reader& r, OutStream& out) {
  std::uint16_t mask = 0;
  if (!read_u16(r, mask)) return false;
  out_printf(out, "  Contractor parameters mask: 0x%04X (%s%s%s)\n", mask, (mask & 1) ? "MuscleContractor " : "",
             (mask & 2) ? "MuscleFlexor " : "", (mask & 4) ? "MuscleExtensor" : "");
  float v[7];
  if (mask & 1) {
    if (!read_f32_array(r, v, 4)) return false;
    out_printf(out, "    Contractor strength=%f width=%f length=%f falloff=%f\n", v[0], v[1], v[2], v[3]);
  }
  static constexpr const char* kOriented[2] = {"Flexor", "Extensoror"};
  for (int i = 0; i < 2; ++i) {
    if ((mask & (2 << i)) == 0) continue;
    if (!read_f32_array(r, v, 7)) return false;
    out_printf(out, "    %s orientation %f %f %f, strength=%f width=%f length=%f falloff=%f\n", kOriented[i], v[0],
               v[1], v[2], v[3], v[4], v[5], v[6]);
  }
  return true;
}

bool dump_knuc(Reader& r, OutStream& out) {
  return dump_placement(r, out) && dump_knuckle_texts(r, out) && dump_initial_freedoms(r, out) &&
         dump_connectors(r, out, "Initial joint axes and connectors") && dump_contractor(r, out);
}

const char* deformation_name(std::uint16_t type) {
  switch (type) {
    case 0: return "Object";
    case 8: return "General free-standing (cube)";
    case 16: return "Cylindrical free-standing";
    case 64: return "Planar free-standing";
    default: return "Unknown";
  }
}

bool dump_lattice(Reader& r, OutStream& out) {
  static constexpr const char* kLabels[4] = {"X0", "S", "T", "U"};
  float v[12];
  if (!read_f32_array(r, v, 12)) return false;
  out_write(out, "  Lattice:\n");
  for (int i = 0; i < 4; ++i) out_printf(out, "    %s=%f %f %f\n", kLabels[i], v[3 * i], v[3 * i + 1], v[3 * i + 2]);
  return true;
}

bool dump_defp(Reader& r, OutStream& out) {
  if (!dump_placement(r, out)) return false;
  std::uint16_t type = 0;
  if (!read_u16(r, type)) return false;
  out_printf(out, "  Deformation type: %s (%04X)\n", deformation_name(type), type);
  std::int16_t s = 0, t = 0, u = 0;
  if (!read_i16(r, s) || !read_i16(r, t) || !read_i16(r, u)) return false;
  out_printf(out, "  Number of deformation floors: S=%d T=%d U=%d\n", s, t, u);
  if (!dump_lattice(r, out)) return false;
  std::int16_t count = 0;
  if (!read_i16(r, count)) return false;
  for (int i = 1; i <= count; ++i) {
    std::string text;
    if (!read_text(r, text)) return false;
    out_printf(out, "  Object %d: %s\n", i, text.c_str());
  }
  return true;
}

using ContentDump = bool (*)(Reader&, OutStream&);

struct DumpedType {
  const char* type;
  ContentDump dump;
};

constexpr DumpedType kDumpedTypes[] = {{"DDiv", dump_ddiv}, {"Skin", dump_skin}, {"Bone", dump_bone},
                                       {"Join", dump_join}, {"Nail", dump_nail}, {"Knuc", dump_knuc},
                                       {"DefP", dump_defp}};

// Where a chunk's content ends: after its size's bytes when they lie within
// the file, else at the end of the file. Content is never read from the
// chunks that follow.
std::int32_t content_end(Bytes buffer, const ChunkAt& chunk) {
  const auto fileEnd = static_cast<std::int64_t>(
      std::min<std::size_t>(buffer.size(), std::numeric_limits<std::int32_t>::max()));
  const std::int64_t end = std::int64_t{chunk.data} + chunk.header.size;
  return static_cast<std::int32_t>(chunk.header.size >= 0 && end <= fileEnd ? end : fileEnd);
}

void dump_content(Bytes buffer, const ChunkAt& chunk, OutStream& out) {
  for (const DumpedType& dumped : kDumpedTypes) {
    if (!chunk_type_is(chunk.header, dumped.type)) continue;
    Reader r = reader_at(buffer, chunk.data, content_end(buffer, chunk));
    dumped.dump(r, out);  // a content that runs past its chunk just stops
    return;
  }
}

void write_header_line(const ChunkHeader& header, OutStream& out) {
  char type[5] = {};
  std::memcpy(type, header.type, 4);
  out_printf(out, "%4.4s V%d.%d ID=%d Parent=%d Size=%d\n", type, header.majorVersion, header.minorVersion,
             header.chunkId, header.parentId, header.size);
}

}  // namespace

void dump_chunks(Bytes buffer, OutStream& out, OutStream& console) {
  if (!check_diag_header(buffer, console)) return;
  ChunkTally tally;
  for_each_chunk(buffer, [&](const ChunkAt& chunk) {
    write_header_line(chunk.header, out);
    const std::size_t entry = tally_find_or_add(tally, chunk.header.type);
    dump_content(buffer, chunk, out);
    ++tally.entries[entry].count;
  });
  out_write(out, "\n\n");
  for (const ChunkTypeTally& entry : tally.entries) out_printf(out, "%s : %d\n", entry.type.c_str(), entry.count);
}

}  // namespace facetor
