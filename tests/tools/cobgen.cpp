// cobgen: random COB files shaped like the real thing, the same bytes for a seed on every platform.
//
//   cobgen --kind KIND --seed N [--faults RATE] [--size S] [--mesh M] OUT.cob
//   cobgen --kind KIND --seeds FIRST COUNT [--faults RATE] [--size S] [--mesh M] --out DIR     writes DIR/KIND-SEED.cob
//   cobgen --kind damaged --base FILE --seeds FIRST COUNT --out DIR                writes DIR/damaged-STEM-SEED.cob
//
// KIND is one of the families of kFamilies:
//   scene    groups (nested, Scen, MBal), polygon objects with materials, textures, vertex colours, holes,
//            hidden flags and name directives
//   avatar   objects and groups named by joints in all their spellings, Bone, Join and Skin chunks, tendons,
//            animation channels
//   diag     chunks that only the dump and the listings decode (DDiv, Nail, Knuc, DefP, map records of every
//            kind, odd chunk types), with skeleton chunks, channels and objects among them
//   damaged  a file of one of the families (or FILE), then cut, overwritten and spliced byte by byte
// RATE (default 0.02) is the chance, at each place where a file can go wrong, that it does: wrong sizes and
// counts, unknown kinds and types, cut chunks, out-of-range indices, repeated or dangling IDs, extreme floats,
// names at and over every capacity. Each file draws its own rate from 0 to 4 times RATE, so some are sound.
// S (default 1) scales the number of objects and chunks of a file; M (default 1) the vertices, faces and holes of
// each polygon object (a grid's side by its square root), for files whose lists span megabytes.
#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "io/float_bits.h"
#include "joints/joint_table.h"
#include "support/cob_builder.h"

namespace {

using facetor::test::CobFile;
using facetor::test::Data;
using Bytes = std::vector<std::uint8_t>;
using Strings = std::initializer_list<std::string>;

// splitmix64: a small generator whose sequence is fixed by its seed alone.
struct Rng {
  std::uint64_t state = 0;
  std::uint64_t next() {
    std::uint64_t z = (state += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
  }
  int below(std::size_t n) { return n == 0 ? 0 : static_cast<int>(next() % n); }
  int between(int low, int high) { return low + below(static_cast<std::size_t>(high - low + 1)); }
  bool chance(double p) { return static_cast<double>(next() >> 11) * 0x1p-53 < p; }
  float real(float low, float high) { return low + (high - low) * (static_cast<float>(next() >> 40) * 0x1p-24f); }
  template <class List>
  auto pick(const List& items) {
    return items.begin()[below(items.size())];
  }
  template <class T>
  T pick(std::initializer_list<T> items) {
    return items.begin()[below(items.size())];
  }
};

const std::vector<std::string> kDirectives = {
    "_avatar",        "_optverts", "_v3",        "_facer",   "_collisionon", "_collisionoff", "_solid",
    "_wireframe",     "_mipmapon", "_mipmapoff", "_tamwrap", "_tamclamp",    "_tammirror",    "_opacityfixon",
    "_opacityfixoff", "_picture",  "_sign"};
const std::vector<std::string> kTextures = {"wood.jpg",
                                            "maps/Brick.BMP",
                                            "C:\\tex\\grass.png",
                                            "c:\\TEX\\GRASS.PNG",
                                            "dir/",
                                            "noext",
                                            "a.b.c.tga",
                                            "",
                                            "stone.JPEG",
                                            "textures/a_very_long_texture_file_name_of_many_letters.jpg",
                                            "./x.gif",
                                            "sub\\dir/mixed.rgb"};
// Text capacities of the readers and writers: joint words, image names, directive copies, names, buffers.
const std::vector<int> kCapacities = {3, 16, 17, 31, 32, 99, 100, 199, 200, 399, 400, 499, 500, 1003, 1004};
// NaNs, infinities, the largest, denormals, -0, 1e13, and 5e-7, 1e-6, 2e-6 around the tolerance.
const std::vector<std::uint32_t> kExtremeFloats = {0x7fc00000, 0xffc00000, 0x7f800001, 0x7f800000, 0xff800000,
                                                   0x7f7fffff, 0xff7fffff, 0x00000001, 0x006ce3ee, 0x80000000,
                                                   0x55118000, 0x3506bf3f, 0x358637bd, 0x36064c8c, 0x4e6e6b28};

struct Gen {
  Rng rng;
  double rate = 0;
  int size = 1;
  int mesh = 1;
  CobFile file;
  std::int32_t lastId = 0;
  std::vector<std::int32_t> ids, groups;  // every chunk ID handed out; group IDs

