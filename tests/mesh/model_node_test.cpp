#include <gtest/gtest.h>

#include "mesh/mesh_store.h"

namespace facetor {
namespace {

TEST(ModelNodeTest, DeepTreeIsFreedWithoutDeepRecursion) {
  auto root = std::make_unique<ModelNode>();
  ModelNode* tip = root.get();
  for (int i = 0; i < 100000; ++i) tip = node_add_child(*tip, std::make_unique<ModelNode>());
  tip->protos.push_front(ProtoInstance{"tip", 0, {}});
  root.reset();
  SUCCEED();  // reaching here without a stack overflow is the check
}

}  // namespace
}  // namespace facetor
