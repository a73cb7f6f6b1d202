#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "rwx/proto_writer.h"

namespace facetor {
namespace {

const char kIdentity[] = "  Transform 1. 0. 0. 0. 0. 1. 0. 0. 0. 0. 1. 0. 0. 0. 0. 1.\n";

// A writer on a binary memory stream (line ends stay "\n") with the
// identity as base transform.
struct Writer {
  OutStream out = out_memory(StreamMode::Binary);
  RwxWriterState state;
  Writer() { state.out = &out; }
  std::string write(const Prototype& proto) {
    const std::size_t before = out_contents(out).size();
    write_prototype(state, proto, Transform{}, false);
    return out_contents(out).substr(before);
  }
};

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::vector<std::string> lines_starting(const std::string& text, const std::string& prefix) {
  std::vector<std::string> found;
  for (const std::string& line : lines_of(text)) {
    if (line.rfind(prefix, 0) == 0) found.push_back(line);
  }
  return found;
}

void add_face(Prototype& proto, std::initializer_list<std::uint32_t> corners, const SurfaceRef& surface) {
  proto_add_face(proto, std::vector<std::uint32_t>(corners), surface);
}

void add_vertex(Prototype& proto, float x, float y, float z) {
  MeshVertex& vertex = proto.vertices.emplace_back();
  vertex.x = x;
  vertex.y = y;
  vertex.z = z;
}

Prototype named(const char* name) {
  Prototype p;
  p.name = name;
  return p;
}

// Three vertices that no adjustment touches and that never merge.
Prototype triangle_proto(const char* name) {
  Prototype p = named(name);
  add_vertex(p, 1, 0, 0);
  add_vertex(p, 0, 1, 0);
  add_vertex(p, 0, 0, 1);
  return p;
}

SurfaceRef red_surface() {
  SurfaceRef s = surface_new();
  s->ambient = 0.5f;
  s->diffuse = 1.0f;
  surface_set_color(*s, 1, 0, 0);
  s->addressMode = 1;
  return s;
}

TEST(ProtoWriterTest, ExampleTriangleByteForByte) {
  OutStream out = out_memory(StreamMode::Text);
  RwxWriterState writer;
  writer.out = &out;
  Prototype p = named("tri");
  add_vertex(p, 0, 0, 0);
  add_vertex(p, 1, 0, 0);
  add_vertex(p, 0, 1, 0);
  add_face(p, {0, 1, 2}, red_surface());
  write_prototype(writer, p, Transform{}, false);
  EXPECT_EQ(out_contents(out),
            " ProtoBegin tri\r\n"
            "  TextureModes Lit\r\n"
            "  OpacityFix off\r\n"
            "  Transform 1. 0. 0. 0. 0. 1. 0. 0. 0. 0. 1. 0. 0. 0. 0. 1.\r\n"
            "  Vertex 0.0001 0. 0. # 1\r\n"
            "  Vertex 1. 0. 0. # 2\r\n"
            "  Vertex 0. 1. 0. # 3\r\n"
            "  Surface 0.5 1. 0.\r\n"
            "  Color 1. 0. 0.\r\n"
            "  Opacity 1.\r\n"
            "  Texture NULL\r\n"
            "  LightSampling Facet\r\n"
            "  Triangle 1 2 3\r\n"
            " ProtoEnd # tri\r\n");
  EXPECT_FALSE(writer.skinnedFlag);
}

TEST(ProtoWriterTest, EqualCoordinatesAreAdjustedBeforeComparing) {
  Writer w;
  Prototype p = named("p");
  add_vertex(p, 0, 0, 0);
  add_vertex(p, 0, -0.0f, 0);
  add_vertex(p, 0, 0, 0);
  add_vertex(p, 2, 2, 2);
  add_vertex(p, 1, 0, 0);
  add_vertex(p, 0.0001f, 0, 0);  // equals the adjusted origin
  add_face(p, {0, 1, 2, 3, 4, 5}, red_surface());
  const std::string text = w.write(p);
  EXPECT_EQ(lines_starting(text, "  Vertex "),
            (std::vector<std::string>{"  Vertex 0.0001 0. 0. # 1", "  Vertex 2.0001 2. 2. # 2",
                                      "  Vertex 1. 0. 0. # 3"}));
  EXPECT_EQ(lines_starting(text, "  Polygon"), (std::vector<std::string>{"  Polygon 6 1 1 1 2 3 1"}));
}

TEST(ProtoWriterTest, MaterialLinesAppearOnlyOnChange) {
  SurfaceRef s1 = red_surface();
  s1->texture = "wood";
  auto next = [](const SurfaceRef& from, void (*change)(SurfaceState&)) {
    SurfaceRef s = std::make_shared<SurfaceState>(*from);
    change(*s);
    return s;
  };
  SurfaceRef s2 = next(s1, [](SurfaceState& s) { s.lightSampling = 1; });
  SurfaceRef s3 = next(s2, [](SurfaceState& s) { s.texture = "WOOD"; });
  SurfaceRef s4 = next(s3, [](SurfaceState& s) { s.mask = "woodm"; });
  SurfaceRef s5 = next(s4, [](SurfaceState& s) { s.green = 255; });
  SurfaceRef s6 = next(s5, [](SurfaceState& s) { s.opacity = 128; });
  SurfaceRef s7 = next(s6, [](SurfaceState& s) { s.addressMode = 3; });
  SurfaceRef s8 = next(s7, [](SurfaceState& s) { s.mipmap = 0; });
  SurfaceRef s9 = next(s8, [](SurfaceState& s) { s.texture.reset(); });
  SurfaceRef s10 = next(s9, [](SurfaceState& s) { s.mask = "WOODM"; });  // texture still absent
  SurfaceRef s11 = next(s10, [](SurfaceState& s) { s.ambient = 0.25f; });  // surface line only once
  Prototype p = triangle_proto("p");
  // Faces are written newest first: add them in reverse to write s1 first.
  for (const SurfaceRef& s : {s11, s10, s9, s8, s7, s6, s5, s4, s3, s2, s1, s1}) add_face(p, {0, 1, 2}, s);
  Writer w;
  EXPECT_EQ(w.write(p),
            std::string(" ProtoBegin p\n  TextureModes Lit\n  OpacityFix off\n") + kIdentity +
                "  Vertex 1. 0. 0. # 1\n"
                "  Vertex 0. 1. 0. # 2\n"
                "  Vertex 0. 0. 1. # 3\n"
                "  Surface 0.5 1. 0.\n"
                "  Color 1. 0. 0.\n"
                "  Opacity 1.\n"
                "  Texture wood\n"
                "  LightSampling Facet\n"
                "  Triangle 1 2 3\n"
                "  Triangle 1 2 3\n"
                "  LightSampling Vertex\n"
                "  Triangle 1 2 3\n"
                "  Triangle 1 2 3\n"
                "  Texture WOOD Mask woodm\n"
                "  Triangle 1 2 3\n"
                "  Color 1. 1. 0.\n"
                "  Triangle 1 2 3\n"
                "  Opacity 0.501961\n"
                "  Triangle 1 2 3\n"
                "  #! TextureAddressMode Clamp\n"
                "  Triangle 1 2 3\n"
                "  #! TextureMipmapState Off\n"
                "  Triangle 1 2 3\n"
                "  Texture NULL\n"
                "  Triangle 1 2 3\n"
                "  Triangle 1 2 3\n"
                "  Triangle 1 2 3\n"
                " ProtoEnd # p\n");
}

TEST(ProtoWriterTest, NameCleaningAndFaceTags) {
  const struct {
    const char* name;
    const char* cleaned;
    const char* tag;
  } cases[] = {
      {"door qz_sign 2", "door_qz_sign_2", " Tag 100"},
      {"qz_ sign", "qz__sign", ""},
      {"frame qz_picture", "frame_qz_picture", " Tag 200"},
      {"qz_picture qz_sign", "qz_picture_qz_sign", " Tag 100"},
      {"QZ_SIGN", "QZ_SIGN", ""},
  };
  for (const auto& c : cases) {
    Prototype p = triangle_proto(c.name);
    add_face(p, {0, 1, 2}, red_surface());
    Writer w;
    const auto lines = lines_of(w.write(p));
    EXPECT_EQ(lines.front(), std::string(" ProtoBegin ") + c.cleaned);
    EXPECT_EQ(lines.back(), std::string(" ProtoEnd # ") + c.cleaned);
    EXPECT_EQ(cleaned_name(p), c.cleaned);
    EXPECT_EQ(lines[lines.size() - 2], std::string("  Triangle 1 2 3") + c.tag) << c.name;
    // Sign and picture vertices carry texture coordinates even without any.
    const bool withUV = *c.tag != '\0';
    EXPECT_EQ(lines[4], withUV ? "  Vertex 1. 0. 0. UV 0. 0. # 1" : "  Vertex 1. 0. 0. # 1") << c.name;
  }
}

TEST(ProtoWriterTest, VertexNumbersBeyond16Bits) {
  Prototype p = named("big");
  for (int i = 0; i < 70000; ++i) add_vertex(p, float(i), -1, 2);
  add_face(p, {69999, 0, 65536}, red_surface());
  Writer w;
  const std::string text = w.write(p);
  EXPECT_NE(text.find("  Vertex 69999. -1. 2. # 70000\n"), std::string::npos);
  EXPECT_EQ(lines_starting(text, "  Triangle"), (std::vector<std::string>{"  Triangle 70000 1 65537"}));

  // The same text through a text-mode stream, passed on in many pieces.
  OutStream crlf = out_memory(StreamMode::Text);
  w.state.out = &crlf;
  write_prototype(w.state, p, Transform{}, false);
  std::string expected;
  for (char c : text) {
    if (c == '\n') expected += '\r';
    expected += c;
  }
  EXPECT_TRUE(out_contents(crlf) == expected);
}

}  // namespace
}  // namespace facetor
