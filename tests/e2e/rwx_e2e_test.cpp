// Mode R end to end: the facetor executable on the sample models, and the
// RWX file frame around the conversion, within one run and across files.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "driver/rwx_file.h"
#include "e2e/e2e_support.h"
#include "support/scene_chunks.h"

namespace facetor::test {
namespace {

std::string without_cr(const std::string& text) {
  std::string plain;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    plain += text[i];
  }
  return plain;
}

std::vector<std::string> lines_of(const std::string& plain) {
  std::vector<std::string> lines;
  std::istringstream in(plain);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

bool every_line_ends_in_crlf(const std::string& text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) return false;
  }
  return !text.empty() && text.back() == '\n';
}

struct ProtoCounts {
  int vertices = 0, triangles = 0, quads = 0, polygons = 0;
};

// The prototypes of an RWX file in the order written, with their line counts.
std::vector<std::pair<std::string, ProtoCounts>> prototypes_of(const std::vector<std::string>& lines) {
  std::vector<std::pair<std::string, ProtoCounts>> protos;
  bool inside = false;
  for (const std::string& line : lines) {
    if (line.starts_with(" ProtoBegin ")) {
      protos.emplace_back(line.substr(12), ProtoCounts{});
      inside = true;
    } else if (line.starts_with(" ProtoEnd # ")) {
      inside = false;
    } else if (inside) {
      ProtoCounts& counts = protos.back().second;
      if (line.starts_with("  Vertex ")) ++counts.vertices;
      if (line.starts_with("  Triangle ")) ++counts.triangles;
      if (line.starts_with("  Quad ")) ++counts.quads;
      if (line.starts_with("  Polygon ")) ++counts.polygons;
    }
  }
  return protos;
}

// Converts a copy of a sample with the executable and returns the RWX text.
std::string convert_sample(const std::string& name) {
  const std::string source = std::string(FACETOR_SAMPLES_DIR) + "/" + name;
  TempDir dir;
  std::filesystem::copy_file(source, dir / name);
  ProcessOptions options;
  options.workingDir = dir.path;
  const ProcessResult result = run_facetor_exe({name}, options);
  EXPECT_EQ(result.exitCode, 0) << result.out;
  const std::string output = dir / (name.substr(0, name.rfind('.')) + ".rwx");
  if (!file_exists(output)) {
    ADD_FAILURE() << "no output file " << output;
    return "";
  }
  return read_file(output);
}

bool samples_present(const char* name) {
  return std::filesystem::exists(std::string(FACETOR_SAMPLES_DIR) + "/" + name);
}

// molecule.cob: the group "Nitrogen" holds four spheres, each with 114
// vertices at distinct positions (all used), 128 faces (96 quads, 32
// triangles) and one lit, opaque, untextured material: one prototype each,
// no splits; the writer merges nothing (no texture coordinates, no colours).
TEST(RwxSamples, MoleculeHasFourSpherePrototypes) {
  if (!samples_present("molecule.cob")) GTEST_SKIP() << "sample folder " FACETOR_SAMPLES_DIR " is absent";
  const std::string text = convert_sample("molecule.cob");
  EXPECT_TRUE(every_line_ends_in_crlf(text));
  const std::vector<std::string> lines = lines_of(without_cr(text));
  ASSERT_GE(lines.size(), 4u);
  EXPECT_EQ(lines[0], "#####  Facetor6:      V6.00.601");
  EXPECT_EQ(lines[1], "#####  Source File:   molecule.cob");
  EXPECT_EQ(lines[2], "ModelBegin");
  EXPECT_EQ(lines.back(), "ModelEnd");
  const auto protos = prototypes_of(lines);
  ASSERT_EQ(protos.size(), 4u);
  const char* names[] = {"sphere", "sphere_1", "sphere_3", "sphere_2"};  // file order
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(protos[i].first, names[i]);
    EXPECT_EQ(protos[i].second.vertices, 114) << names[i];
    EXPECT_EQ(protos[i].second.quads, 96) << names[i];
    EXPECT_EQ(protos[i].second.triangles, 32) << names[i];
    EXPECT_EQ(protos[i].second.polygons, 0) << names[i];
  }
  // The group node has four prototypes, no pivot and no children: its
  // instances stand in the outer clump, the last written first.
  const std::string tail = without_cr(text).substr(without_cr(text).find(" ClumpBegin\n"));
  EXPECT_EQ(tail,
            " ClumpBegin\n  Rotate 0 1 0 180\n  Rotate 1 0 0 -90\n  Scale .1 .1 .1\n"
            "  ProtoInstance sphere_2\n  ProtoInstance sphere_3\n  ProtoInstance sphere_1\n  ProtoInstance sphere\n"
            " ClumpEnd\nModelEnd\n");
}

// ---- the file frame, in process ------------------------------------------

struct RwxRun {
  ConversionState state;
  OutStream console = out_memory(StreamMode::Binary);

