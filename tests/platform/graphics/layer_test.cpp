// Layer geometry, tree edits and change reports.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>

#include "platform/graphics/layer.h"
#include "support/geometry_expect.h"

using namespace qrn;
using namespace qrn::graphics;

using qrn::test::expectNear;

namespace {

void expectRectNear(const Rect& a, const Rect& b, double eps = 1e-9) {
    EXPECT_NEAR(a.origin.x, b.origin.x, eps);
    EXPECT_NEAR(a.origin.y, b.origin.y, eps);
    EXPECT_NEAR(a.size.width, b.size.width, eps);
    EXPECT_NEAR(a.size.height, b.size.height, eps);
}

// Corners of a rectangle rotated counter-clockwise about its centre, computed independently.
std::vector<Point> rotatedCorners(const Rect& r, double angle) {
    Point c = r.center();
    std::vector<Point> out;
    for (auto [sx, sy] : {std::pair{-1, -1}, {1, -1}, {1, 1}, {-1, 1}}) {
        double dx = sx * r.size.width / 2, dy = sy * r.size.height / 2;
        out.push_back({c.x + dx * std::cos(angle) - dy * std::sin(angle),
                       c.y + dx * std::sin(angle) + dy * std::cos(angle)});
    }
    return out;
}

// Same polygon up to starting corner and direction (flips reverse the winding).
bool samePointSet(std::vector<Point> a, std::vector<Point> b, double eps = 1e-9) {
    if (a.size() != b.size())
        return false;
    for (auto& p : a) {
        auto it = std::find_if(b.begin(), b.end(), [&](Point q) {
            return std::abs(p.x - q.x) < eps && std::abs(p.y - q.y) < eps;
        });
        if (it == b.end())
            return false;
        b.erase(it);
    }
    return true;
}

} // namespace

TEST(LayerGeometry, FrameFollowsPositionAnchorAndBounds) {
    auto l = Layer::make(Rect(10, 20, 100, 50));
    expectNear(l->position(), {60, 45});
    expectRectNear(l->bounds(), Rect(0, 0, 100, 50));
    expectRectNear(l->frame(), Rect(10, 20, 100, 50));

    l->setAnchorPoint({0, 0});
    expectRectNear(l->frame(), Rect(60, 45, 100, 50));
    l->setFrame(Rect(0, 0, 40, 30));
    expectNear(l->position(), {0, 0});
    expectRectNear(l->bounds(), Rect(0, 0, 40, 30));
}

TEST(LayerGeometry, FramingAScaledOrTurnedLayerKeepsThePictureSize) {
    // A picture of 100 x 50 drawn twice as wide: framing it at its new place keeps the bounds at
    // the picture's own size, so a child filling the bounds still fills what is drawn.
    auto l = Layer::make(Rect(0, 0, 100, 50));
    auto picture = Layer::make(Rect(0, 0, 100, 50));
    l->addSublayer(picture);
    l->setTransform(AffineTransform::scale(2, 1));
    l->setFrame(Rect(30, 40, 200, 50));
    expectRectNear(l->bounds(), Rect(0, 0, 100, 50));
    expectRectNear(l->frame(), Rect(30, 40, 200, 50));
    expectRectNear(picture->frame(), Rect(0, 0, 100, 50));

    // From the corner, as a resize does before it turns the anchor back to the centre.
    l->setAnchorPoint({0, 0});
    l->setFrame(Rect(5, 6, 300, 100));
    expectNear(l->position(), {5, 6});
    expectRectNear(l->bounds(), Rect(0, 0, 150, 100));

    for (const auto& t : {AffineTransform::scale(-2, 0.5), AffineTransform::scale(1, -1),
                          AffineTransform::translation(7, -3).concat(AffineTransform::scale(3, 3))}) {
        auto m = Layer::make(Rect(0, 0, 10, 10));
        m->setAnchorPoint({0.25, 0});
        m->setTransform(t);
        m->setFrame(Rect(-4, 12, 60, 30));
        expectRectNear(m->frame(), Rect(-4, 12, 60, 30));
    }

    // Turned: the frame names the rectangle before the turn, so a turned picture framed at its
    // stored place keeps its size and turns about that rectangle's centre.
    for (double angle : {0.3, std::numbers::pi / 2}) {
        auto r = Layer::make(Rect(0, 0, 100, 50));
        r->setTransform(AffineTransform::rotation(angle).scaled(2, 3));
        r->setFrame(Rect(10, 20, 200, 150));
        expectRectNear(r->bounds(), Rect(0, 0, 100, 50));
        expectNear(r->position(), {110, 95});
        EXPECT_TRUE(
            samePointSet(r->quadInSuperlayer().subpaths()[0], rotatedCorners(Rect(10, 20, 200, 150), angle)));

        // Following its superlayer's size keeps it at the picture's size, stretched only by the
        // change, however often the superlayer changes.
        auto parent = Layer::make(Rect(0, 0, 400, 300));
        parent->addSublayer(r);
        r->setAutoresizingMask(WidthSizable | HeightSizable);
        parent->setBounds(Rect(0, 0, 440, 300));
        parent->setBounds(Rect(0, 0, 400, 300));
        expectRectNear(r->bounds(), Rect(0, 0, 100, 50), 1e-9);
        expectNear(r->position(), {110, 95});
        parent->setBounds(Rect(0, 0, 420, 300));
        expectRectNear(r->bounds(), Rect(0, 0, 110, 50), 1e-9);
    }
}

