#include <gtest/gtest.h>

#include "mesh/mesh_store.h"

namespace facetor {
namespace {

TEST(ModelNodeTest, ChildrenStandNewestFirst) {
  auto root = node_create();
  ModelNode* first = node_add_child(*root, node_create());
  ModelNode* second = node_add_child(*root, node_create());
  ASSERT_EQ(root->children.size(), 2u);
  EXPECT_EQ(root->children[0].get(), second);
  EXPECT_EQ(root->children[1].get(), first);
}

TEST(ModelNodeTest, FreeingTheTreeReleasesEveryPrototype) {
  auto root = node_create();
  ModelNode* child = node_add_child(*root, node_create());
  ModelNode* grandchild = node_add_child(*child, node_create());
  PrototypeRef a = proto_new(std::string("a"));
  PrototypeRef b = proto_new(std::string("b"));
  std::weak_ptr<Prototype> watchA = a, watchB = b;
  child->protos.push_front(std::move(a));
  grandchild->protos.push_front(std::move(b));
  node_free_tree(std::move(root));
  EXPECT_TRUE(watchA.expired());
  EXPECT_TRUE(watchB.expired());
}

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
