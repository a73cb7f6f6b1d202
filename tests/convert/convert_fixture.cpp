#include "convert_fixture.h"

#include <gtest/gtest.h>

namespace facetor::test {

const Prototype& Conversion::proto_named(const std::string& name) const {
  const Prototype* match = nullptr;
  int count = 0;
  for (const Prototype& proto : written) {
    if (cleaned_name(proto) == name) {
      match = &proto;
      ++count;
    }
  }
  EXPECT_EQ(count, 1) << "prototypes named " << name;
  static const Prototype empty;
  return match != nullptr ? *match : empty;
}

const ModelNode* node_holding(const ModelNode& root, const std::string& name) {
  std::function<const ModelNode*(const ModelNode&)> visit = [&](const ModelNode& node) -> const ModelNode* {
    for (const ProtoInstance& proto : node.protos) {
      if (proto.name == name) return &node;
    }
    for (const auto& child : node.children) {
      if (const ModelNode* found = visit(*child)) return found;
    }
    return nullptr;
  };
  return visit(root);
}

}  // namespace facetor::test
