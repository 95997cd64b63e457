// The tests' own helpers on top of support.h.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>

#include "support.h"

namespace vemra::test {

// Same size and pixels; on failure, where the first pixel differs.
inline void ExpectSameRgb(const Rgb& actual, const Rgb& expected) {
  ASSERT_FALSE(expected.pixels.empty()) << "no expected image";
  ASSERT_EQ(actual.width, expected.width);
  ASSERT_EQ(actual.height, expected.height);
  const auto diff = std::mismatch(actual.pixels.begin(), actual.pixels.end(),
                                  expected.pixels.begin(), expected.pixels.end());
  const auto pixel = (diff.first - actual.pixels.begin()) / 3;
  EXPECT_TRUE(diff.first == actual.pixels.end() && diff.second == expected.pixels.end())
      << "first difference at x " << pixel % actual.width << ", y " << pixel / actual.width;
}

}  // namespace vemra::test
