#include <gtest/gtest.h>

#include "mesh/mesh_store.h"

namespace facetor {
namespace {

TEST(ModelNodeTest, DeepTreeIsFreedWithoutDeepRecursion) {
  auto root = node_create();
  ModelNode* tip = root.get();
  for (int i = 0; i < 100000; ++i) tip = node_add_child(*tip, node_create());
  PrototypeRef p = proto_new(std::nullopt);
  std::weak_ptr<Prototype> watch = p;
  tip->protos.push_front(std::move(p));
  node_free_tree(std::move(root));
  EXPECT_TRUE(watch.expired());
}

}  // namespace
}  // namespace facetor