  bool fault() { return rng.chance(rate); }
  int count(int low, int high) { return rng.between(low, high) * size; }
  int mesh_count(int low, int high) { return count(low, high) * mesh; }
  // The next ID, or under a fault one handed out before, 0, -1 or the largest.
  std::int32_t id() {
    const std::vector<std::int32_t>& taken = rng.chance(0.5) && !groups.empty() ? groups : ids;
    ids.push_back(!fault()                            ? ++lastId
                  : rng.chance(0.7) && !taken.empty() ? rng.pick(taken)
                                                      : rng.pick({0, -1, INT32_MAX}));
    return ids.back();
  }
  // The given parent, or under a fault any ID handed out or one that names nothing.
  std::int32_t parent(std::int32_t real) {
    return !fault() ? real : rng.chance(0.7) && !ids.empty() ? rng.pick(ids) : rng.between(-5, lastId + 1000);
  }
  float f(float value) { return fault() ? facetor::float_from_bits(rng.pick(kExtremeFloats)) : value; }
  float coord() { return f(rng.chance(0.5) ? static_cast<float>(rng.between(-40, 40)) / 4 : rng.real(-10, 10)); }
  float unit() { return f(rng.chance(0.3) ? static_cast<float>(rng.between(0, 4)) / 4 : rng.real(0, 1)); }

  // A name at or beside one of the capacities, a NUL inside now and then.
  std::string label(std::string base) {
    if (!fault()) return base;
    const int length = std::max(0, rng.pick(kCapacities) + rng.between(-1, 1));
    while (static_cast<int>(base.size()) < length)
      base += rng.chance(0.2) ? '_' : static_cast<char>('a' + rng.below(26));
    base.resize(static_cast<std::size_t>(length));
    if (length > 0 && rng.chance(0.1)) base[rng.below(base.size())] = '\0';
    return base;
  }
  // Signed 16-bit length and characters; under a fault the length says otherwise.
  Data& text(Data& d, const std::string& s) {
    if (!fault()) return d.str(s);
    return d.i16(rng.pick({-1, -32768, 32767, 0, static_cast<int>(s.size()) + rng.between(1, 40)})).raw(s);
  }
  Data& name(Data& d, const std::string& s) {
    return text(d.u16(rng.chance(0.8) ? 0 : rng.pick({1, 2, 3, 17, 65535})), label(s));
  }
  Data& floats(Data& d, int n, const std::function<float()>& value) {
    while (n-- > 0) d.f32(value());
    return d;
  }
  // Name, local axes (centre, then mostly the unit axes) and position (identity with a translation, or any).
  Data head(const std::string& s) {
    Data d;
    floats(name(d, s), 3, [&] { return coord(); });
    const bool unitAxes = rng.chance(0.8), identity = rng.chance(0.7);
    for (int i = 0; i < 9; ++i) d.f32(unitAxes ? f(i % 4 == 0 ? 1.0f : 0.0f) : coord());
    for (int i = 0; i < 12; ++i) d.f32(i % 4 == 3 ? coord() : identity ? f(i % 5 == 0 ? 1.0f : 0.0f) : rng.real(-2, 2));
    return d;
  }

