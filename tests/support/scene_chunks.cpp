#include "support/scene_chunks.h"

namespace facetor::test {

Data group(std::string_view name, Vec3 centre, Vec3 translation, std::uint16_t duplicate) {
  Data data;
  data.name(name, duplicate).axes(centre).matrix(translation);
  return data;
}

Data scene(std::string_view name) {
  Data data;
  data.name(name);
  return data;
}

Data skin(std::string_view name, const std::vector<std::int32_t>& vertices) {
  return skin_counted(name, static_cast<std::int32_t>(vertices.size()), vertices);
}

Data skin_counted(std::string_view name, std::int32_t count, const std::vector<std::int32_t>& vertices) {
  Data data;
  data.str(name).i32(count);
  for (std::int32_t vertex : vertices) data.i32(vertex);
  return data;
}

Data bone(std::string_view name, Vec3 centre) {
  Data data;
  data.name(name).axes(centre).matrix();
  return data;
}

Data join(const JoinSpec& spec) {
  Data data;
  data.name(spec.name).axes(spec.centre).matrix();
  for (int i = 0; i < 21; ++i) data.f32(static_cast<float>(i));
  data.u16(spec.mask);
  for (std::uint16_t bit : {0x0001, 0x0002, 0x0004, 0x0010, 0x0020, 0x0040}) {
    if (spec.mask & bit) data.u16(bit).floats({0.5f, -1, 1});
  }
  return data.str(spec.linked1).str(spec.linked2);
}

Data vcol(const std::vector<ColourEntry>& entries) {
  Data data;
  data.i32(static_cast<std::int32_t>(entries.size()));
  for (const ColourEntry& entry : entries) {
    data.i32(entry.face).i32(static_cast<std::int32_t>(entry.colours.size()));
    for (std::uint32_t colour : entry.colours) data.u32(colour);
  }
  return data;
}

Data hidn(std::uint16_t flags) {
  Data data;
  data.u16(flags);
  return data;
}

}  // namespace facetor::test
