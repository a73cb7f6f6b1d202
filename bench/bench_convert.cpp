// Mode R conversion speed and memory on large models composed in memory:
// an N x N grid of textured quads in one object; the same with a square hole
// in every tenth face; the same spread over many objects under groups; and an
// "_optverts" grid whose quads each have their own corners, merged by
// position. Each model is converted to a memory output with the whole RWX
// file frame (loading, conversion, prototype and hierarchy text).
//
// The RWX text is streamed to /dev/null, as the program streams it to its
// output file, so that the peak memory is the conversion's own and not that
// of a memory copy of the output. The input sits in a buffer of its exact
// size, as the program reads it. A child process composes the model and
// hands its bytes over a pipe, so that the conversion starts with the memory
// allocator of a fresh run of the program: the composer's freed scratch
// memory, already faulted in, and the larger mapping threshold that freeing
// it leaves behind would otherwise serve the conversion of a small model
// (but not of a large one, whose blocks are mapped afresh either way) and
// bend the growth from one size to the next. Peak memory is the process's
// resident high-water mark (VmHWM), reset once the input is read, so that it
// counts the input and the conversion. The page faults are those of the
// conversion. Linux only (fork, pipe).
// Run one case per process, e.g.
//   bench_convert --benchmark_filter='^Grid/1000/'
// `bench_convert --write KIND SIDE FILE` writes the model of a case (KIND
// Grid, Holes, Groups or Optverts, SIDE x SIDE quads) to FILE instead, for
// whole runs of the program (bench/floor_runs.sh).
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "convert/conversion.h"
#include "support/cob_builder.h"