TEST(LayerGeometry, RotationScaleAndBothFlipsAboutTheAnchor) {
    const Rect r(100, 50, 200, 100);
    auto l = Layer::make(r);
    const double angle = std::numbers::pi / 6;
    // Rotation, scale 1.5, then flips on top, as the layer editor composes them.
    l->setTransform(AffineTransform::rotation(angle).scaled(1.5, 1.5).scaled(-1, -1));
    const Rect scaled(r.center().x - 150, r.center().y - 75, 300, 150);
    auto expected = rotatedCorners(scaled, angle);
    ASSERT_EQ(l->quadInSuperlayer().subpaths().size(), 1u);
    EXPECT_TRUE(samePointSet(l->quadInSuperlayer().subpaths()[0], expected));

    // The frame is the bounding box of that quad.
    double minX = 1e9, minY = 1e9, maxX = -1e9, maxY = -1e9;
    for (auto p : expected)
        minX = std::min(minX, p.x), minY = std::min(minY, p.y), maxX = std::max(maxX, p.x),
        maxY = std::max(maxY, p.y);
    expectRectNear(l->frame(), Rect(minX, minY, maxX - minX, maxY - minY), 1e-9);
    // The centre stays put whatever the transform.
    expectNear(l->frame().center(), r.center());
}

TEST(LayerGeometry, QuarterTurnGivesTheExpectedCorners) {
    auto l = Layer::make(Rect(0, 0, 100, 50));
    l->setTransform(AffineTransform::rotation(std::numbers::pi / 2));
    EXPECT_TRUE(
        samePointSet(l->quadInSuperlayer().subpaths()[0], {{75, -25}, {75, 75}, {25, 75}, {25, -25}}, 1e-9));
    expectRectNear(l->frame(), Rect(25, -25, 50, 100));
}

TEST(LayerGeometry, FlippedSuperlayerMeasuresFromTheTop) {
    auto parent = Layer::make(Rect(0, 0, 200, 100));
    parent->setGeometryFlipped(true);
    auto child = Layer::make(Rect(10, 0, 20, 30));
    parent->addSublayer(child);
    // The child's frame is given in the flipped space (y down from the top)...
    expectRectNear(child->frame(), Rect(10, 0, 20, 30));
    // ...so its bottom-left corner lies 30 points below the parent's top edge.
    expectNear(child->convertPointToLayer({0, 0}, parent.get()), {10, 70});
    expectNear(parent->convertPointFromLayer({0, 30}, child.get()), {10, 100});
}

