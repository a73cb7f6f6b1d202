// The loader finds a chunk's parent through an index; on random trees with many shared IDs it must
// attach every chunk where a plain depth-first search (node, its objects, its children) would.
#include <gtest/gtest.h>
#include <memory>
#include <random>
#include <string>
#include <vector>
#include "io/hash.h"
#include "load_helper.h"

namespace facetor::test {
namespace {

struct TreeModel {
  std::int32_t id = 0;
  std::string name;
  std::vector<std::pair<std::int32_t, std::string>> objects;
  std::vector<std::unique_ptr<TreeModel>> children;
};

// The first record carrying id, depth first; isObject tells whether it is one of the node's objects.
TreeModel* model_find(TreeModel& node, std::int32_t id, bool& isObject) {
  isObject = false;
  if (node.id == id) return &node;
  for (const auto& object : node.objects) if (object.first == id) return isObject = true, &node;
  for (auto& child : node.children) if (TreeModel* found = model_find(*child, id, isObject)) return found;
  return nullptr;
}

void expect_same_tree(const TreeModel& model, const SceneNode& node) {
  EXPECT_EQ(node.name, model.name);
  ASSERT_EQ(node.objects.size(), model.objects.size()) << node.name;
  for (std::size_t i = 0; i < node.objects.size(); ++i) EXPECT_EQ(node.objects[i]->name, model.objects[i].second);
  ASSERT_EQ(node.children.size(), model.children.size()) << node.name;
  for (std::size_t i = 0; i < node.children.size(); ++i) expect_same_tree(*model.children[i], *node.children[i]);
}

TEST(ChunkIndex, AttachesLikeADepthFirstSearchOnRandomTrees) {
  // Odd seeds draw parents at random (wide trees), even seeds mostly chain (deep trees whose levels
  // share IDs). Each tree is indexed under its own hash key.
  for (unsigned seed = 1; seed <= 40; ++seed) {
    set_process_hash_key(HashKey{seed, seed * 7919u});
    std::mt19937 random(seed);
    const bool deep = seed % 2 == 0;
    const std::int32_t idRange = deep ? 40 : 3 + static_cast<std::int32_t>(seed % 10);
    TreeModel model{0, "Root_0", {}, {}};
    CobFile file;
    std::int32_t previousId = 0;
    for (int i = 0; i < 150; ++i) {
      const std::int32_t id = static_cast<std::int32_t>(random() % idRange);
      const bool chain = deep && random() % 10 < 8;
      const std::int32_t parentId = chain ? previousId : static_cast<std::int32_t>(random() % (idRange + 2));
      previousId = id;
      bool isObject = false;
      TreeModel* parent = model_find(model, parentId, isObject);
      if (parent == nullptr) parent = &model;
      const std::string name = "c" + std::to_string(i);
      const bool isGroup = random() % 2 != 0;
      file.chunk(isGroup ? "Grou" : "PolH", id, parentId, isGroup ? group(name) : marker(name));
      if (isObject) continue;  // a parent that is an object skips both kinds
      if (isGroup) parent->children.push_back(std::make_unique<TreeModel>(TreeModel{id, name, {}, {}}));
      else parent->objects.emplace_back(id, name);
    }
    expect_same_tree(model, *load(file).root);
    if (HasFailure()) FAIL() << "seed " << seed;
  }
}

}  // namespace
}  // namespace facetor::test
