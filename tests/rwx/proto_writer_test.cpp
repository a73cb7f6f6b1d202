#include <array>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "rwx/proto_writer.h"

namespace facetor {
namespace {

// Writes the prototype with the identity as base transform; "\r\n" as "\n".
std::string written(RwxWriterState& state, const Prototype& proto) {
  OutStream out = out_memory(StreamMode::Text);
  state.out = &out;
  write_prototype(state, proto, Transform{}, false);
  std::string text = out_contents(out);
  std::erase(text, '\r');
  return text;
}

Prototype with_vertices(const char* name, std::initializer_list<std::array<float, 3>> vertices) {
  Prototype p;
  p.name = name;
  for (const auto& [x, y, z] : vertices) p.vertices.push_back(MeshVertex{.x = x, .y = y, .z = z});
  return p;
}

// Every material line appears only where its value changes (faces are
// written newest first); equal vertices merge after the origin moves to
// 0.0001, -0 equal to 0; sign and picture names tag faces and give UVs.
TEST(ProtoWriterTest, MaterialLinesVertexMergeAndTagsByteForByte) {
  std::vector<SurfaceRef> surfaces = {surface_new()};
  auto next = [&](void (*change)(SurfaceState&)) {
    surfaces.push_back(std::make_shared<SurfaceState>(*surfaces.back()));
    change(*surfaces.back());
  };
  next([](SurfaceState& s) { s.ambient = 0.5f, s.diffuse = 1, s.addressMode = 1, s.texture = "wood"; });
  surface_set_color(*surfaces.back(), 1, 0, 0);
  next([](SurfaceState& s) { s.lightSampling = 1; });
  next([](SurfaceState& s) { s.texture = "WOOD", s.mask = "woodm"; });
  next([](SurfaceState& s) { s.green = 255; });
  next([](SurfaceState& s) { s.opacity = 128; });
  next([](SurfaceState& s) { s.addressMode = 3; });
  next([](SurfaceState& s) { s.mipmap = 0; });
  next([](SurfaceState& s) { s.texture.reset(); });
  next([](SurfaceState& s) { s.mask = "WOODM"; });  // texture still absent
  next([](SurfaceState& s) { s.ambient = 0.25f; });  // the surface line stands once
  Prototype p = with_vertices("door qz_sign 2", {{0, 0, 0}, {0, -0.0f, 0}, {2, 2, 2}, {0.0001f, 0, 0}, {0, 1, 0}});
  for (std::size_t i = surfaces.size() - 1; i > 0; --i) proto_add_face(p, std::vector<std::uint32_t>{3, 2, 4}, surfaces[i]);
  proto_add_face(p, std::vector<std::uint32_t>{0, 1, 2, 3, 4, 4}, surfaces[1]);
  RwxWriterState state;
  EXPECT_EQ(written(state, p),
            " ProtoBegin door_qz_sign_2\n  TextureModes Lit\n  OpacityFix off\n"
            "  Transform 1. 0. 0. 0. 0. 1. 0. 0. 0. 0. 1. 0. 0. 0. 0. 1.\n"
            "  Vertex 0.0001 0. 0. UV 0. 0. # 1\n  Vertex 2.0001 2. 2. UV 0. 0. # 2\n  Vertex 0. 1. 0. UV 0. 0. # 3\n"
            "  Surface 0.5 1. 0.\n  Color 1. 0. 0.\n  Opacity 1.\n  Texture wood\n  LightSampling Facet\n"
            "  Polygon 6 1 1 2 1 3 3 Tag 100\n  Triangle 1 2 3 Tag 100\n"
            "  LightSampling Vertex\n  Triangle 1 2 3 Tag 100\n"
            "  Texture WOOD Mask woodm\n  Triangle 1 2 3 Tag 100\n  Color 1. 1. 0.\n  Triangle 1 2 3 Tag 100\n"
            "  Opacity 0.501961\n  Triangle 1 2 3 Tag 100\n  #! TextureAddressMode Clamp\n  Triangle 1 2 3 Tag 100\n"
            "  #! TextureMipmapState Off\n  Triangle 1 2 3 Tag 100\n  Texture NULL\n  Triangle 1 2 3 Tag 100\n"
            "  Triangle 1 2 3 Tag 100\n  Triangle 1 2 3 Tag 100\n"
            " ProtoEnd # door_qz_sign_2\n");
  EXPECT_FALSE(state.skinnedFlag);
  for (const auto& [name, cleaned, tag] : {std::tuple{"qz_ sign", "qz__sign", ""}, {"frame qz_picture", "frame_qz_picture", " Tag 200"},
                                           {"qz_picture qz_sign", "qz_picture_qz_sign", " Tag 100"}, {"QZ_SIGN", "QZ_SIGN", ""}}) {
    Prototype q = with_vertices(name, {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}});
    proto_add_face(q, std::vector<std::uint32_t>{0, 1, 2}, surfaces[1]);
    const std::string text = written(state, q);
    EXPECT_NE(text.find(std::string("  Triangle 1 2 3") + tag + "\n ProtoEnd # "), std::string::npos) << text;
    EXPECT_EQ(text.find(" UV ") != std::string::npos, *tag != '\0') << text;
    EXPECT_EQ(cleaned_name(q), cleaned);
  }
}

TEST(ProtoWriterTest, VertexNumbersBeyond16Bits) {
  Prototype p = with_vertices("big", {});
  p.vertices.resize(70000);
  for (std::size_t i = 0; i < 70000; ++i) p.vertices[i].x = float(i);
  proto_add_face(p, std::vector<std::uint32_t>{69999, 0, 65536}, surface_new());
  RwxWriterState state;
  const std::string text = written(state, p);
  EXPECT_NE(text.find("  Vertex 69999. 0. 0. # 70000\n"), std::string::npos);
  EXPECT_NE(text.find("  Triangle 70000 1 65537\n"), std::string::npos);
}

}  // namespace
}  // namespace facetor