TEST(LayerGeometry, AutoresizingSublayersFollowTheSuperlayer) {
    auto parent = Layer::make(Rect(0, 0, 100, 100));
    auto fill = Layer::make(Rect(0, 0, 100, 100));
    fill->setAutoresizingMask(WidthSizable | HeightSizable);
    auto corner = Layer::make(Rect(80, 80, 20, 20));
    corner->setAutoresizingMask(FlexibleMinXMargin | FlexibleMinYMargin);
    auto fixed = Layer::make(Rect(10, 10, 5, 5));
    parent->addSublayer(fill);
    parent->addSublayer(corner);
    parent->addSublayer(fixed);
    parent->setBounds(Rect(0, 0, 300, 200));
    expectRectNear(fill->frame(), Rect(0, 0, 300, 200));
    expectRectNear(corner->frame(), Rect(280, 180, 20, 20));
    expectRectNear(fixed->frame(), Rect(10, 10, 5, 5));
}

TEST(LayerTree, AddingElsewhereDetachesAndInsertionKeepsOrder) {
    auto a = Layer::make(), b = Layer::make();
    auto x = Layer::make(), y = Layer::make(), z = Layer::make();
    a->addSublayer(x);
    a->addSublayer(y);
    a->insertSublayerBelow(z, y.get());
    ASSERT_EQ(a->sublayers().size(), 3u);
    EXPECT_EQ(a->sublayers()[1], z);

    b->addSublayer(z);
    EXPECT_EQ(z->superlayer(), b);
    EXPECT_EQ(a->sublayers(), (std::vector<LayerPtr>{x, y}));

    // Moving within the same superlayer.
    a->insertSublayerAbove(x, y.get());
    EXPECT_EQ(a->sublayers(), (std::vector<LayerPtr>{y, x}));
    a->replaceSublayer(y.get(), z);
    EXPECT_EQ(a->sublayers(), (std::vector<LayerPtr>{z, x}));
    EXPECT_TRUE(b->sublayers().empty());
    EXPECT_EQ(y->superlayer(), nullptr);

    // No cycles.
    x->addSublayer(a);
    EXPECT_EQ(a->superlayer(), nullptr);
    EXPECT_TRUE(x->sublayers().empty());
}

// Long sublayer lists (a deck's slides) keep the order of a plain list through every way of
// placing, replacing and taking out layers, read between the changes or not; and the renderer's
// list of them follows: the shown ones, by level, in that order.
TEST(LayerTree, LongSublayerListsKeepTheOrderOfAPlainList) {
    std::mt19937 random(45);
    auto pick = [&](size_t n) { return size_t(std::uniform_int_distribution<size_t>(0, n - 1)(random)); };
    auto root = Layer::make(), other = Layer::make();
    std::vector<LayerPtr> pool;
    // Enough that the root often holds past the count at which the renderer's list is kept.
    for (int i = 0; i < 500; ++i) {
        pool.push_back(Layer::make());
        pool.back()->setHidden(i % 37 == 0);
        pool.back()->setZPosition(i % 50 == 0 ? 1 : 0);
    }
    auto drawnOrder = [](const std::vector<Layer*>& list) {
        std::vector<const Layer*> shown;
        for (Layer* l : list)
            if (!l->isHidden())
                shown.push_back(l);
        std::stable_sort(shown.begin(), shown.end(),
                         [](const Layer* a, const Layer* b) { return a->zPosition() < b->zPosition(); });
        return shown;
    };
    std::vector<Layer*> expected, expectedOther;
    auto erase = [](std::vector<Layer*>& list, Layer* l) {
        if (auto it = std::find(list.begin(), list.end(), l); it != list.end())
            list.erase(it);
    };
    auto indexOf = [](const std::vector<Layer*>& list, const Layer* l) {
        return size_t(std::find(list.begin(), list.end(), l) - list.begin());
    };
    auto insertAt = [&](Layer* l, size_t index) {
        erase(expected, l);
        erase(expectedOther, l);
        expected.insert(expected.begin() + long(std::min(index, expected.size())), l);
    };
    auto raw = [](const Layer& l) {
        std::vector<Layer*> out;
        for (auto& s : l.sublayers())
            out.push_back(s.get());
        return out;
    };
    int drawnChecks = 0;
    for (int step = 0; step < 6000; ++step) {
        const LayerPtr& l = pool[pick(pool.size())];
        const Layer* sibling = expected.empty() ? nullptr : expected[pick(expected.size())];
        switch (pick(10)) {
        case 0: {
            const size_t index = pick(expected.size() + 3);
            root->insertSublayer(l, index);
            erase(expected, l.get());
            insertAt(l.get(), index);
            break;
        }
        case 1:
        case 2: {
            root->insertSublayerAbove(l, sibling);
            erase(expected, l.get());
            const size_t at = indexOf(expected, sibling);
            insertAt(l.get(), at == expected.size() ? at : at + 1);
            break;
        }
        case 3:
        case 4: {
            root->insertSublayerBelow(l, sibling);
            erase(expected, l.get());
            const size_t at = indexOf(expected, sibling);
            insertAt(l.get(), at == expected.size() ? 0 : at);
            break;
        }
        case 5:
            if (sibling) {
                const size_t at = indexOf(expected, sibling);
                root->replaceSublayer(sibling, l);
                expected.erase(expected.begin() + long(at));
                insertAt(l.get(), at);
            }
            break;
        case 6:
            l->removeFromSuperlayer();
            erase(expected, l.get());
            erase(expectedOther, l.get());
            break;
        case 7:
            other->addSublayer(l);
            erase(expected, l.get());
            erase(expectedOther, l.get());
            expectedOther.push_back(l.get());
            break;
        case 8: // raised to the top, or put there
            root->addSublayer(l);
            erase(expected, l.get());
            erase(expectedOther, l.get());
            expected.push_back(l.get());
            break;
        default:
            ASSERT_EQ(raw(*root), expected) << "step " << step;
            ASSERT_EQ(raw(*other), expectedOther) << "step " << step;
            if (std::vector<const Layer*> drawn; root->drawnSublayers(drawn)) {
                ASSERT_EQ(drawn, drawnOrder(expected)) << "step " << step;
                ++drawnChecks;
            }
        }
        if (step == 3000) {
            root->removeAllSublayers();
            expected.clear();
        }
    }
    EXPECT_EQ(raw(*root), expected);
    EXPECT_GT(drawnChecks, 100);
    for (Layer* l : expected)
        EXPECT_EQ(l->superlayerPointer(), root.get());
}

