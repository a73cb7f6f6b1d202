#include "mesh/mesh_store.h"

namespace facetor {

void transform_from_matrix(Transform& target, const float (&rows)[3][4]) {
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) target.m[r * 3 + c] = rows[c][r];
    target.translation[r] = rows[r][3];
  }
}

namespace {

// Element (row, column) of the 4x4 matrix a Transform stands for: rows 0..2
// are (m, 0), row 3 is (translation, 1).
float element(const Transform& t, int row, int column) {
  if (row < 3) return column < 3 ? t.m[row * 3 + column] : 0.0f;
  return column < 3 ? t.translation[column] : 1.0f;
}

}  // namespace

// Every product and every partial sum is rounded to float; the zero terms are
// kept, so an infinite translation times 0 still yields NaN.
void compose_transform(Transform& target, const Transform& second) {
  const Transform first = target;
  for (int row = 0; row < 4; ++row) {
    for (int column = 0; column < 3; ++column) {
      float sum = element(first, row, 0) * element(second, 0, column);
      sum = sum + element(first, row, 1) * element(second, 1, column);
      sum = sum + element(first, row, 2) * element(second, 2, column);
      sum = sum + element(first, row, 3) * element(second, 3, column);
      if (row < 3) {
        target.m[row * 3 + column] = sum;
      } else {
        target.translation[column] = sum;
      }
    }
  }
}

}  // namespace facetor
