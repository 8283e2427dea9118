#pragma once
// Expectations on geometry that allow for rounding in transforms.
#include <gtest/gtest.h>

#include "platform/foundation/geometry.h"

namespace qrn::test {

inline void expectNear(Point a, Point b, double eps = 1e-9) {
    EXPECT_NEAR(a.x, b.x, eps);
    EXPECT_NEAR(a.y, b.y, eps);
}

} // namespace qrn::test