TEST(LayerTree, SublayerOutlivesItsSuperlayer) {
    auto child = Layer::make();
    {
        auto parent = Layer::make();
        parent->addSublayer(child);
    }
    EXPECT_EQ(child->superlayer(), nullptr);
    EXPECT_EQ(child->superlayerPointer(), nullptr);
}

TEST(LayerChanges, RootHearsOldAndNewAreaOfAMovedSublayer) {
    auto root = Layer::make(Rect(0, 0, 500, 500));
    auto child = Layer::make(Rect(10, 10, 20, 20));
    root->addSublayer(child);
    std::vector<Rect> dirty;
    root->setChangeHandler([&](const Rect& r) { dirty.push_back(r); });
    child->setPosition({200, 200});
    ASSERT_EQ(dirty.size(), 2u);
    expectRectNear(dirty[0], Rect(10, 10, 20, 20));
    expectRectNear(dirty[1], Rect(190, 190, 20, 20));

    dirty.clear();
    child->setHidden(true);
    child->setOpacity(0.5); // invisible: nothing to repaint
    EXPECT_EQ(dirty.size(), 1u);
}

// A layer of many sublayers measures again only those that changed: its extent takes in a
// sublayer's content moved far out, still holds after a change was taken away with its layer,
// and is measured whole again when the layer itself changes.
TEST(LayerChanges, ExtentOfManySublayersFollowsTheChangedOnes) {
    auto strip = Layer::make(Rect(0, 0, 3000, 10));
    std::vector<LayerPtr> tiles;
    for (int i = 0; i < 300; ++i) {
        tiles.push_back(Layer::make(Rect(i * 10, 0, 10, 10)));
        tiles.back()->addSublayer(Layer::make(Rect(0, 0, 5, 5)));
    }
    strip->setSublayers(tiles);
    expectRectNear(strip->drawnExtent(), Rect(0, 0, 3000, 10));

    tiles[42]->sublayers()[0]->setPosition({0, 500}); // its centre: the tile's top reaches 502.5
    expectRectNear(strip->drawnExtent(), Rect(0, 0, 3000, 502.5));
    tiles[7]->sublayers()[0]->setPosition({-100, 0});
    tiles[7]->removeFromSuperlayer();
    tiles[7].reset(); // a change noted for a layer that is gone
    tiles[8]->setPosition({5000, 5});
    expectRectNear(strip->drawnExtent(), Rect(0, 0, 5005, 502.5));

    strip->setBounds(Rect(0, 0, 3000, 12)); // its own change: measured whole
    tiles[42]->sublayers()[0]->setPosition({2.5, 2.5});
    tiles[8]->setPosition({85, 5});
    expectRectNear(strip->drawnExtent(), Rect(0, 0, 3000, 12));
}

