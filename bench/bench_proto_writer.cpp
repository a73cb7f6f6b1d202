// Writing one large prototype to a memory stream: the vertex merge, the
// number format and the face lines on the hot path of every conversion.
#include <benchmark/benchmark.h>

#include "io/out_stream.h"
#include "mesh/mesh_store.h"
#include "rwx/proto_writer.h"

namespace facetor {
namespace {

// A side x side grid of textured vertices with one quad per cell, all quads
// sharing one surface state. With duplicate set, every vertex is stored
// twice, so half of them merge.
Prototype grid_proto(int side, bool duplicate) {
  Prototype proto;
  proto.name = "grid";
  SurfaceRef surface = surface_new();
  surface_set_color(*surface, 0.5f, 0.25f, 1.0f);
  surface_set_names(*surface, std::string("bricks.jpg"), std::nullopt);
  proto_add_surface(proto, surface);
  const int copies = duplicate ? 2 : 1;
  for (int copy = 0; copy < copies; ++copy) {
    for (int row = 0; row < side; ++row) {
      for (int column = 0; column < side; ++column) {
        MeshVertex& vertex = proto.vertices.emplace_back();
        vertex.x = column * 0.125f;
        vertex.y = row * 0.375f;
        vertex.z = 1.5f;
        vertex.u = column / float(side);
        vertex.v = row / float(side);
      }
    }
  }
  for (int row = 0; row + 1 < side; ++row) {
    for (int column = 0; column + 1 < side; ++column) {
      const auto corner = static_cast<std::uint32_t>(row * side + column);
      const auto next = static_cast<std::uint32_t>(side);
      const std::uint32_t corners[4] = {corner, corner + 1, corner + 1 + next, corner + next};
      proto_add_face(proto, corners, 0);
    }
  }
  return proto;
}

// With a fresh stream each round, the figure includes growing the stream's
// memory to the full text (tens of megabytes of first-touched pages); with a
// rewound stream it is the writer's own work.
void write_grid(benchmark::State& state, int side, bool duplicate, bool freshStream) {
  Prototype proto = grid_proto(side, duplicate);
  proto.hasUV = true;
  OutStream reused = out_memory(StreamMode::Text);
  std::size_t bytes = 0;
  for (auto _ : state) {
    OutStream fresh = out_memory(StreamMode::Text);
    OutStream& out = freshStream ? fresh : reused;
    out_rewind(out);
    RwxWriterState writer;
    writer.out = &out;
    write_prototype(writer, proto, Transform{}, false);
    bytes = out_memory_size(out);
    benchmark::DoNotOptimize(out_memory_size(out));
  }
  state.counters["vertices"] = static_cast<double>(proto.vertices.size());
  state.counters["faces"] = static_cast<double>(proto.faces.size());
  state.counters["bytes"] = static_cast<double>(bytes);
}

// 1000 x 1000 = one million distinct vertices and 998,001 quads.
void BM_WriteMillionVertices(benchmark::State& state) { write_grid(state, 1000, false, true); }
BENCHMARK(BM_WriteMillionVertices)->Unit(benchmark::kMillisecond);

void BM_WriteMillionVerticesRewoundStream(benchmark::State& state) { write_grid(state, 1000, false, false); }
BENCHMARK(BM_WriteMillionVerticesRewoundStream)->Unit(benchmark::kMillisecond);

// 707 x 707 x 2 = 999,698 vertices, half of them merging with the first half.
void BM_WriteMillionVerticesHalfMerged(benchmark::State& state) { write_grid(state, 707, true, true); }
BENCHMARK(BM_WriteMillionVerticesHalfMerged)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace facetor

BENCHMARK_MAIN();