namespace facetor {
namespace {

using test::CobFile;
using test::Data;

enum class Kind { Grid, Holes, Groups, Optverts };

// PolH data of a grid of quads x0..x0+w, y0..y0+h. Corners share the grid
// vertices, or (ownCorners) every quad has four vertices of its own; texture
// coordinates are one per grid point either way. With holes, every tenth
// quad is followed by a square hole inside it.
Data grid_object(const std::string& name, int w, int h, float x0, float y0, bool ownCorners, bool holes) {
  const int holeCount = holes ? (w * h + 9) / 10 : 0;
  const int gridVertices = (w + 1) * (h + 1);
  const int vertexCount = (ownCorners ? 4 * w * h : gridVertices) + 4 * holeCount;
  Data data;
  data.name(name).axes().matrix();
  data.i32(vertexCount);
  auto grid_index = [&](int i, int j) { return j * (w + 1) + i; };
  if (ownCorners) {
    for (int j = 0; j < h; ++j) {
      for (int i = 0; i < w; ++i) {
        const float x = x0 + static_cast<float>(i), y = y0 + static_cast<float>(j);
        data.floats({x, y, 1, x + 1, y, 1, x + 1, y + 1, 1, x, y + 1, 1});
      }
    }
  } else {
    for (int j = 0; j <= h; ++j) {
      for (int i = 0; i <= w; ++i) data.floats({x0 + static_cast<float>(i), y0 + static_cast<float>(j), 1});
    }
  }
  const int holeBase = ownCorners ? 4 * w * h : gridVertices;
  int hole = 0;
  for (int q = 0; q < w * h && holes; q += 10, ++hole) {
    const float x = x0 + static_cast<float>(q % w), y = y0 + static_cast<float>(q / w);
    data.floats({x + 0.25f, y + 0.25f, 1, x + 0.75f, y + 0.25f, 1, x + 0.75f, y + 0.75f, 1, x + 0.25f, y + 0.75f, 1});
  }
  data.i32(gridVertices);
  for (int j = 0; j <= h; ++j) {
    for (int i = 0; i <= w; ++i) data.floats({static_cast<float>(i) / static_cast<float>(w), static_cast<float>(j) / static_cast<float>(h)});
  }
  data.i32(w * h + holeCount);
  hole = 0;
  for (int j = 0; j < h; ++j) {
    for (int i = 0; i < w; ++i) {
      const int q = j * w + i;
      const int uv[4] = {grid_index(i, j), grid_index(i + 1, j), grid_index(i + 1, j + 1), grid_index(i, j + 1)};
      data.u8(0).i16(4).u16(0);
      for (int k = 0; k < 4; ++k) data.i32(ownCorners ? 4 * q + k : uv[k]).i32(uv[k]);
      if (holes && q % 10 == 0) {
        data.u8(0x08).i16(4);
        for (int k = 0; k < 4; ++k) data.i32(holeBase + 4 * hole + k).i32(uv[k]);
        ++hole;
      }
    }
  }
  return data;
}

Data textured_material() {
  test::MaterialFields material;
  material.maps.push_back(test::texture_map("grid.jpg"));
  return test::mat1(material);
}

// A model of about quads quads (side x side).
CobFile make_model(Kind kind, int side) {
  CobFile file;
  std::int32_t id = 1;
  if (kind == Kind::Groups) {
    // Objects of 50 x 50 quads, twenty objects to a group.
    constexpr int kTile = 50;
    const int tiles = side / kTile;
    std::int32_t group = 0;
    for (int t = 0; t < tiles * tiles; ++t) {
      if (t % 20 == 0) {
        group = id++;
        file.chunk("Grou", group, 0, Data{}.name("tiles").axes().matrix());
      }
      const std::int32_t object = id++;
      const float x0 = static_cast<float>((t % tiles) * kTile), y0 = static_cast<float>((t / tiles) * kTile);
      file.chunk("PolH", object, group, grid_object("tile", kTile, kTile, x0, y0, false, false));
      file.chunk("Mat1", id++, object, textured_material());
    }
  } else {
    const bool optverts = kind == Kind::Optverts;
    file.chunk("PolH", id, 0,
               grid_object(optverts ? "qz_grid_optverts" : "grid", side, side, 0, 0, optverts, kind == Kind::Holes));
    file.chunk("Mat1", id + 1, id, textured_material());
    id += 2;
  }
  file.end(id);
  return file;
}

// Writes all of bytes to fd; false when the pipe fails.
bool write_all(int fd, const std::uint8_t* bytes, std::size_t size) {
  while (size > 0) {
    const ssize_t done = write(fd, bytes, size);
    if (done <= 0) return false;
    bytes += done;
    size -= static_cast<std::size_t>(done);
  }
  return true;
}

// Reads exactly size bytes from fd; false when the pipe ends early.
bool read_all(int fd, std::uint8_t* bytes, std::size_t size) {
  while (size > 0) {
    const ssize_t done = read(fd, bytes, size);
    if (done <= 0) return false;
    bytes += done;
    size -= static_cast<std::size_t>(done);
  }
  return true;
}

// The model's bytes, composed by a child process: its length first, then
// the bytes. Empty when the child or the pipe fails.
LargeVector<std::uint8_t> compose_in_child(Kind kind, int side) {
  int ends[2];
  if (pipe(ends) != 0) return {};
  const pid_t composer = fork();
  if (composer == 0) {
    close(ends[0]);
    const CobFile file = make_model(kind, side);
    const std::uint64_t size = file.bytes.size();
    std::uint8_t length[sizeof size];
    std::memcpy(length, &size, sizeof size);
    const bool sent = write_all(ends[1], length, sizeof length) && write_all(ends[1], file.bytes.data(), size);
    _exit(sent ? 0 : 1);
  }
  close(ends[1]);
  LargeVector<std::uint8_t> input;
  std::uint8_t length[sizeof(std::uint64_t)];
  if (composer > 0 && read_all(ends[0], length, sizeof length)) {
    std::uint64_t size = 0;
    std::memcpy(&size, length, sizeof size);
    input.resize(size);
    if (!read_all(ends[0], input.data(), input.size())) input.clear();
  }
  close(ends[0]);
  int status = 0;
  if (composer > 0) waitpid(composer, &status, 0);
  if (composer < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) input.clear();
  return input;
}

// Resets the process's resident high-water mark (Linux 4.0 and later).
bool reset_peak_memory() {
  std::ofstream clear("/proc/self/clear_refs");
  return static_cast<bool>(clear << "5");
}

// The resident high-water mark in MB, or -1 when it cannot be read.
double peak_memory_mb() {
  std::ifstream status("/proc/self/status");
  std::string field;
  while (status >> field) {
    if (field == "VmHWM:") {
      double kilobytes = 0;
      status >> kilobytes;
      return kilobytes / 1024.0;
    }
  }
  return -1;
}

void convert(benchmark::State& bench, Kind kind) {
  const int side = static_cast<int>(bench.range(0));
  // Every case runs once (Iterations(1)): the conversion spends its input.
  LargeVector<std::uint8_t> input = compose_in_child(kind, side);
  const std::size_t inputSize = input.size();
  if (input.empty()) {
    bench.SkipWithError("cannot compose the model");
    return;
  }
  if (!reset_peak_memory()) {
    bench.SkipWithError("cannot reset the peak memory");
    return;
  }
  rusage before{};
  getrusage(RUSAGE_SELF, &before);
  for (auto _ : bench) {
    OutStream out;
    if (!out_open_file(out, "/dev/null", StreamMode::Text)) {
      bench.SkipWithError("cannot open /dev/null");
      return;
    }
    OutStream console = out_memory(StreamMode::Binary);
    write_rwx_conversion(CarriedState{}, out, console, "bench.cob", std::move(input));
    out_close(out);
  }
  bench.counters["quads"] = static_cast<double>(side) * side;
  bench.counters["input_MB"] = static_cast<double>(inputSize) / 1e6;
  bench.counters["peak_rss_MB"] = peak_memory_mb();
  rusage after{};
  getrusage(RUSAGE_SELF, &after);
  // First touches of fresh memory: each costs the kernel a page fault.
  bench.counters["page_faults"] = static_cast<double>(after.ru_minflt - before.ru_minflt);
}

void Grid(benchmark::State& bench) { convert(bench, Kind::Grid); }
void Holes(benchmark::State& bench) { convert(bench, Kind::Holes); }
void Groups(benchmark::State& bench) { convert(bench, Kind::Groups); }
void Optverts(benchmark::State& bench) { convert(bench, Kind::Optverts); }

// 500 x 500 = 250,000 and 1000 x 1000 = 1,000,000 quads.
BENCHMARK(Grid)->Arg(500)->Arg(1000)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(Holes)->Arg(500)->Arg(1000)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(Groups)->Arg(500)->Arg(1000)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(Optverts)->Arg(500)->Arg(1000)->Unit(benchmark::kMillisecond)->Iterations(1);

// Writes the model of one case to a file; false for an unknown kind.
bool write_model(const std::string& kind, int side, const std::string& path) {
  const std::pair<const char*, Kind> kinds[] = {
      {"Grid", Kind::Grid}, {"Holes", Kind::Holes}, {"Groups", Kind::Groups}, {"Optverts", Kind::Optverts}};
  for (const auto& [name, value] : kinds) {
    if (kind == name) {
      test::write_file(path, make_model(value, side).bytes);
      return true;
    }
  }
  return false;
}

}  // namespace
}  // namespace facetor

int main(int argc, char** argv) {
  if (argc >= 2 && std::string(argv[1]) == "--write") {
    if (argc == 5 && facetor::write_model(argv[2], std::atoi(argv[3]), argv[4])) return 0;
    std::fprintf(stderr, "usage: bench_convert --write Grid|Holes|Groups|Optverts SIDE FILE\n");
    return 2;
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