// A long text scrolling in a small clipped area: only what can show is repainted, so moving it
// does not repaint the rest of the window.
TEST(LayerChanges, ClippingSuperlayersLimitTheRepaintedArea) {
    auto root = Layer::make(Rect(0, 0, 600, 500));
    auto area = Layer::make(Rect(0, 0, 400, 300));
    area->setPosition({300, 300}); // covers (100, 150) to (500, 450)
    area->setMasksToBounds(true);
    root->addSublayer(area);
    auto inner = Layer::make(Rect(0, 0, 400, 300));
    inner->setAnchorPoint({0, 0});
    inner->setPosition({0, 0});
    area->addSublayer(inner); // unclipped: its sublayers reach past it
    auto text = Layer::make(Rect(0, 0, 300, 4000));
    text->setAnchorPoint({0, 0});
    text->setPosition({40, -3000});
    inner->addSublayer(text);
    std::vector<Rect> dirty;
    root->setChangeHandler([&](const Rect& r) { dirty.push_back(r); });

    text->setPosition({40, -2990});
    ASSERT_EQ(dirty.size(), 2u);
    for (const Rect& r : dirty)
        expectRectNear(r, Rect(140, 150, 300, 300));

    // Wholly outside the clipped area: nothing shows there, before or after.
    dirty.clear();
    text->setPosition({40, 400});
    ASSERT_EQ(dirty.size(), 1u);
    expectRectNear(dirty[0], Rect(140, 150, 300, 300));
    dirty.clear();
    text->setPosition({40, 500});
    EXPECT_TRUE(dirty.empty());

    // Without the clip the whole reach of the text is repainted.
    area->setMasksToBounds(false);
    dirty.clear();
    text->setPosition({40, -2000});
    ASSERT_EQ(dirty.size(), 2u);
    expectRectNear(dirty[1], Rect(140, -1850, 300, 4000));
}

// A turned clipping superlayer limits the area to its outer box, never less.
TEST(LayerChanges, ATurnedClipLimitsTheAreaToItsOuterBox) {
    auto root = Layer::make(Rect(0, 0, 600, 600));
    auto area = Layer::make(Rect(0, 0, 200, 100));
    area->setPosition({300, 300});
    area->setMasksToBounds(true);
    area->setTransform(AffineTransform::rotation(std::numbers::pi / 2));
    root->addSublayer(area);
    auto child = Layer::make(Rect(0, 0, 1000, 1000));
    area->addSublayer(child);
    std::vector<Rect> dirty;
    root->setChangeHandler([&](const Rect& r) { dirty.push_back(r); });
    child->setOpacity(0.5);
    ASSERT_EQ(dirty.size(), 1u);
    expectRectNear(dirty[0], Rect(250, 200, 100, 200), 1e-6);
}

TEST(LayerAnimations, ByKeyAndRemovingAll) {
    auto l = Layer::make();
    KeyframeAnimation a;
    a.values = {0, 1};
    a.duration = 1;
    l->addAnimation(a, "fade");
    a.values = {1, 1};
    l->addAnimation(a, "other");
    l->addAnimation(a, "fade"); // replaces, and now is the most recent
    EXPECT_EQ(l->animationKeys(), (std::vector<std::string>{"other", "fade"}));
    l->setOpacity(0.3);
    EXPECT_DOUBLE_EQ(l->presentationOpacity(0.5), 1.0);
    l->removeAllAnimations();
    EXPECT_FALSE(l->hasAnimations());
    EXPECT_DOUBLE_EQ(l->presentationOpacity(0.5), 0.3);
}
