#include "support/hostile_models.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <random>

#include "support/cob_builder.h"
#include "support/scene_chunks.h"

namespace facetor::test {
namespace {

Face triangle(std::int32_t a, std::int32_t b, std::int32_t c, std::uint16_t material = 0, std::uint8_t flags = 0) {
  return Face{flags, material, {{a, 0}, {b, 0}, {c, 0}}};
}

// The fixed mixer and combiner every hash index used before keys were hashed with a secret key.
std::uint64_t old_mix(std::uint64_t v) {
  v = (v ^ (v >> 30)) * 0xbf58476d1ce4e5b9ULL;
  v = (v ^ (v >> 27)) * 0x94d049bb133111ebULL;
  return v ^ (v >> 31);
}

std::uint64_t old_corner_key_hash(std::int32_t source) {
  const std::uint64_t h = old_mix(static_cast<std::uint32_t>(source));
  return old_mix(h ^ (0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2)));
}

std::vector<std::uint8_t> with_object(const Data& polhData, const std::vector<MaterialSpec>& materials) {
  CobFile file;
  file.chunk("PolH", 1, 0, polhData);
  std::int32_t id = 2;
  for (const MaterialSpec& material : materials) file.chunk("Mat1", id++, 1, mat1(material));
  return file.end(id).bytes;
}

}  // namespace

std::vector<std::uint8_t> split_model(int triangles) {
  std::vector<Vec3> vertices;
  std::vector<Face> faces;
  for (int i = 0; i < triangles; ++i) {
    const auto x = static_cast<float>(i);
    const auto first = static_cast<std::int32_t>(vertices.size());
    vertices.insert(vertices.end(), {{x, 0, 0}, {x + 1, 0, 0}, {x, 1, 0}});
    faces.push_back(triangle(first, first + 1, first + 2, static_cast<std::uint16_t>(i % 2)));
  }
  MaterialSpec unlit;
  unlit.number = 1;
  unlit.shader = 'f';
  return with_object(polh("checkerboard", vertices, {}, faces), {MaterialSpec{}, unlit});
}

std::vector<std::uint8_t> dense_holes_model(HoleLayout layout, int holes) {
  std::vector<Vec3> vertices = {{0, 0, 0}, {20, 0, 0}, {20, 20, 0}, {0, 20, 0}};
  std::vector<Face> faces = {face({0, 1, 2, 3})};
  std::mt19937 random(11);
  std::uniform_real_distribution<float> patch(9.5f, 10.5f);
  const int side = std::max(1, static_cast<int>(std::ceil(std::sqrt(static_cast<double>(holes)))));
  for (int i = 0; i < holes; ++i) {
    const auto first = static_cast<std::int32_t>(vertices.size());
    if (layout == HoleLayout::scattered) {
      for (int k = 0; k < 3; ++k) vertices.push_back({patch(random), patch(random), 0});
    } else if (layout == HoleLayout::grid) {
      const float step = 0.01f / static_cast<float>(side);
      const float x = 10 + static_cast<float>(i % side) * step, y = 10 + static_cast<float>(i / side) * step;
      vertices.insert(vertices.end(), {{x, y, 0}, {x + step / 4, y, 0}, {x, y + step / 4, 0}});
    } else if (layout == HoleLayout::lattice) {  // rows of 50, 1e-7 apart: every distance within the tolerance
      const float x = 0.01f + static_cast<float>(i % 50) * 1e-7f, y = 0.01f + static_cast<float>(i / 50) * 1e-7f;
      vertices.insert(vertices.end(), {{x, y, 0}, {x + 2e-8f, y, 0}, {x, y + 2e-8f, 0}});
    } else {
      vertices.insert(vertices.end(), {{10, 10, 0}, {10, 10, 0}, {10, 10, 0}});
    }
    faces.push_back(triangle(first, first + 1, first + 2, 0, 0x08));
  }
  return with_object(polh("plate", vertices, {}, faces), {MaterialSpec{}});
}

std::vector<std::int32_t> old_mixer_colliding_sources(int count, int bits, std::uint32_t window, std::int32_t first) {
  std::vector<std::int32_t> sources;
  const std::uint64_t mask = (std::uint64_t{1} << bits) - 1;
  for (std::int32_t s = first; static_cast<int>(sources.size()) < count && s < INT32_MAX; ++s) {
    if ((old_corner_key_hash(s) & mask) < window) sources.push_back(s);
  }
  return sources;
}

std::vector<std::uint8_t> hash_flood_model(int corners) {
  // The table ends with at least twice as many slots as keys: keys that agree below that pile up at every size.
  int bits = 6;
  while ((1 << bits) < 2 * corners) ++bits;
  const std::vector<std::int32_t> sources = old_mixer_colliding_sources(corners, bits, 1024, 16);
  std::vector<Face> faces;
  for (std::size_t i = 0; i + 2 < sources.size(); i += 3) faces.push_back(triangle(sources[i], sources[i + 1], sources[i + 2]));
  return with_object(polh("flood", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {}, faces), {MaterialSpec{}});
}