  // A chunk whose type, size and data may go wrong: other letter cases, an unknown type, a size that lies, data
  // cut short (with its full size or the cut one); data of a later version after the known fields.
  void chunk(std::string type, std::int32_t chunkId, std::int32_t parentId, Data data) {
    const bool material = type == "Mat1";  // whose trailing bytes are read as map records
    if (rng.chance(0.05))
      for (char& c : type) c = std::isalpha(static_cast<unsigned char>(c)) && rng.chance(0.5) ? c ^ 0x20 : c;
    if (fault()) type = rng.pick(Strings{"Xyzw", "Mat2", "QQQQ", std::string("P\0lH", 4), std::string(4, '\0')});
    auto declared = static_cast<std::int32_t>(data.size());
    if (fault()) {
      data.bytes.resize(static_cast<std::size_t>(rng.below(data.size() + 1)));
      if (rng.chance(0.5)) declared = static_cast<std::int32_t>(data.size());
    }
    if (fault())
      declared = rng.pick({declared + rng.between(-8, 8), rng.between(0, 5), -1, -20, INT32_MAX, declared + 100000});
    if (!material && rng.chance(0.1)) {
      const int extra = rng.between(1, 9);
      data.raw(std::string(static_cast<std::size_t>(extra), '\xEE'));
      declared = static_cast<std::int32_t>(static_cast<std::uint32_t>(declared) + (fault() ? 0 : extra));
    }
    file.chunk_sized(type, chunkId, parentId, data, declared, rng.below(3), rng.below(9));
  }
};

std::string cased(Gen& g, std::string word) {  // the word in random letter cases now and then
  if (g.rng.chance(0.3))
    for (char& c : word) c = g.rng.chance(0.5) ? static_cast<char>(std::toupper(static_cast<unsigned char>(c))) : c;
  return word;
}
std::string joint_word(Gen& g) { return std::string(g.rng.pick(facetor::joint_name_table()).name); }
// "qz_" (or a spelling that is no such prefix), the word, then directives.
std::string directive_name(Gen& g, const std::string& word, int directives) {
  std::string name = g.rng.chance(0.85) ? "qz_" : g.rng.pick(Strings{"QZ_", "Qz_", "", "q_"});
  name += g.rng.chance(0.2) ? "body_" + word : word;
  while (directives-- > 0) name += cased(g, g.rng.pick(kDirectives));
  if (g.rng.chance(0.1)) name += std::string(g.rng.below(50) + 60, 'w') + cased(g, g.rng.pick(kDirectives));
  return name;
}

// A polygon object: a box, plates with holes, a grid or a soup of faces.
struct Counts {
  std::int32_t id;
  int vertices, faces;
};
Counts polh(Gen& g, std::int32_t id, std::int32_t parent, const std::string& name, int materials) {
  Rng& r = g.rng;
  std::vector<std::array<float, 3>> v;
  struct Face {
    std::uint8_t flags;
    int material;
    std::vector<int> corners;
  };
  std::vector<Face> faces;
  const auto material = [&] {  // now and then the number just past the materials, which names none
    return g.fault() ? r.pick({materials + 1, 0xFFFF, 0x8000}) : r.below(materials + r.chance(0.05));
  };
  const float s = r.chance(0.9) ? r.real(0.5f, 4) : 2000;
  const auto n = static_cast<int>(r.between(2, 5) * std::sqrt(g.mesh));
  int uvs = INT32_MAX;  // as many texture coordinates as vertices unless the shape says otherwise
  bool merge = false;   // the "_optverts" directive
  switch (r.below(4)) {
    case 0:  // a box
      for (int i = 0; i < 8; ++i) v.push_back({i & 1 ? s : -s, i & 2 ? s : -s, i & 4 ? s : -s});
      for (auto q : {std::vector{0, 1, 3, 2}, {4, 6, 7, 5}, {0, 4, 5, 1}, {2, 3, 7, 6}, {0, 2, 6, 4}, {1, 5, 7, 3}})
        faces.push_back({0, material(), q});
      break;
    case 1:  // plates, each with holes of 0 to 4 corners inside, on one point or far away, or many on a lattice
      for (int p = r.between(1, 3); p > 0; --p) {
        const auto first = static_cast<int>(v.size());
        const bool lattice = r.chance(0.1);  // spaced by a sixteenth of the plate, or closer than the tolerance
        const float step = r.pick({s / 16, 1e-7f, 4.5e-5f});
        v.insert(v.end(), {{-s, -s, 0}, {s, -s, 0}, {s, s, 0}, {-s, s, 0}});
        faces.push_back({0, material(), {first, first + 1, first + 2, first + 3}});
        for (int h = lattice ? r.between(50, 250) * g.size : r.between(0, 4 * g.size) * g.mesh; h > 0; --h) {
          float x = r.chance(0.1) ? 5000 : r.real(-s, s) * 0.8f, y = r.real(-s, s) * 0.8f,
                e = r.chance(0.2) ? 0 : r.real(0.001f, s / 4);
          if (lattice) {  // near a corner of the plate, where the distances to it lie closer than the tolerance
            x = 0.01f - s + static_cast<float>(h % 16) * step, y = 0.01f - s + static_cast<float>(h / 16 % 16) * step;
            e = step / 4;
          }
          Face hole{static_cast<std::uint8_t>(r.chance(0.9) ? 0x08 : 0x0F), 0, {}};
          for (int c = 0, corners = r.chance(0.1) ? r.below(3) : r.between(3, 4); c < corners; ++c) {
            hole.corners.push_back(static_cast<int>(v.size()));
            v.push_back({x + (c == 1 || c == 2 ? e : 0), y + (c >= 2 ? e : 0), 0});
          }
          faces.push_back(hole);
        }
      }
      break;
    case 2:  // a grid whose faces take the vertices of its first row or their copies at the end, close by
      for (int i = 0; i < (n + 1) * (n + 1); ++i) v.push_back({i % (n + 1) * s / n, i / (n + 1) * s / n, 0});
      for (int i = 0; i <= n; ++i) v.push_back({v[i][0], v[i][1], r.pick({0.0f, 1e-7f, 1e-6f, 1.5e-6f, 4e-6f})});
      uvs = (n + 1) * (n + 1), merge = r.chance(0.5);
      for (int i = 0; i < n * n; ++i) {
        const int c = i / n * (n + 1) + i % n;
        faces.push_back({0, material(), {c, c + 1, c + n + 2, c + n + 1}});
        for (int& k : faces.back().corners) k += k <= n && r.chance(0.5) ? (n + 1) * (n + 1) : 0;
      }
      break;
    default:  // a soup of faces, holes among them
      for (int i = g.mesh_count(3, 30); i > 0; --i) v.push_back({g.coord(), g.coord(), g.coord()});
      for (int i = g.mesh_count(1, 20); i > 0; --i) {
        Face face{static_cast<std::uint8_t>(r.chance(0.15) ? 0x08 : r.below(8)), material(), {}};
        for (int c = r.chance(0.1) ? r.below(3) : r.between(3, 7); c > 0; --c)
          face.corners.push_back(r.below(v.size()));
        faces.push_back(face);
      }
  }
  const auto vertices = static_cast<int>(v.size());
  uvs = r.chance(0.3) ? 0 : std::min(uvs, vertices);
  Data d = g.head(merge ? name + "_optverts" : name);
  d.i32(g.fault() ? r.pick({0, -1, vertices + 1, INT32_MAX}) : vertices);
  for (const auto& p : v) d.floats({g.f(p[0]), g.f(p[1]), g.f(p[2])});
  d.i32(uvs);
  for (int i = 0; i < uvs; ++i) d.floats({g.f(v[i][0] / 4 / s), g.f(r.chance(0.2) ? -1.5f : v[i][1] / 4 / s)});
  d.i32(static_cast<int>(faces.size()) + (g.fault() ? r.between(-1, 1) : 0));
  const auto index = [&](int i) { return g.fault() ? r.pick({-1, vertices, INT32_MAX, INT32_MIN}) : i; };
  for (const Face& face : faces) {
    d.u8(face.flags).i16(g.fault() ? r.pick({-1, 32767, 0}) : static_cast<int>(face.corners.size()));
    if (!(face.flags & 0x08)) d.u16(face.material);
    for (int c : face.corners) d.i32(index(c)).i32(index(uvs ? c % uvs : 0));
  }
  g.chunk("PolH", id, parent, d);
  return {id, vertices, static_cast<int>(faces.size())};
}

void mat1(Gen& g, std::int32_t parent, int number) {
  Rng& r = g.rng;
  Data d;
  d.u16(number).u8(r.pick({'p', 'f', 'm', 'c', 'f'})).u8(r.pick({'f', 's', 'a'})).u8(r.below(180));
  d.floats({g.unit(), g.unit(), g.unit(), g.f(r.chance(0.3) ? r.pick({0.0f, 0.5f}) : 1.0f)});
  d.floats({g.unit(), g.unit(), g.unit(), g.f(1)});
  for (int i = r.below(4); i > 0; --i) {
    const char kind = g.fault() ? 'x' : r.pick({'t', 't', 'b', 'e'});
    g.text(d.u8(kind).u8(0).u8(r.below(4)), g.label(cased(g, r.pick(kTextures))));
    for (int k = kind == 't' ? 4 : kind == 'b' ? 5 : 0; k > 0; --k)
      d.f32(g.f(r.pick({0.0f, 1.0f, 2.0f, -1.0f, 0.5f, r.real(-3, 3)})));
  }
  if (r.chance(0.2)) d.raw(std::string(static_cast<std::size_t>(r.between(1, g.fault() ? 12 : 5)), '\0'));
  g.chunk("Mat1", g.id(), parent, d);
}

// The materials, vertex colours and hidden flag of an object.
void dress(Gen& g, std::int32_t object, int materials, int faces) {
  Rng& r = g.rng;
  for (int m = 0; m < materials; ++m) mat1(g, g.parent(object), r.chance(0.1) ? r.below(materials + 1) : m);
  if (r.chance(0.4)) {
    Data d;
    const int entries = r.between(0, faces);
    d.i32(g.fault() ? faces + 1 : entries);
    for (int e = 0; e < entries; ++e) {
      const int colours = r.between(0, 6);
      d.i32(g.fault() ? r.pick({-1, faces, INT32_MAX}) : r.below(faces)).i32(g.fault() ? -1 : colours);
      for (int c = 0; c < colours; ++c) d.u32(r.chance(0.1) ? 0 : static_cast<std::uint32_t>(r.next()));
    }
    g.chunk("VCol", g.id(), g.parent(object), d);
  }
  if (r.chance(0.15)) g.chunk("Hidn", g.id(), g.parent(object), Data{}.u16(r.pick({8, 0, 1, 0xFFFF})));
}

std::int32_t group(Gen& g, std::int32_t parent, const std::string& name) {
  const std::int32_t id = g.id();
  const std::string type = g.rng.chance(0.9) ? "Grou" : g.rng.pick(Strings{"MBal", "Scen"});
  Data scen;
  g.chunk(type, id, g.parent(parent), type == "Scen" ? g.name(scen, name) : g.head(name));
  g.groups.push_back(id);
  return id;
}

Counts object(Gen& g, std::int32_t parent, const std::string& name, int materials) {
  const std::int32_t id = g.id();
  const Counts counts = polh(g, id, g.parent(parent), name, materials);
  dress(g, id, materials, counts.faces);
  return counts;
}

void scene(Gen& g) {
  Rng& r = g.rng;
  for (int i = g.count(1, 8); i > 0; --i) {
    const std::int32_t parent = g.groups.empty() || r.chance(0.3) ? 0 : r.pick(g.groups);
    if (r.chance(0.5)) group(g, parent, directive_name(g, "part" + std::to_string(i), r.below(3)));
    for (int k = r.between(0, 3); k > 0; --k)
      object(g, g.groups.empty() || r.chance(0.2) ? 0 : g.groups.back(), directive_name(g, "shape", r.below(3)),
             r.below(5));
  }
}

// Join: name, axes, position, 21 floats, the mask and its records, two linked objects.
Data join(Gen& g, const std::string& name, const std::string& one, const std::string& two) {
  Data d = g.head(name);
  g.floats(d, 21, [&] { return g.coord(); });
  const auto mask = static_cast<std::uint16_t>(g.rng.chance(0.8) ? g.rng.below(0x80) : g.rng.next());
  d.u16(mask);
  for (std::uint16_t bit : {0x01, 0x02, 0x04, 0x10, 0x20, 0x40})
    if (mask & bit) d.u16(bit).floats({g.unit(), g.coord(), g.coord()});
  return std::move(g.text(g.text(d, g.label(one)), g.label(two)));
}
Data skin(Gen& g, const std::string& name, int vertices) {
  Data d;
  const int count = g.rng.between(0, vertices);
  g.text(d, g.label(name)).i32(g.fault() ? g.rng.pick({-1, count + 1, INT32_MAX}) : count);
  for (int i = 0; i < count; ++i) d.i32(g.fault() ? g.rng.pick({-1, vertices}) : g.rng.below(vertices));
  return d;
}
// Chan: leading text, type, two unused bytes, the keyframe count and the keyframes.
Data chan(Gen& g, const std::string& type) {
  Data d;
  const int keys = g.rng.between(0, 6), width = type == "rotate" || type == "ROTATE" ? 36 : 32;
  g.text(g.text(d, g.rng.chance(0.7) ? "" : "Track"), type).u16(0).i16(g.fault() ? keys + 3 : keys);
  for (int k = 0; k < keys; ++k)
    g.floats(d.f32(g.f(k * g.rng.between(1, 10))), width / 4 - 1, [&] { return g.unit(); });
  return d;
}

void avatar(Gen& g) {
  Rng& r = g.rng;
  const std::int32_t body = group(g, 0, directive_name(g, r.chance(0.8) ? "body_avatar" : "body", r.below(2)));
  struct Limb {
    std::int32_t id;
    std::string word;
    int vertices;  // 0 for a group
  };
  std::vector<Limb> limbs;
  for (int i = g.count(2, 10); i > 0; --i) {
    const std::string word = i == 1 || r.chance(0.2) ? "pelvis" : joint_word(g);
    const std::int32_t parent = r.chance(0.7) ? body : group(g, body, directive_name(g, cased(g, word), 0));
    const Counts made = object(g, parent, directive_name(g, cased(g, word), r.below(2)), r.below(3));
    limbs.push_back({made.id, word, made.vertices});
    if (parent != body) limbs.push_back({parent, word, 0});
  }
  // Bones, joints, skins and channels in an order of their own.
  for (int i = g.count(4, 24); i > 0; --i) {
    const auto& [id, word, vertices] = r.pick(limbs);
    const std::string prefix = r.chance(0.9) ? "qz_" : "QZ_", other = "qz_" + r.pick(limbs).word;
    switch (r.below(4)) {
      case 0: g.chunk("Bone", g.id(), g.parent(id), g.head(prefix + word)); break;
      case 1:
        g.chunk("Join", g.id(), g.parent(id), join(g, prefix + word, other, r.chance(0.8) ? "qz_" + word : "none"));
        break;
      case 2: {
        const std::string name = cased(g, prefix + word) + r.pick(Strings{"", "", ">tendon", ">extra", ">TENDON"});
        g.chunk("Skin", g.id(), g.parent(id), skin(g, name, vertices ? vertices : r.pick(limbs).vertices));
        break;
      }
      default: g.chunk("Chan", g.id(), g.parent(id), chan(g, r.pick(Strings{"rotate", "move", "ROTATE", "scale"})));
    }
  }
}

// The chunks the dump decodes, map records for the image list, odd types, an END before more chunks.
void diag(Gen& g) {
  Rng& r = g.rng;
  for (int i = g.count(4, 20); i > 0; --i) {
    const std::int32_t parent = g.parent(r.chance(0.5) || g.ids.empty() ? 0 : r.pick(g.ids));
    const std::string word = "qz_" + joint_word(g);
    Data d = g.head(word);
    switch (r.below(12)) {
      case 0: g.chunk("DDiv", g.id(), parent, Data{}.u16(static_cast<std::uint16_t>(r.next()))); break;
      case 1: g.chunk("Skin", g.id(), parent, skin(g, word, 40)); break;
      case 2: g.chunk("Bone", g.id(), parent, d); break;
      case 3: g.chunk("Join", g.id(), parent, join(g, word, "qz_pelvis", word)); break;
      case 4: g.chunk("Nail", g.id(), parent, g.text(d.u16(r.below(7)), g.label("nailed"))); break;
      case 5: {  // Knuc: three muscle texts, 6 + 21 floats, the mask and the floats it selects
        for (const char* muscle : {"biceps", "triceps", "contractor"}) g.text(d, g.label(muscle));
        const auto mask = static_cast<std::uint16_t>(r.chance(0.8) ? r.below(8) : r.next());
        g.floats(g.floats(d, 27, [&] { return g.coord(); }).u16(mask),
                 (mask & 1) * 4 + (mask & 2 ? 7 : 0) + (mask & 4 ? 7 : 0), [&] { return g.unit(); });
        g.chunk("Knuc", g.id(), parent, d);
        break;
      }
      case 6: {  // DefP: the type, three floor counts, the lattice and the object names
        d.u16(r.chance(0.8) ? r.pick({0, 8, 16, 64, 32}) : r.below(65536));
        for (int k = 0; k < 3; ++k) d.i16(r.between(-2, 9));
        const int objects = r.between(0, 4);
        g.floats(d, 12, [&] { return g.coord(); }).i16(g.fault() ? r.pick({-1, 32767, objects + 2}) : objects);
        for (int k = 0; k < objects; ++k) g.text(d, g.label("deformed" + std::to_string(k)));
        g.chunk("DefP", g.id(), parent, d);
        break;
      }
      case 7:
      case 8: mat1(g, parent, r.below(4)); break;
      case 9: g.chunk("Chan", g.id(), parent, chan(g, r.chance(0.5) ? "rotate" : "move")); break;
      case 10:
        g.file.chunk(r.pick(Strings{"END ", std::string("M\0t1", 4), "polh", "UNIT"}), g.id(), parent,
                     Data{}.raw(std::string(r.below(30), 'u')));
        break;
      default: object(g, parent, word, r.below(3));
    }
  }
}

// The chunk positions by the sizes in the bytes, then the end.
std::vector<std::size_t> chunk_starts(const Bytes& b) {
  std::vector<std::size_t> starts;
  for (std::size_t p = 32; p + 20 <= b.size();) {
    starts.push_back(p);
    const auto size =
        static_cast<std::int32_t>(b[p + 16] | b[p + 17] << 8 | b[p + 18] << 16 | std::uint32_t{b[p + 19]} << 24);
    if (size < 0) break;
    p += 20 + static_cast<std::size_t>(size);
  }
  starts.push_back(b.size());
  return starts;
}

// Byte-level damage: cuts, overwritten bytes and size fields, chunks repeated, dropped or retyped, a broken header.
void damage(Rng& r, Bytes& b) {
  for (int n = r.between(1, 4); n > 0 && !b.empty(); --n) {
    const std::vector<std::size_t> starts = chunk_starts(b);
    const std::size_t i = r.below(starts.size() - 1), from = std::min(starts[i], b.size());
    const std::size_t to = std::min(starts[std::min(i + 1, starts.size() - 1)], b.size());
    const auto chunk = [&] { return Bytes(b.begin() + from, b.begin() + to); };
    switch (r.below(starts.size() < 2 ? 2 : 7)) {
      case 0: b.resize(r.chance(0.1) ? r.below(52) : from + r.below(to - from + 1)); break;  // in a chunk
      case 1:
        for (int k = r.between(1, 8); k > 0; --k) b[r.below(b.size())] = r.pick({0, 0xFF, r.below(256)});
        break;
      case 2: {
        const auto size = static_cast<std::uint32_t>(r.pick({0, -1, -20, INT32_MAX, r.below(5000)}));
        for (std::size_t k = 0; k < 4 && from + 16 + k < b.size(); ++k) b[from + 16 + k] = size >> 8 * k;
        break;
      }
      case 3: {
        const Bytes piece = chunk();
        b.insert(b.begin() + std::min(r.pick(starts), b.size()), piece.begin(), piece.end());
        break;
      }
      case 4: b.erase(b.begin() + from, b.begin() + from + chunk().size()); break;
      case 5: {
        const std::string type =
            r.pick(Strings{"PolH", "Mat1", "Grou", "Skin", "Join", "Bone", "Chan", "DefP", "VCol"});
        for (std::size_t k = 0; k < 4 && from + k < b.size(); ++k) b[from + k] = type[k];
        break;
      }
      default:
        if (b.size() > 15) b[r.chance(0.5) ? 15 : r.below(9)] = r.chance(0.5) ? 'A' : 'c';
    }
  }
}

struct Family {
  std::string kind;
  void (*make)(Gen&);
};
const std::vector<Family> kFamilies = {{"scene", scene}, {"avatar", avatar}, {"diag", diag}};

std::uint64_t seed_of(const std::string& kind, std::uint64_t seed) {
  std::uint64_t h = 1469598103934665603ULL;  // FNV-1a of the kind, so that kinds draw apart
  for (char c : kind) h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ULL;
  return h ^ (seed * 0x9e3779b97f4a7c15ULL);
}

Bytes generate(const Family& family, std::uint64_t seed, double rate, int size, int mesh) {
  Gen g;
  g.rng.state = seed_of(family.kind, seed);
  g.size = std::max(1, size);
  g.mesh = std::max(1, mesh);
  g.rate = rate * g.rng.pick({0.0, 0.5, 1.0, 2.0, 4.0});
  if (g.fault()) g.file.bytes[g.rng.chance(0.5) ? 15 : 3] = g.rng.chance(0.5) ? 'A' : 'l';
  family.make(g);
  if (g.rng.chance(0.9)) g.file.end(g.id());
  if (g.rng.chance(0.15)) object(g, 0, "after_end", 1);
  return g.file.bytes;
}

Bytes make_file(const std::string& kind, const Bytes& base, std::uint64_t seed, double rate, int size, int mesh) {
  for (const Family& family : kFamilies)
    if (family.kind == kind) return generate(family, seed, rate, size, mesh);
  Rng r{seed_of(kind, seed)};
  Bytes bytes = base.empty() ? generate(r.pick(kFamilies), r.next(), rate, size, mesh) : base;
  damage(r, bytes);
  return bytes;
}

}  // namespace

int main(int argc, char** argv) {
  std::string kind, out, basePath, target;
  std::uint64_t first = 0, count = 1;
  double rate = 0.02;
  int size = 1, mesh = 1;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const auto value = [&] { return i + 1 < argc ? argv[++i] : ""; };
    if (arg == "--kind")
      kind = value();
    else if (arg == "--seed")
      first = std::strtoull(value(), nullptr, 10);
    else if (arg == "--seeds")
      first = std::strtoull(value(), nullptr, 10), count = std::strtoull(value(), nullptr, 10);
    else if (arg == "--faults")
      rate = std::atof(value());
    else if (arg == "--size")
      size = std::atoi(value());
    else if (arg == "--mesh")
      mesh = std::atoi(value());
    else if (arg == "--out")
      out = value();
    else if (arg == "--base")
      basePath = value();
    else
      target = arg;
  }
  const bool known = kind == "damaged" ||
                     std::any_of(kFamilies.begin(), kFamilies.end(), [&](const Family& f) { return f.kind == kind; });
  if (!known || out.empty() == target.empty() || (!basePath.empty() && kind != "damaged")) {
    std::fprintf(stderr,
                 "usage: cobgen --kind scene|avatar|diag|damaged --seed N [--faults RATE] [--size S] [--mesh M] OUT.cob\n"
                 "       cobgen --kind KIND --seeds FIRST COUNT [--faults RATE] [--size S] [--mesh M] [--base FILE] --out DIR\n");
    return 2;
  }
  try {
    Bytes base;
    std::string stem = kind;
    if (!basePath.empty()) {
      const std::string text = facetor::test::read_file(basePath);
      base.assign(text.begin(), text.end());
      stem += "-" + std::filesystem::path(basePath).stem().string();
    }
    if (!out.empty()) std::filesystem::create_directories(out);
    for (std::uint64_t seed = first; seed < first + count; ++seed) {
      const std::string path = out.empty() ? target : out + "/" + stem + "-" + std::to_string(seed) + ".cob";
      facetor::test::write_file(path, make_file(kind, base, seed, rate, size, mesh));
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "cobgen: %s\n", e.what());
    return 1;
  }
  return 0;
}