  std::string convert(const CobFile& file, const std::string& name = "model.cob") {
    OutStream out = out_memory(StreamMode::Text);
    write_rwx_file(state, out, console, name, file.span());
    return out_contents(out);
  }
};

const std::vector<Vec3> kTriangle = {{1, 0, 0}, {2, 0, 0}, {2, 1, 0}};

CobFile one_object(const std::string& name, MaterialSpec material = {},
                   std::vector<Face> faces = {face({0, 1, 2})}) {
  CobFile file;
  file.chunk("PolH", 1, 0, polh(name, kTriangle, {}, faces))
      .chunk("Mat1", 2, 1, mat1(material))
      .end(3);
  return file;
}

TEST(RwxFrame, LineOrderOfAPlainModel) {
  RwxRun run;
  const std::string text = run.convert(one_object("tri"));
  EXPECT_TRUE(every_line_ends_in_crlf(text));
  EXPECT_EQ(without_cr(text),
            "#####  Facetor6:      V6.00.601\n"
            "#####  Source File:   model.cob\n"
            "ModelBegin\n"
            " ProtoBegin tri\n"
            "  TextureModes Lit\n"
            "  OpacityFix off\n"
            "  Transform 1. 0. 0. 0. 0. 1. 0. 0. 0. 0. 1. 0. 0. 0. 0. 1.\n"
            "  Vertex 1. 0. 0. # 1\n"
            "  Vertex 2. 0. 0. # 2\n"
            "  Vertex 2. 1. 0. # 3\n"
            "  Surface 0.1 0.5 0.\n"
            "  Color 1. 1. 1.\n"
            "  Opacity 1.\n"
            "  Texture NULL\n"
            "  LightSampling Facet\n"
            "  Triangle 3 2 1\n"
            " ProtoEnd # tri\n"
            " ClumpBegin\n"
            "  Rotate 0 1 0 180\n"
            "  Rotate 1 0 0 -90\n"
            "  Scale .1 .1 .1\n"
            "  ProtoInstance tri\n"
            " ClumpEnd\n"
            "ModelEnd\n");
}

// Faces whose material is missing come first, so the lit run after them is
// compared with the split key left by the previous object, even one of the
// previous file.
TEST(RwxFrame, SplitKeyCarriesOverToTheNextFile) {
  const CobFile late = one_object("late", {}, {face({0, 1, 2}, 9), face({0, 1, 2}, 0)});
  RwxRun fresh;
  EXPECT_NE(fresh.convert(late).find(" ProtoBegin Internal"), std::string::npos)
      << "a run's key differs from the start values (all 0)";

  RwxRun session;
  session.convert(one_object("lit"));
  EXPECT_EQ(session.convert(late).find(" ProtoBegin Internal"), std::string::npos)
      << "the lit key of the earlier file holds";

  MaterialSpec flat;
  flat.shader = 'f';
  RwxRun flatFirst;
  flatFirst.convert(one_object("flat", flat));
  EXPECT_NE(flatFirst.convert(late).find(" ProtoBegin Internal"), std::string::npos);
}


// Two files typed at the prompts of one run: the skinned first file leaves
// out the hierarchy, the second gets it back; the second's late lit run
// keeps to the first file's split key (no "Internal" prototype).
TEST(RwxFrame, TwoFilesOfOneInteractiveRun) {
  TempDir dir;
  CobFile skinned;
  skinned.chunk("PolH", 1, 0, polh("qz_neck", kTriangle, {}, {face({0, 1, 2})}))
      .chunk("Mat1", 2, 1, mat1({}))
      .chunk("Bone", 3, 0, bone("qz_neck"))
      .end(4);
  write_file(dir / "first.cob", skinned.bytes);
  write_file(dir / "second.cob", one_object("late", {}, {face({0, 1, 2}, 9), face({0, 1, 2}, 0)}).bytes);
  ProcessOptions options;
  options.workingDir = dir.path;
  options.stdinText = "first\nR\nsecond.cob\nr\nq\n";
  const ProcessResult result = run_facetor_exe({}, options);
  EXPECT_EQ(result.exitCode, 0) << result.out;
  const std::string first = without_cr(read_file(dir / "first.rwx"));
  const std::string second = without_cr(read_file(dir / "second.rwx"));
  EXPECT_TRUE(first.ends_with(" ClumpEnd\nClumpEnd\nModelEnd\n")) << first;
  EXPECT_EQ(first.find("ProtoInstance"), std::string::npos);
  EXPECT_NE(second.find("#####  Source File:   second.cob\n"), std::string::npos);
  EXPECT_TRUE(second.ends_with("  Scale .1 .1 .1\n  ProtoInstance late\n ClumpEnd\nModelEnd\n")) << second;
  EXPECT_EQ(second.find("Internal"), std::string::npos) << second;
}

}  // namespace
}  // namespace facetor::test