std::vector<std::uint8_t> far_optverts_model(int triangles) {
  std::vector<Vec3> vertices;
  std::vector<Face> faces;
  for (int i = 0; i < triangles; ++i) {
    const auto first = static_cast<std::int32_t>(vertices.size());
    const auto far = [i](int k) { const auto f = static_cast<float>(1e13 * (1 + (3.0 * i + k) / 1048576.0)); return Vec3{f, -f, f}; };
    vertices.insert(vertices.end(), {far(0), far(1), far(2)});
    faces.push_back(triangle(first, first + 1, first + 2));
  }
  return with_object(polh("qz_far_optverts", vertices, {}, faces), {MaterialSpec{}});
}

static CobFile pelvis() { return std::move(CobFile().chunk("PolH", 1, 0, polh("qz_pelvis", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {}, {triangle(0, 1, 2)}))); }

std::vector<std::uint8_t> empty_skins_model(int count) {
  CobFile file = pelvis();
  for (int i = 0; i < count; ++i) file.chunk("Skin", i + 2, 1, Data{});
  return file.end(count + 2).bytes;
}

std::vector<std::uint8_t> tendon_model(int count) {
  CobFile file = pelvis();
  const Data link = join(JoinSpec{"qz_rthip", {0, 0, 0}, 0, "qz_pelvis", "qz_rthip"});
  const Data tendon = skin("qz_lfhip>tendon", {0});
  std::int32_t id = 2;
  for (int i = 0; i < count; ++i) file.chunk("Join", id++, 1, link);
  for (int i = 0; i < count; ++i) file.chunk("Skin", id++, 1, tendon);
  return file.end(id).bytes;
}

// ---- Shapes of the cost search ----

namespace {

MaterialSpec textured(std::uint16_t number, std::string path, bool mask) {
  MaterialSpec spec;
  spec.number = number;
  spec.red = number % 2 ? 0.5f : 1;
  spec.maps.push_back(texture_map(std::move(path), mask ? 1 : 0));
  return spec;
}

// A triangle object under `parent` with the given chunk ID.
void add_triangle(CobFile& file, std::int32_t id, std::int32_t parent, std::string_view name) {
  file.chunk("PolH", id, parent, polh(name, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {}, {triangle(0, 1, 2)}));
}

}  // namespace

std::vector<std::uint8_t> texture_runs_model(int faces, int pathLength, bool mask, bool corners) {
  std::vector<Face> list;
  for (int i = 0; i < faces; ++i) {
    const auto material = static_cast<std::uint16_t>(i % 2);
    list.push_back(corners ? triangle(0, 1, 2, material) : Face{0, material, {}});
  }
  // No separator: the whole path is the file name, and its search for one reads every character.
  const int length = std::clamp(pathLength, 5, 32767);
  std::vector<MaterialSpec> materials;
  for (std::uint16_t m = 0; m < 2; ++m) materials.push_back(textured(m, std::string(length - 4, 'a' + m) + ".jpg", mask));
  return with_object(polh("runs", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {}, list), materials);
}

std::vector<std::uint8_t> material_cycle_model(int faces, int materials, int splitEvery, bool missing) {
  std::vector<Face> list;
  for (int i = 0; i < faces; ++i) list.push_back(triangle(0, 1, 2, static_cast<std::uint16_t>(i % std::max(1, materials))));
  std::vector<MaterialSpec> specs;
  for (int m = 0; m < std::max(1, materials); ++m) {
    MaterialSpec spec = textured(static_cast<std::uint16_t>(m), "wood" + std::to_string(m % 7) + ".jpg", false);
    spec.red = static_cast<float>(m % 256) / 255.0f;
    spec.shader = splitEvery > 0 && (m / splitEvery) % 2 ? 'f' : 'p';
    specs.push_back(std::move(spec));
  }
  return with_object(polh("cycle", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {}, list), missing ? std::vector<MaterialSpec>{} : specs);
}

std::vector<std::uint8_t> scene_chain_model(int nodes, int nameLength) {
  CobFile file;
  const std::string name(static_cast<std::size_t>(std::clamp(nameLength, 0, 32767)), 'n');
  for (std::int32_t id = 1; id <= nodes; ++id) file.chunk("Scen", id, id - 1, scene(name));
  return file.end(nodes + 1).bytes;
}

std::vector<std::uint8_t> scene_tree_model(int nodes, int branches, bool spine) {
  CobFile file;
  const std::int32_t k = std::max(2, branches);
  for (std::int32_t id = 1; id <= nodes; ++id) {
    // A spine: the first of each group of siblings parents the next group. Else level order: a k-ary heap.
    const std::int32_t level = (id - 2) / k;  // of the nodes after the first, in groups of k siblings
    const std::int32_t parent = id == 1 ? 0 : !spine ? level + 1 : level == 0 ? 1 : 2 + (level - 1) * k;
    file.chunk("Scen", id, parent, scene("s"));
  }
  return file.end(nodes + 1).bytes;
}

