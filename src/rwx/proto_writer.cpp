#include "rwx/proto_writer.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "io/text.h"
#include "rwx/number_format.h"
#include "rwx/side_by_side.h"
#include "rwx/vertex_merge.h"

namespace facetor {
namespace {

constexpr std::size_t kNameLimit = 99;
// Text is handed to the stream in pieces of about 64 KB: large enough that
// the per-call cost vanishes, small enough to stay in the L2 cache.
constexpr std::size_t kSpillSize = 1 << 16;

// A line end's bytes, in two (the second 0 after a one-byte line end).
std::array<char, 2> two_bytes(std::string_view lineEnd) {
  std::array<char, 2> bytes{};
  std::copy(lineEnd.begin(), lineEnd.begin() + std::min<std::size_t>(lineEnd.size(), 2), bytes.begin());
  return bytes;
}

// The text of one prototype, made in place in a buffer whose bytes are left
// uninitialised (every byte is written before it is read). Without a piece,
// the buffer is the sink's own and goes to the output stream whenever it is
// full; with one, the piece's text is the buffer and grows as it fills. Its
// line ends are already those the stream writes (see out_line_end), so the
// text goes on as it is.
struct TextSink {
  OutStream& out;
  PieceText* piece = nullptr;
  std::string_view lineEnd = out_line_end(out);
  std::array<char, 2> lineEndBytes = two_bytes(lineEnd);
  std::unique_ptr<char[]> own = nullptr;  // the buffer without a piece
  char* begin = nullptr;
  char* end = nullptr;
  char* limit = nullptr;
};

TextSink stream_sink(OutStream& out) {
  TextSink sink{out};
  sink.own.reset(new char[kSpillSize]);
  sink.begin = sink.end = sink.own.get();
  sink.limit = sink.begin + kSpillSize;
  return sink;
}

// Sizes the piece's text to hold `size` bytes and points the sink at it,
// keeping the first `used` bytes.
void size_piece(TextSink& sink, std::size_t used, std::size_t size) {
  sink.piece->resize(size);
  sink.begin = sink.piece->data();
  sink.end = sink.begin + used;
  sink.limit = sink.begin + size;
}

// A sink that makes its text in `text` (which arrives empty), with room for
// what the piece text holds already.
TextSink piece_sink(OutStream& out, PieceText& text) {
  TextSink sink{out, &text};
  size_piece(sink, 0, std::max(text.capacity(), kSpillSize));
  return sink;
}

// Hands the text made so far on to the stream, or ends the piece's text
// after it.
void flush(TextSink& sink) {
  const auto used = static_cast<std::size_t>(sink.end - sink.begin);
  if (sink.piece != nullptr) {
    size_piece(sink, used, used);
    return;
  }
  out_write_as_written(sink.out, std::string_view(sink.begin, used));
  sink.end = sink.begin;
}

// Makes room for `size` bytes (at most kSpillSize without a piece) where
// the buffer has too little: the stream takes the text made so far, or the
// piece's text grows.
char* make_room(TextSink& sink, std::size_t size) {
  if (sink.piece != nullptr) {
    const auto used = static_cast<std::size_t>(sink.end - sink.begin);
    size_piece(sink, used, std::max(used + size, 2 * sink.piece->size()));
  } else {
    flush(sink);
  }
  return sink.end;
}

// Where the next `size` bytes go (at most kSpillSize without a piece).
char* room(TextSink& sink, std::size_t size) {
  return static_cast<std::size_t>(sink.limit - sink.end) >= size ? sink.end : make_room(sink, size);
}

// Text longer than the sink's own buffer goes to the stream as it is.
void put_long(TextSink& sink, std::string_view text) {
  flush(sink);
  out_write_as_written(sink.out, text);
}

// Text without line ends.
void put_plain(TextSink& sink, std::string_view text) {
  if (sink.piece == nullptr && text.size() > kSpillSize) {
    put_long(sink, text);
    return;
  }
  std::memcpy(room(sink, text.size()), text.data(), text.size());
  sink.end += text.size();
}

// The line end ("\n" or "\r\n") goes as two bytes at once, a copy of fixed
// size; a second byte beyond a one-byte line end lies past the text and is
// overwritten by what follows.
void end_line(TextSink& sink) {
  char* at = room(sink, 2);
  std::memcpy(at, sink.lineEndBytes.data(), 2);
  sink.end = at + sink.lineEnd.size();
}

// Text whose "\n" bytes end lines.
void put(TextSink& sink, std::string_view text) {
  for (std::size_t at = text.find('\n'); at != std::string_view::npos; at = text.find('\n')) {
    put_plain(sink, text.substr(0, at));
    end_line(sink);
    text.remove_prefix(at + 1);
  }
  put_plain(sink, text);
}

void put_number(TextSink& sink, float value, char terminator) {
  char* at = format_number(room(sink, kNumberTextMax + 1), value);
  if (terminator == '\n') {
    sink.end = at;
    end_line(sink);
    return;
  }
  *at++ = terminator;
  sink.end = at;
}

constexpr std::size_t kIntText = 24;  // room for any 64-bit integer's text

void put_int(TextSink& sink, long long value) {
  char* at = room(sink, kIntText);
  sink.end = std::to_chars(at, at + kIntText, value).ptr;
}

// A vertex number: never negative, but written as any integer if it were.
char* put_vertex_number(char* at, std::int32_t number) {
  if (number < 0) return std::to_chars(at, at + kIntText, number).ptr;
  return put_decimal(at, static_cast<std::uint32_t>(number));
}

}  // namespace

std::string cleaned_name(const Prototype& proto) {
  std::string name(cut_at_nul(proto.name ? *proto.name : std::string("Internal")).substr(0, kNameLimit));
  for (char& c : name) {
    if (c == ' ') c = '_';
  }
  return name;
}

namespace {

// What one call knows about the prototype being written.
struct ProtoForm {
  std::string name;
  bool sign = false;
  bool picture = false;
  bool skinned = false;
  bool withUV = false;
  bool withPrelight = false;
  bool withBoneTags = false;
};

void write_head(TextSink& sink, const Prototype& proto, const ProtoForm& form) {
  if (!form.skinned) {
    put(sink, " ProtoBegin ");
    put(sink, form.name);
    end_line(sink);
    return;
  }
  put(sink, "ClumpBegin\n Scale .1 .1 .1\n ClumpBegin\n");
  for (const JointEntry& joint : proto.joints) {
    if (joint.tag == 0) continue;
    put(sink, "  #! Bone ");
    put_int(sink, joint.tag);
    put(sink, " ");
    put_int(sink, joint.parentTag);
    put(sink, " ");
    put_number(sink, joint.x * 0.1f, ' ');
    put_number(sink, joint.y * 0.1f, ' ');
    put_number(sink, joint.z * 0.1f, '\n');
  }
}

void write_settings(TextSink& sink, const Prototype& proto, bool opacityFix) {
  if (proto.wireframe) put(sink, "  GeometrySampling Wireframe\n");
  if (proto.litTextures) put(sink, "  TextureModes Lit\n");
  put(sink, opacityFix ? "  OpacityFix on\n" : "  OpacityFix off\n");
}

void write_transform(TextSink& sink, const Transform& base, const Transform& own) {
  Transform t = base;
  compose_transform(t, own);
  put(sink, "  Transform ");
  for (int row = 0; row < 3; ++row) {
    for (int column = 0; column < 3; ++column) put_number(sink, t.m[row * 3 + column], ' ');
    put_number(sink, 0.0f, ' ');
  }
  for (float value : t.translation) put_number(sink, value, ' ');
  put_number(sink, 1.0f, '\n');
}

// Number of bone tags announced by "#! BoneTag": decided by tags 1..3 only.
int bone_tag_count(const std::uint8_t (&tags)[4]) {
  if (tags[1] == 0) return 1;
  if (tags[2] == 0) return 2;
  if (tags[3] == 0) return 3;
  return 4;
}

void write_vertex_line(TextSink& sink, const MeshVertex& vertex, const ProtoForm& form, std::int32_t number) {
  put_plain(sink, "  Vertex ");
  put_number(sink, vertex.x, ' ');
  put_number(sink, vertex.y, ' ');
  put_number(sink, vertex.z, ' ');
  if (form.withUV) {
    put_plain(sink, "UV ");
    put_number(sink, vertex.u, ' ');
    put_number(sink, vertex.v, ' ');
  }
  if (form.withPrelight) {
    put_plain(sink, "#! Prelight ");
    put_number(sink, vertex.red / 255.0f, ' ');
    put_number(sink, vertex.green / 255.0f, ' ');
    put_number(sink, vertex.blue / 255.0f, ' ');
  }
  if (form.withBoneTags) {
    put_plain(sink, "#! BoneTag ");
    put_int(sink, bone_tag_count(vertex.boneTags));
    put_plain(sink, " ");
    for (std::uint8_t tag : vertex.boneTags) {
      if (tag == 0) break;
      put_int(sink, tag);
      put_plain(sink, " ");
    }
  }
  put_plain(sink, "# ");
  sink.end = put_vertex_number(room(sink, kIntText), number);
  end_line(sink);
}

// The vertex and face lines are made in pieces of this many lines, on two
// threads when a prototype has more lines than kPiecesFrom.
constexpr std::size_t kPieceLines = 1 << 14;
constexpr std::size_t kPiecesFrom = 1 << 15;

// The output numbers of the vertices: each distinct vertex is written once,
// and every vertex gets the number (from 1) of the first vertex equal to it.
// A vertex is written where its number exceeds every earlier one.
LargeVector<std::int32_t> output_numbers(const Prototype& proto, const ProtoForm& form) {
  // Each entry turns from the first equal vertex into the output number: an
  // earlier vertex has its number by then.
  LargeVector<std::int32_t> numbers = first_equal_vertices(proto.vertices, form.withUV, form.withPrelight);
  std::int32_t written = 0;
  for (std::int32_t& number : numbers) {
    number = number >= 0 ? numbers[static_cast<std::size_t>(number)] : ++written;
  }
  return numbers;
}

// The lines of the vertices from first to end that are written, given how
// many vertices were written before first.
void write_vertex_lines(TextSink& sink, const Prototype& proto, const ProtoForm& form,
                        const LargeVector<std::int32_t>& numbers, std::size_t first, std::size_t end,
                        std::int32_t writtenBefore) {
  std::int32_t written = writtenBefore;
  for (std::size_t i = first; i < end; ++i) {
    if (numbers[i] != written + 1) continue;
    ++written;
    write_vertex_line(sink, written_vertex(proto.vertices[i]), form, written);
  }
}

const std::optional<std::string> kNoName;

// Material state last written in this prototype; the names are those of a
// state of the prototype, which outlives the writing.
struct MaterialState {
  bool firstFace = true;
  bool surfaceWritten = false;
  std::uint8_t addressMode = 1;
  std::uint8_t mipmap = 1;
  std::uint8_t red = 0, green = 0, blue = 0;
  std::uint8_t opacity = 0;
  const std::optional<std::string>* texture = &kNoName;
  const std::optional<std::string>* mask = &kNoName;
  std::uint8_t lightSampling = 0;
  std::uint32_t surface = UINT32_MAX;  // the prototype's entry those values came from
};

void write_surface_line(TextSink& sink, const Prototype& proto, const SurfaceState& s) {
  put(sink, "  Surface ");
  put_number(sink, proto.litTextures ? s.ambient : 1.0f, ' ');
  put_number(sink, proto.litTextures ? s.diffuse : 0.0f, ' ');
  put_number(sink, 0.0f, '\n');
}

void write_texture_line(TextSink& sink, const SurfaceState& s) {
  if (!s.texture) {
    put(sink, "  Texture NULL");
  } else {
    put(sink, "  Texture ");
    put(sink, cut_at_nul(*s.texture));
    if (s.mask) {
      put(sink, " Mask ");
      put(sink, cut_at_nul(*s.mask));
    }
  }
  end_line(sink);
}

// The material lines that a state brings after the last one written.
struct MaterialLines {
  bool surface = false;
  bool addressMode = false;
  bool mipmap = false;
  bool color = false;
  bool opacity = false;
  bool texture = false;
  bool lightSampling = false;
};

// The lines that s changes from last, with last taking the values written.
MaterialLines advance_material(const SurfaceState& s, MaterialState& last) {
  MaterialLines lines;
  lines.surface = !last.surfaceWritten;
  lines.addressMode = s.addressMode != last.addressMode;
  lines.mipmap = s.mipmap != last.mipmap;
  lines.color = last.firstFace || s.red != last.red || s.green != last.green || s.blue != last.blue;
  lines.opacity = last.firstFace || s.opacity != last.opacity;
  lines.texture =
      last.firstFace || !texture_names_equal(s.texture, *last.texture) || !texture_names_equal(s.mask, *last.mask);
  lines.lightSampling = last.firstFace || s.lightSampling != last.lightSampling;
  last.surfaceWritten = true;
  last.addressMode = s.addressMode;
  last.mipmap = s.mipmap;
  last.red = s.red;
  last.green = s.green;
  last.blue = s.blue;
  last.opacity = s.opacity;
  if (lines.texture) {
    last.texture = &s.texture;
    last.mask = &s.mask;
  }
  last.lightSampling = s.lightSampling;
  last.firstFace = false;
  return lines;
}

void write_material_lines(TextSink& sink, const Prototype& proto, const SurfaceState& s, MaterialLines lines) {
  if (lines.surface) write_surface_line(sink, proto, s);
  if (lines.addressMode) {
    put(sink, s.addressMode == 3 ? "  #! TextureAddressMode Clamp\n"
              : s.addressMode == 2 ? "  #! TextureAddressMode Mirror\n"
                                   : "  #! TextureAddressMode Wrap\n");
  }
  if (lines.mipmap) put(sink, s.mipmap != 0 ? "  #! TextureMipmapState On\n" : "  #! TextureMipmapState Off\n");
  if (lines.color) {
    put(sink, "  Color ");
    put_number(sink, s.red / 255.0f, ' ');
    put_number(sink, s.green / 255.0f, ' ');
    put_number(sink, s.blue / 255.0f, '\n');
  }
  if (lines.opacity) {
    put(sink, "  Opacity ");
    put_number(sink, s.opacity / 255.0f, '\n');
  }
  if (lines.texture) write_texture_line(sink, s);
  if (lines.lightSampling) put(sink, s.lightSampling != 0 ? "  LightSampling Vertex\n" : "  LightSampling Facet\n");
}

void write_face_line(TextSink& sink, std::span<const std::uint32_t> corners,
                     const LargeVector<std::int32_t>& numbers, const ProtoForm& form) {
  const std::size_t count = corners.size();
  if (count == 3) {
    put_plain(sink, "  Triangle");
  } else if (count == 4) {
    put_plain(sink, "  Quad");
  } else {
    put_plain(sink, "  Polygon ");
    put_int(sink, static_cast<long long>(count));
  }
  for (std::uint32_t corner : corners) {
    // A corner past the vertex array never comes from the mesh builder; it
    // is written as 0 rather than read out of bounds.
    const std::int32_t number = corner < numbers.size() ? numbers[corner] : 0;
    char* at = room(sink, 1 + kIntText);
    *at++ = ' ';
    sink.end = put_vertex_number(at, number);
  }
  if (form.sign) {
    put_plain(sink, " Tag 100");
  } else if (form.picture) {
    put_plain(sink, " Tag 200");
  }
  end_line(sink);
}

// The surface state whose material lines go before a face, with last taking
// its values; none for a face without a surface state, which leaves the
// tracked state as it was, nor for a face of the state last written, which
// changes nothing.
const SurfaceState* material_before(const Prototype& proto, const MeshFace& face, MaterialState& last,
                                    MaterialLines& lines) {
  const SurfaceState* surface = face_surface(proto, face);
  if (surface == nullptr || face.surface == last.surface) return nullptr;
  lines = advance_material(*surface, last);
  last.surface = face.surface;
  return surface;
}

// Faces are written newest first: face line i is that of the face i places
// from the end.
const MeshFace& face_at_line(const Prototype& proto, std::size_t line) {
  return proto.faces[proto.faces.size() - 1 - line];
}

// Face lines first to end, each preceded by the material lines that changed,
// given the material state written before first.
void write_face_lines(TextSink& sink, const Prototype& proto, const LargeVector<std::int32_t>& numbers,
                      const ProtoForm& form, std::size_t first, std::size_t end, MaterialState last) {
  for (std::size_t line = first; line < end; ++line) {
    const MeshFace& face = face_at_line(proto, line);
    MaterialLines lines;
    if (const SurfaceState* surface = material_before(proto, face, last, lines)) {
      write_material_lines(sink, proto, *surface, lines);
    }
    write_face_line(sink, face_corners(proto, face), numbers, form);
  }
}

std::size_t piece_count(std::size_t lines) { return (lines + kPieceLines - 1) / kPieceLines; }

// The vertex and face lines in pieces of kPieceLines, made two at a time and
// written in order: the vertex pieces, then the face pieces. Each piece
// starts from the count of vertices written and the material state reached
// before it.
void write_lines_in_pieces(OutStream& out, const Prototype& proto, const ProtoForm& form,
                           const LargeVector<std::int32_t>& numbers) {
  const std::size_t vertexPieces = piece_count(numbers.size());
  std::vector<std::int32_t> writtenBefore(vertexPieces);
  std::int32_t written = 0;
  for (std::size_t i = 0; i < numbers.size(); ++i) {
    if (i % kPieceLines == 0) writtenBefore[i / kPieceLines] = written;
    if (numbers[i] == written + 1) ++written;
  }
  const std::size_t faceLines = proto.faces.size();
  std::vector<MaterialState> stateBefore(piece_count(faceLines));
  MaterialState last;
  for (std::size_t line = 0; line < faceLines; ++line) {
    if (line % kPieceLines == 0) stateBefore[line / kPieceLines] = last;
    MaterialLines lines;
    material_before(proto, face_at_line(proto, line), last, lines);
  }
  auto make = [&](std::size_t piece, PieceText& text) {
    TextSink sink = piece_sink(out, text);
    if (piece < vertexPieces) {
      const std::size_t first = piece * kPieceLines;
      write_vertex_lines(sink, proto, form, numbers, first, std::min(first + kPieceLines, numbers.size()),
                         writtenBefore[piece]);
    } else {
      const std::size_t first = (piece - vertexPieces) * kPieceLines;
      write_face_lines(sink, proto, numbers, form, first, std::min(first + kPieceLines, faceLines),
                       stateBefore[piece - vertexPieces]);
    }
    flush(sink);
  };
  put_pieces_in_order(vertexPieces + stateBefore.size(), make,
                      [&out](std::string_view text) { out_write_as_written(out, text); });
}

void write_tail(TextSink& sink, const ProtoForm& form) {
  if (form.skinned) {
    put(sink, " ClumpEnd\nClumpEnd");
  } else {
    put(sink, " ProtoEnd # ");
    put(sink, form.name);
  }
  end_line(sink);
}

}  // namespace

void write_prototype(RwxWriterState& writer, const Prototype& proto, const Transform& base, bool opacityFix) {
  ProtoForm form;
  form.name = cleaned_name(proto);
  form.sign = form.name.find("qz_sign") != std::string::npos;
  form.picture = form.name.find("qz_picture") != std::string::npos;
  if (!proto.joints.empty()) writer.skinnedFlag = true;
  form.skinned = writer.skinnedFlag;
  form.withUV = proto.hasUV || form.sign || form.picture;
  form.withPrelight = proto.hasPrelight;
  form.withBoneTags = !proto.joints.empty();

  TextSink sink = stream_sink(writer.out);
  write_head(sink, proto, form);
  write_settings(sink, proto, opacityFix);
  write_transform(sink, base, proto.transform);
  const LargeVector<std::int32_t> numbers = output_numbers(proto, form);
  if (numbers.size() + proto.faces.size() > kPiecesFrom) {
    flush(sink);
    write_lines_in_pieces(writer.out, proto, form, numbers);
  } else {
    write_vertex_lines(sink, proto, form, numbers, 0, numbers.size(), 0);
    write_face_lines(sink, proto, numbers, form, 0, proto.faces.size(), MaterialState{});
  }
  write_tail(sink, form);
  flush(sink);
}

}  // namespace facetor
