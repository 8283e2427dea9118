#include <gtest/gtest.h>

#include <numbers>

#include "platform/foundation/geometry.h"

using namespace qrn;

TEST(AffineTransform, BuildsUpTranslateRotateScaleInLocalSpace) {
    // Translate to (100, 50), rotate a quarter turn, scale x by 2: a local point (1, 0) is
    // scaled to (2, 0), rotated to (0, 2), then moved to (100, 52).
    auto t = AffineTransform::identity().translated(100, 50).rotated(std::numbers::pi / 2).scaled(2, 1);
    Point p = t.map({1, 0});
    EXPECT_NEAR(p.x, 100, 1e-9);
    EXPECT_NEAR(p.y, 52, 1e-9);
    auto inv = t.inverted();
    ASSERT_TRUE(inv);
    Point back = inv->map(p);
    EXPECT_NEAR(back.x, 1, 1e-9);
    EXPECT_NEAR(back.y, 0, 1e-9);
    EXPECT_FALSE(AffineTransform::scale(0, 1).inverted());
}

TEST(AffineTransform, ConcatAppliesReceiverFirst) {
    auto scale = AffineTransform::scale(2, 2);
    auto move = AffineTransform::translation(10, 0);
    EXPECT_EQ(scale.concat(move).map({1, 1}), (Point{12, 2}));
    EXPECT_EQ(move.concat(scale).map({1, 1}), (Point{22, 2}));
}

TEST(AffineTransform, MapRectGivesBoundingBoxOfRotatedCorners) {
    auto r = AffineTransform::rotation(std::numbers::pi / 4).mapRect(Rect(-1, -1, 2, 2));
    EXPECT_NEAR(r.width(), 2 * std::sqrt(2.0), 1e-9);
    EXPECT_NEAR(r.midX(), 0, 1e-9);
}

TEST(Path, NonzeroContainmentOfRotatedRectangle) {
    // A 100x20 bar centred on the origin, rotated 30 degrees.
    auto t = AffineTransform::rotation(std::numbers::pi / 6);
    Path p = Path::rect(Rect(-50, -10, 100, 20)).transformed(t);
    EXPECT_TRUE(p.contains({0, 0}));
    EXPECT_TRUE(p.contains(t.map({45, 8})));
    EXPECT_FALSE(p.contains(t.map({45, 12})));
    // Inside the unrotated rectangle's corner, outside the rotated one.
    EXPECT_FALSE(p.contains({-45, 8}));
    EXPECT_FALSE(Path().contains({0, 0}));
}

TEST(Path, OverlappingSubpathsStayInsideWithNonzeroRule) {
    Path p;
    p.addRect(Rect(0, 0, 10, 10));
    p.addRect(Rect(5, 5, 10, 10));
    EXPECT_TRUE(p.contains({7, 7})); // covered twice: still inside (even-odd would say outside)
    EXPECT_TRUE(p.contains({12, 12}));
    EXPECT_FALSE(p.contains({12, 2}));
}

TEST(Rect, UnionIntersectionAndInsets) {
    Rect a(0, 0, 10, 10), b(5, 5, 10, 10);
    EXPECT_EQ(a.intersection(b), Rect(5, 5, 5, 5));
    EXPECT_EQ(a.united(b), Rect(0, 0, 15, 15));
    EXPECT_TRUE(a.intersection(Rect(20, 20, 1, 1)).isEmpty());
    EXPECT_EQ(a.united(Rect()), a);
    EXPECT_EQ(a.insetBy(2, 3), Rect(2, 3, 6, 4));
    EXPECT_EQ(Rect(10, 10, -4, -6).standardized(), Rect(6, 4, 4, 6));
    EXPECT_TRUE(a.contains(Point{0, 0}));
    EXPECT_FALSE(a.contains(Point{10, 5}));
}