std::vector<std::uint8_t> nested_objects_model(int levels, int objects, bool avatar) {
  static const char* const kJoints[] = {"pelvis", "back", "neck", "head", "lfhip", "rthip", "lfknee", "rtknee"};
  CobFile file;
  std::int32_t id = 1, parent = 0;
  for (int level = 0; level < levels; ++level) {
    const std::int32_t group = id++;
    const std::string name = avatar ? (level == 0 ? "qz_body_avatar" : "qz_" + std::string(kJoints[level % 8])) : "g";
    file.chunk("Grou", group, parent, facetor::test::group(name, {1, 0, 0}));
    for (int o = 0; o < objects; ++o) add_triangle(file, id++, group, avatar ? "qz_" + std::string(kJoints[(level + o) % 8]) : "o");
    parent = group;
  }
  return file.end(id).bytes;
}

std::vector<std::uint8_t> long_face_model(int corners, int distinct) {
  std::vector<Vec3> vertices;
  const int count = std::max(1, distinct);
  for (int v = 0; v < count; ++v) vertices.push_back({std::cos(static_cast<float>(v)), std::sin(static_cast<float>(v)), 0});
  Face big{0, 0, {}};
  for (int c = 0; c < corners; ++c) big.corners.emplace_back(c % count, 0);
  return with_object(polh("fan", vertices, {}, {big}), {MaterialSpec{}});
}

std::vector<std::uint8_t> directive_mix_model(int nodes, int directives) {
  static const char* const kDirectives[] = {"_optverts", "_facer", "_collisionoff", "_wireframe", "_mipmapoff",
                                            "_tamclamp", "_opacityfixon", "_solid", "_collisionon", "_tammirror"};
  CobFile file;
  std::int32_t id = 1;
  file.chunk("Grou", id++, 0, group("top"));
  for (int n = 0; n < nodes; ++n) {
    std::string name = "qz_n";
    for (int d = 0; d < directives; ++d) name += kDirectives[(n + d) % 10];
    const std::int32_t node = id++;
    file.chunk("Grou", node, n % 3 == 0 ? 1 : node - 1, group(name.substr(0, 199)));
    add_triangle(file, id++, node, name.substr(0, 199));
  }
  return file.end(id).bytes;
}

std::vector<std::uint8_t> shared_id_model(int objects) {
  CobFile file;
  for (int o = 0; o < objects; ++o) add_triangle(file, 7, 0, "same");
  for (int o = 0; o < objects; ++o) file.chunk("Mat1", 8 + o, 7, mat1(MaterialSpec{}));
  return file.end(9 + objects).bytes;
}

std::vector<std::uint8_t> colour_model(int faces) {
  std::vector<Vec3> vertices;
  std::vector<Face> list;
  Data colours;
  colours.i32(faces);
  for (int i = 0; i < faces; ++i) {
    const auto first = static_cast<std::int32_t>(vertices.size());
    vertices.insert(vertices.end(), {{static_cast<float>(i), 0, 0}, {static_cast<float>(i), 1, 0}, {static_cast<float>(i) + 1, 0, 0}});
    list.push_back(triangle(first, first + 1, first + 2));
    colours.i32(i).i32(3).i32(0x0000FF + i).i32(0x00FF00).i32(0xFF0000);
  }
  CobFile file;
  file.chunk("PolH", 1, 0, polh("painted", vertices, {}, list));
  file.chunk("Mat1", 2, 1, mat1(MaterialSpec{}));
  file.chunk("VCol", 3, 1, colours);
  return file.end(4).bytes;
}

std::vector<HostileModel> hostile_models(double scale) {
  auto n = [scale](int size) { return std::max(1, static_cast<int>(size * scale)); };
  return {
      {"splits.cob", 'R', split_model(n(1000))},
      {"holes_scattered.cob", 'R', dense_holes_model(HoleLayout::scattered, n(2000))},
      {"holes_grid.cob", 'R', dense_holes_model(HoleLayout::grid, n(125))},
      {"holes_coincident.cob", 'R', dense_holes_model(HoleLayout::coincident, n(2000))},
      {"holes_lattice.cob", 'R', dense_holes_model(HoleLayout::lattice, n(2000))},
      {"hash_flood.cob", 'R', hash_flood_model(n(80000))},
      {"far_optverts.cob", 'R', far_optverts_model(n(20000))},
      {"empty_skins.cob", 'D', empty_skins_model(n(4000))},
      {"tendons.cob", 'R', tendon_model(n(80000))},
  };
}

}  // namespace facetor::test
