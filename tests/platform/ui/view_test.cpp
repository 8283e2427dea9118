// The view tree: tags, ordering, moves, geometry through flips and rotations, backing layers and
// drawing.
#include <gtest/gtest.h>

#include <QPainter>

#include <algorithm>
#include <numbers>
#include <random>

#include "platform/graphics/renderer.h"
#include "platform/ui/scroll_view.h"
#include "platform/ui/text_field.h"
#include "platform/ui/window.h"
#include "support/geometry_expect.h"

using namespace qrn;
using namespace qrn::ui;

using qrn::test::expectNear;

namespace {

// A marker view as the preview uses them: a plain view holding one tagged subview.
ViewPtr markerView(int tag) {
    auto holder = View::make();
    auto marker = View::make();
    marker->setTag(tag);
    holder->addSubview(marker);
    return holder;
}

std::vector<View*> raw(const std::vector<ViewPtr>& v) {
    std::vector<View*> out;
    for (auto& p : v)
        out.push_back(p.get());
    return out;
}

std::vector<graphics::Layer*> rawLayers(const View& v) {
    std::vector<graphics::Layer*> out;
    for (auto& l : v.layer()->sublayers())
        out.push_back(l.get());
    return out;
}

std::vector<graphics::Layer*> layersOf(const std::vector<ViewPtr>& views) {
    std::vector<graphics::Layer*> out;
    for (auto& v : views)
        out.push_back(v->layer().get());
    return out;
}

class PaintedView : public View {
  public:
    using View::View;
    void draw(QPainter& p, const Rect&) override {
        // A square in the bottom-left corner of the bounds, in the view's own coordinates.
        p.fillRect(QRectF(0, 0, 10, 10), Qt::red);
        ++draws;
    }
    int draws = 0;
};

} // namespace

TEST(ViewTags, DepthFirstInSubviewOrderAndNoTagByDefault) {
    auto root = View::make();
    auto a = View::make(), b = View::make(), a1 = View::make(), b1 = View::make();
    root->addSubview(a);
    root->addSubview(b);
    a->addSubview(a1);
    b->addSubview(b1);
    EXPECT_FALSE(root->tag().has_value());
    EXPECT_EQ(root->viewWithTag(-1), nullptr); // untagged views match no number

    a1->setTag(7);
    b->setTag(7);
    EXPECT_EQ(root->viewWithTag(7), a1); // a's subtree comes before b itself
    root->setTag(7);
    EXPECT_EQ(root->viewWithTag(7), root);
    b1->setTag(0);
    EXPECT_EQ(root->viewWithTag(0), b1);
}

TEST(ViewTags, TaggedMarkerFindsItsHolder) {
    auto preview = View::make(Rect(0, 0, 400, 300));
    auto layerView = markerView(42);
    preview->addSubview(markerView(-9));
    preview->addSubview(layerView);
    auto marker = preview->viewWithTag(42);
    ASSERT_NE(marker, nullptr);
    EXPECT_EQ(marker->superview(), layerView);
}

TEST(ViewTags, RepeatedLookupsFollowEveryChangeOfTreeAndTags) {
    auto root = View::make();
    auto first = markerView(5), second = markerView(6);
    root->addSubview(first);
    root->addSubview(second);
    // Asked twice with nothing changed in between: both answers come from the index.
    EXPECT_EQ(root->viewWithTag(5)->superview(), first);
    EXPECT_EQ(root->viewWithTag(6)->superview(), second);
    EXPECT_EQ(root->viewWithTag(6)->superview(), second);
    // A view with the same tag earlier in depth-first order wins.
    auto earlier = markerView(6);
    root->addSubview(earlier, Ordering::Below, nullptr);
    EXPECT_EQ(root->viewWithTag(6)->superview(), earlier);
    EXPECT_EQ(root->viewWithTag(6)->superview(), earlier);
    earlier->removeFromSuperview();
    EXPECT_EQ(root->viewWithTag(6)->superview(), second);
    EXPECT_EQ(root->viewWithTag(6)->superview(), second);
    // Tags set or cleared on views already in the tree count too.
    second->subviews()[0]->setTag(9);
    EXPECT_EQ(root->viewWithTag(6), nullptr);
    EXPECT_EQ(root->viewWithTag(9)->superview(), second);
    first->subviews()[0]->clearTag();
    EXPECT_EQ(root->viewWithTag(5), nullptr);
    EXPECT_EQ(root->viewWithTag(5), nullptr);
    // A view moved into another tree is found there and no longer here.
    auto other = View::make();
    other->addSubview(second);
    EXPECT_EQ(root->viewWithTag(9), nullptr);
    EXPECT_EQ(other->viewWithTag(9)->superview(), second);
}

TEST(ViewTags, IndexesAtEveryLevelFollowMovesReordersAndDuplicates) {
    // root holds left and right; left holds deep. Every level is asked, so each keeps an index.
    auto root = View::make(), left = View::make(), right = View::make(), deep = View::make();
    root->addSubview(left);
    root->addSubview(right);
    left->addSubview(deep);
    EXPECT_EQ(root->viewWithTag(1), nullptr);
    EXPECT_EQ(left->viewWithTag(1), nullptr);
    EXPECT_EQ(deep->viewWithTag(1), nullptr);

    // A tagged subtree added deep down is found from every level above it.
    auto a = markerView(1);
    deep->addSubview(a);
    EXPECT_EQ(root->viewWithTag(1)->superview(), a);
    EXPECT_EQ(left->viewWithTag(1)->superview(), a);
    EXPECT_EQ(deep->viewWithTag(1)->superview(), a);
    EXPECT_EQ(right->viewWithTag(1), nullptr);

    // The same tag later in depth-first order loses, wherever it sits; reordering siblings or
    // moving a branch changes which comes first.
    auto b = markerView(1);
    right->addSubview(b);
    EXPECT_EQ(root->viewWithTag(1)->superview(), a);
    root->addSubview(left); // left goes to the top, after right
    EXPECT_EQ(root->viewWithTag(1)->superview(), b);
    auto c = markerView(1);
    deep->addSubview(c, Ordering::Below, a.get());
    EXPECT_EQ(deep->viewWithTag(1)->superview(), c);
    const auto holders = [](const std::vector<ViewPtr>& markers) {
        std::vector<View*> out;
        for (const auto& m : markers)
            out.push_back(m->superviewPointer());
        return out;
    };
    EXPECT_EQ(holders(root->viewsWithTag(1)), (std::vector<View*>{b.get(), c.get(), a.get()}));
    deep->addSubview(c); // c above a again
    EXPECT_EQ(deep->viewWithTag(1)->superview(), a);
    EXPECT_EQ(left->viewWithTag(1)->superview(), a);

    // A tagged holder comes before its own tagged subviews.
    a->setTag(1);
    EXPECT_EQ(deep->viewWithTag(1), a);
    EXPECT_EQ(raw(root->viewsWithTag(1)),
              (std::vector<View*>{b->subviews()[0].get(), a.get(), a->subviews()[0].get(),
                                  c->subviews()[0].get()}));
    a->clearTag();

    // A branch moved out takes its views out of every index above its old place; its own index
    // follows changes made while it is detached, and everything comes back when it returns.
    left->removeFromSuperview();
    EXPECT_EQ(root->viewWithTag(1)->superview(), b);
    c->subviews()[0]->setTag(2);
    EXPECT_EQ(left->viewWithTag(2)->superview(), c);
    EXPECT_EQ(root->viewWithTag(2), nullptr);
    right->addSubview(left, Ordering::Below, nullptr);
    EXPECT_EQ(root->viewWithTag(2)->superview(), c);
    EXPECT_EQ(root->viewWithTag(1)->superview(), a);
    EXPECT_EQ(right->viewWithTag(1)->superview(), a);

    // Views that go leave nothing behind.
    deep->setSubviews({});
    a.reset();
    c.reset();
    EXPECT_EQ(root->viewWithTag(1)->superview(), b);
    EXPECT_EQ(root->viewWithTag(2), nullptr);
    EXPECT_EQ(left->viewWithTag(1), nullptr);
}

TEST(ViewOrder, InsertingAboveAMarkerAndMovingBetweenParentsKeepOrder) {
    auto preview = View::make(Rect(0, 0, 400, 300));
    auto below = markerView(-10), above = markerView(-12);
    auto camera = View::make();
    preview->setSubviews({below, camera, above});

    auto x = View::make(), y = View::make();
    View* belowHolder = preview->viewWithTag(-10)->superviewPointer();
    preview->addSubview(x, Ordering::Above, belowHolder);
    preview->addSubview(y, Ordering::Above, x.get());
    EXPECT_EQ(raw(preview->subviews()),
              (std::vector<View*>{below.get(), x.get(), y.get(), camera.get(), above.get()}));
    EXPECT_EQ(rawLayers(*preview), layersOf(preview->subviews()));

    // Moving x directly above the other marker: it leaves its old place, the rest keep order.
    preview->addSubview(x, Ordering::Above, above.get());
    EXPECT_EQ(raw(preview->subviews()),
              (std::vector<View*>{below.get(), y.get(), camera.get(), above.get(), x.get()}));
    preview->addSubview(y, Ordering::Below, nullptr);
    EXPECT_EQ(preview->subviews().front(), y);

    // To another parent and back.
    auto studio = View::make();
    auto s1 = View::make();
    studio->addSubview(s1);
    studio->addSubview(x, Ordering::Below, s1.get());
    studio->addSubview(camera);
    EXPECT_EQ(raw(studio->subviews()), (std::vector<View*>{x.get(), s1.get(), camera.get()}));
    EXPECT_EQ(raw(preview->subviews()), (std::vector<View*>{y.get(), below.get(), above.get()}));
    EXPECT_EQ(rawLayers(*studio), layersOf(studio->subviews()));
    EXPECT_EQ(rawLayers(*preview), layersOf(preview->subviews()));
    EXPECT_EQ(x->superview(), studio);

    preview->addSubview(camera, Ordering::Above, below.get());
    EXPECT_EQ(raw(preview->subviews()),
              (std::vector<View*>{y.get(), below.get(), camera.get(), above.get()}));

    // A tag-only marker keeps no layer in the tree: the layers around it keep their order.
    auto tagOnly = TextField::makeMarker(-20);
    auto z = View::make();
    preview->addSubview(tagOnly, Ordering::Above, y.get());
    preview->addSubview(z, Ordering::Above, tagOnly.get());
    EXPECT_EQ(preview->viewWithTag(-20), tagOnly);
    EXPECT_EQ(tagOnly->layer()->superlayer(), nullptr);
    EXPECT_EQ(rawLayers(*preview), layersOf({y, z, below, camera, above}));
    z->removeFromSuperview();
    tagOnly->removeFromSuperview();
    camera->removeFromSuperview();
    EXPECT_EQ(camera->superview(), nullptr);
    EXPECT_EQ(camera->layer()->superlayer(), nullptr);

    // No cycles.
    x->addSubview(studio);
    EXPECT_EQ(studio->superview(), nullptr);
}

TEST(ViewOrder, APlaceHolderHoldsItsPlaceWithoutALayer) {
    auto tile = View::make(Rect(0, 0, 100, 60));
    auto back = View::make(), front = View::make();
    tile->setSubviews({back, front});
    // A group's place between the two, found by its tag as the order code finds it.
    auto group = View::makePlaceHolder();
    group->addSubview(TextField::makeMarker(-11));
    tile->addSubview(group, Ordering::Above, back.get());
    auto member = View::make();
    tile->addSubview(member, Ordering::Above, tile->viewWithTag(-11)->superviewPointer());
    EXPECT_EQ(raw(tile->subviews()),
              (std::vector<View*>{back.get(), group.get(), member.get(), front.get()}));
    EXPECT_EQ(group->layer()->superlayer(), nullptr);
    EXPECT_EQ(rawLayers(*tile), layersOf({back, member, front}));
    EXPECT_FALSE(group->isHidden());
}

TEST(ViewOrder, LentLayerComesBackInOrder) {
    auto parent = View::make(Rect(0, 0, 100, 100));
    auto a = View::make(), b = View::make(), c = View::make();
    parent->setSubviews({a, b, c});
    // Another tree (a movie export) borrows b's layer.
    auto output = graphics::Layer::make();
    output->addSublayer(b->layer());
    EXPECT_EQ(rawLayers(*parent), (std::vector<graphics::Layer*>{a->layer().get(), c->layer().get()}));
    // Moving the view back into place re-adopts the layer at the right spot.
    parent->addSubview(b, Ordering::Above, a.get());
    EXPECT_EQ(rawLayers(*parent), layersOf(parent->subviews()));
    EXPECT_TRUE(output->sublayers().empty());
}

// A deck's preview holds thousands of sibling views placed next to one another. Every way of
// placing, moving and taking them out keeps subviews and layers in the order a plain list would,
// whether or not the order is read between the changes.
TEST(ViewOrder, LongSiblingListsKeepTheOrderOfAPlainList) {
    std::mt19937 random(46);
    auto pick = [&](size_t n) { return size_t(std::uniform_int_distribution<size_t>(0, n - 1)(random)); };
    auto parent = View::make(), other = View::make();
    std::vector<ViewPtr> pool;
    for (int i = 0; i < 300; ++i)
        pool.push_back(View::make());
    std::vector<View*> expected, expectedOther;
    auto erase = [](std::vector<View*>& list, View* v) {
        if (auto it = std::find(list.begin(), list.end(), v); it != list.end())
            list.erase(it);
    };
    for (int step = 0; step < 6000; ++step) {
        View* v = pool[pick(pool.size())].get();
        const int op = int(pick(10));
        if (op < 6) {
            // Next to a sibling (maybe itself), a foreign view or none.
            const View* relative = nullptr;
            if (!expected.empty() && op < 5)
                relative = expected[pick(expected.size())];
            else if (!expectedOther.empty() && op == 5)
                relative = expectedOther[pick(expectedOther.size())];
            const Ordering ordering = pick(2) ? Ordering::Above : Ordering::Below;
            parent->addSubview(v->shared_from_this(), ordering, relative);
            erase(expected, v);
            erase(expectedOther, v);
            auto at = std::find(expected.begin(), expected.end(), relative);
            if (at == expected.end())
                at = ordering == Ordering::Above ? expected.end() : expected.begin();
            else if (ordering == Ordering::Above)
                ++at;
            expected.insert(at, v);
        } else if (op < 8) {
            v->removeFromSuperview();
            erase(expected, v);
            erase(expectedOther, v);
        } else if (op == 8) {
            other->addSubview(v->shared_from_this());
            erase(expected, v);
            erase(expectedOther, v);
            expectedOther.push_back(v);
        }
        if (op == 9 || step % 997 == 0) {
            ASSERT_EQ(raw(parent->subviews()), expected) << "step " << step;
            ASSERT_EQ(rawLayers(*parent), layersOf(parent->subviews())) << "step " << step;
            ASSERT_EQ(raw(other->subviews()), expectedOther) << "step " << step;
        }
    }
    for (View* v : expected)
        EXPECT_EQ(v->superviewPointer(), parent.get());
    // Subviews that outlive their superview are free to be placed again.
    parent.reset();
    for (View* v : expected) {
        EXPECT_EQ(v->superviewPointer(), nullptr);
        other->addSubview(v->shared_from_this(), Ordering::Below, nullptr);
    }
    EXPECT_EQ(other->subviews().size(), expected.size() + expectedOther.size());
    EXPECT_EQ(rawLayers(*other), layersOf(other->subviews()));
}

TEST(ViewGeometry, ConversionThroughFlipsAndRotations) {
    auto root = View::make(Rect(0, 0, 400, 300));
    auto flipped = View::make(Rect(100, 50, 200, 200));
    flipped->setFlipped(true);
    auto child = View::make(Rect(10, 20, 40, 30)); // 20 down from the flipped view's top
    root->addSubview(flipped);
    flipped->addSubview(child);
    expectNear(child->convertPointToView({0, 0}, nullptr), {110, 50 + 200 - 20 - 30});
    expectNear(child->convertPointToView({0, 30}, flipped.get()), {10, 20});

    auto rotated = View::make(Rect(200, 100, 100, 50));
    rotated->setFrameCenterRotation(90);
    root->addSubview(rotated);
    EXPECT_EQ(rotated->frame(), Rect(200, 100, 100, 50)); // the frame stays unrotated
    // The bottom-left corner turns a quarter about the centre (250, 125).
    expectNear(rotated->convertPointToView({0, 0}, nullptr), {275, 75});
    // Between two views in different branches, both ways.
    Point p = child->convertPointToView({5, 5}, rotated.get());
    expectNear(rotated->convertPointToView(p, child.get()), {5, 5});
    expectNear(child->convertPointFromView(p, rotated.get()), {5, 5});

    // The backing layers agree with the views, so what is drawn is where events land.
    for (const View* v : {child.get(), rotated.get()}) {
        Point viaView = v->convertPointToView({3, 7}, nullptr);
        Point viaLayer = v->layer()->convertPointToLayer({3, 7}, nullptr);
        expectNear(viaView, viaLayer);
    }
}

TEST(ViewGeometry, HitTestingThroughRotatedAndFlippedViews) {
    auto root = View::make(Rect(0, 0, 400, 300));
    auto bar = View::make(Rect(100, 140, 200, 20)); // a thin horizontal bar centred on (200, 150)
    root->addSubview(bar);
    bar->setFrameCenterRotation(90);                  // now vertical: x 190...210, y 50...250
    EXPECT_EQ(root->hitTest({200, 240}), bar.get());  // outside the unrotated frame, inside the shape
    EXPECT_EQ(root->hitTest({120, 150}), root.get()); // inside the unrotated frame only

    auto list = View::make(Rect(0, 0, 100, 300));
    list->setFlipped(true);
    auto tile = View::make(Rect(0, 0, 100, 40)); // the first tile sits at the top
    list->addSubview(tile);
    root->addSubview(list);
    EXPECT_EQ(root->hitTest({50, 290}), tile.get());
    EXPECT_EQ(root->hitTest({50, 10}), list.get());

    // A rotated view's subviews turn with it.
    auto knob = View::make(Rect(0, 0, 20, 20)); // the bar's left end before turning
    bar->addSubview(knob);
    EXPECT_EQ(root->hitTest({200, 60}), knob.get());

    tile->setHidden(true);
    EXPECT_EQ(root->hitTest({50, 290}), list.get());
    list->setHidden(true);
    EXPECT_EQ(root->hitTest({50, 290}), root.get());
}

TEST(ViewGeometry, AutoresizingMasks) {
    auto parent = View::make(Rect(0, 0, 100, 100));
    auto fill = View::make(Rect(10, 10, 80, 80));
    fill->setAutoresizingMask(WidthSizable | HeightSizable);
    auto topRight = View::make(Rect(70, 70, 20, 20));
    topRight->setAutoresizingMask(FlexibleMinXMargin | FlexibleMinYMargin);
    auto centred = View::make(Rect(40, 40, 20, 20));
    centred->setAutoresizingMask(FlexibleMinXMargin | FlexibleMaxXMargin | FlexibleMinYMargin |
                                 FlexibleMaxYMargin);
    parent->setSubviews({fill, topRight, centred});
    parent->setFrameSize({200, 300});
    EXPECT_EQ(fill->frame(), Rect(10, 10, 180, 280));
    EXPECT_EQ(topRight->frame(), Rect(170, 270, 20, 20));
    EXPECT_EQ(centred->frame(), Rect(90, 140, 20, 20));

    parent->setAutoresizesSubviews(false);
    parent->setFrameSize({100, 100});
    EXPECT_EQ(fill->frame(), Rect(10, 10, 180, 280));
}

TEST(ViewLayer, FollowsTheViewButCanBeSetDirectly) {
    auto v = View::make(Rect(10, 20, 100, 50));
    EXPECT_EQ(v->layer()->frame(), Rect(10, 20, 100, 50));
    // Placed by hand, as the layer editor does with its transforms.
    v->layer()->setPosition({300, 300});
    v->layer()->setTransform(AffineTransform::scale(2, 2));
    EXPECT_EQ(v->frame(), Rect(10, 20, 100, 50)); // the view's own frame is untouched
    EXPECT_EQ(v->layer()->position(), (Point{300, 300}));
    // The next change of the view's geometry takes over again.
    v->setFrameOrigin({0, 0});
    EXPECT_EQ(v->layer()->frame(), Rect(0, 0, 100, 50));
    v->setHidden(true);
    EXPECT_TRUE(v->layer()->isHidden());
    v->setAlphaValue(0.25);
    EXPECT_DOUBLE_EQ(v->layer()->opacity(), 0.25);
}

TEST(ViewLayer, SetUpBeforePlacementIsProvisionalButLaterPlacementSurvivesMoves) {
    auto preview = View::make(Rect(0, 0, 400, 300));
    // A new view whose layer is framed to its own bounds still shows at its frame once added.
    auto camera = View::make(Rect(50, 40, 200, 100));
    camera->layer()->setFrame(camera->bounds());
    preview->addSubview(camera);
    EXPECT_EQ(camera->layer()->frame(), Rect(50, 40, 200, 100));

    // Once placed, a layer moved and turned by hand keeps that through re-stacking, hiding and
    // a round trip through another superview.
    auto holder = View::make(Rect(10, 10, 20, 20));
    preview->addSubview(holder, Ordering::Below, camera.get());
    const auto turned = AffineTransform::rotation(0.5).concat(AffineTransform::scale(2, 1));
    holder->layer()->setPosition({120, 90});
    holder->layer()->setTransform(turned);
    holder->removeFromSuperview();
    preview->addSubview(holder, Ordering::Above, camera.get());
    holder->setHidden(true);
    holder->setHidden(false);
    auto elsewhere = View::make(Rect(0, 0, 400, 300));
    elsewhere->addSubview(holder);
    preview->addSubview(holder);
    EXPECT_EQ(holder->layer()->transform(), turned);
    EXPECT_EQ(holder->layer()->position(), (Point{120, 90}));
    EXPECT_EQ(rawLayers(*preview), layersOf(preview->subviews()));
}

TEST(ViewDrawing, DrawnContentLandsInTheLayerAndRendersUpright) {
    auto window = Window::make(Rect(0, 0, 100, 100));
    window->setBackgroundColour(Colour::white());
    auto painted = std::make_shared<PaintedView>(Rect(20, 20, 50, 50));
    auto flippedHost = View::make(Rect(0, 0, 100, 100));
    window->contentView()->addSubview(painted);
    painted->setNeedsDisplay();
    window->displayIfNeeded();
    EXPECT_EQ(painted->draws, 1);
    EXPECT_FALSE(painted->layer()->contents().isNull());
    window->displayIfNeeded();
    EXPECT_EQ(painted->draws, 1); // nothing new asked for

    QImage shot = window->snapshot(0);
    // The red square sits at (20...30, 20...30) in window space: image rows 70...79.
    EXPECT_EQ(shot.pixelColor(25, 75), QColor(Qt::red));
    EXPECT_EQ(shot.pixelColor(25, 35), QColor(Qt::white));

    // In a flipped view the same drawing comes out at the top.
    auto flippedPainted = std::make_shared<PaintedView>(Rect(0, 0, 100, 100));
    flippedPainted->setFlipped(true);
    window->contentView()->addSubview(flippedPainted);
    flippedPainted->setNeedsDisplay();
    QImage top = window->snapshot(0);
    EXPECT_EQ(top.pixelColor(5, 5), QColor(Qt::red));

    // Resizing redraws a view that draws.
    painted->setFrameSize({60, 60});
    window->displayIfNeeded();
    EXPECT_EQ(painted->draws, 2);
}

TEST(ViewDrawing, RotatedViewRendersAsItsTurnedRectangle) {
    auto window = Window::make(Rect(0, 0, 200, 200));
    window->setBackgroundColour(Colour::clear());
    auto bar = View::make(Rect(40, 90, 120, 20));
    bar->layer()->setBackgroundColour({0, 0, 1, 1});
    bar->setFrameCenterRotation(90);
    window->contentView()->addSubview(bar);
    QImage shot = window->snapshot(0);
    auto at = [&](int x, int y) { return shot.pixelColor(x, 199 - y); };
    EXPECT_EQ(at(100, 40), QColor(Qt::blue));
    EXPECT_EQ(at(100, 155), QColor(Qt::blue));
    EXPECT_EQ(at(50, 100).alpha(), 0);
    EXPECT_EQ(at(150, 100).alpha(), 0);
}

// A view as large as a stored project may make one: its picture keeps to the bounds and is
// stretched over the whole view when drawn.
TEST(View, APictureOfAHugeViewKeepsToTheBoundsAndStillCoversTheView) {
    struct filled : View {
        using View::View;
        void draw(QPainter& p, const Rect& r) override {
            p.fillRect(QRectF(0, 0, r.size.width, r.size.height), Qt::red);
        }
    };
    for (const Size size : {Size{100, 1e6}, Size{2147483648.0, 2147483648.0}, Size{30000, 30000}}) {
        auto view = std::make_shared<filled>(Rect({0, 0}, size));
        view->display();
        const QImage& picture = view->layer()->contents();
        ASSERT_FALSE(picture.isNull());
        EXPECT_LE(picture.width(), View::maxPictureSide);
        EXPECT_LE(picture.height(), View::maxPictureSide);
        EXPECT_LE(double(picture.width()) * picture.height(), View::maxPicturePixels);
        // Seen through a window-sized picture of its lower left corner, it is red all over.
        auto root = graphics::Layer::make();
        root->setBounds(Rect(0, 0, 50, 50));
        root->addSublayer(view->layer());
        const QImage seen = graphics::Renderer().renderToImage(*root, {50, 50}, 0);
        EXPECT_EQ(QColor(seen.pixel(25, 25)), QColor(Qt::red));
    }
    // A small view keeps its full resolution.
    EXPECT_EQ(View::boundedPictureScale({556, 313}, 2), 2);
}

namespace {

void expectArea(const Rect& a, const Rect& b) {
    expectNear(a.origin, b.origin);
    expectNear(Point{a.size.width, a.size.height}, Point{b.size.width, b.size.height});
}

struct RecordingHost : WindowHost {
    std::vector<Rect>* areas;
    explicit RecordingHost(std::vector<Rect>* a) : areas(a) {}
    void show() override {}
    void hide() override {}
    void close() override {}
    void setTitle(const std::string&) override {}
    void setContentRect(const Rect&) override {}
    void setResizable(bool) override {}
    void setMinContentSize(Size) override {}
    void activate() override {}
    void miniaturize() override {}
    void deminiaturize() override {}
    void invalidate(const Rect& r) override {
        if (!r.isEmpty())
            areas->push_back(r);
    }
    void nativeContentChanged() override {}
    void setModal(bool) override {}
};

} // namespace

// Until the window paints, a pending repaint of all of it stands for every change made since
// (building a screen of thousands of views measures none of them); after the paint, changes
// ask for their own areas again.
TEST(WindowRepaint, AWholeWindowRepaintStandsForTheChangesMadeUntilThePaint) {
    std::vector<Rect> areas;
    Window::setHostFactory([&](Window&) { return std::make_unique<RecordingHost>(&areas); });
    auto window = Window::make(Rect(0, 0, 400, 300));
    Window::setHostFactory(nullptr);
    auto box = View::make(Rect(10, 20, 30, 40));
    window->contentView()->addSubview(box);
    window->displayIfNeeded();
    areas.clear();

    box->setAlphaValue(0.5);
    ASSERT_EQ(areas.size(), 1u);
    expectArea(areas[0], Rect(10, 20, 30, 40));

    window->invalidate(Rect(0, 0, 400, 300));
    areas.clear();
    box->setAlphaValue(0.25);
    box->setFrameOrigin({100, 100});
    EXPECT_TRUE(areas.empty());

    window->displayIfNeeded();
    box->setFrameOrigin({200, 100});
    ASSERT_EQ(areas.size(), 2u);
    expectArea(areas[0], Rect(100, 100, 30, 40));
    expectArea(areas[1], Rect(200, 100, 30, 40));

    // All of the window before it grew is only a part of it now.
    window->setContentSize(Size{500, 300});
    window->displayIfNeeded();
    window->invalidate(Rect(0, 0, 400, 300));
    areas.clear();
    box->setAlphaValue(1);
    EXPECT_EQ(areas.size(), 1u);
}

namespace {

struct LayingOutView : View {
    using View::View;
    void layout() override { ++layouts; }
    int layouts = 0;
};

// A container of many plain views, as a long slide strip has.
ViewPtr crowd(int count) {
    auto holder = View::make(Rect(0, 0, 100, 100));
    for (int i = 0; i < count; ++i) {
        auto row = View::make(Rect(0, i, 100, 1));
        row->addSubview(View::make(Rect(0, 0, 10, 1)));
        holder->addSubview(row);
    }
    return holder;
}

} // namespace

// A pass walks down only the paths marked by a request, so a large tree at rest costs nothing;
// requests made while a view is hidden, detached or on its way to another superview still land.
TEST(ViewPasses, ACleanSubtreeIsNotVisitedAndMarksFollowTheViewThroughMoves) {
    auto window = Window::make(Rect(0, 0, 400, 300));
    auto strip = crowd(2000);
    auto painted = std::make_shared<PaintedView>(Rect(0, 0, 20, 20));
    auto laidOut = std::make_shared<LayingOutView>(Rect(0, 0, 20, 20));
    strip->subviews()[1500]->addSubview(painted);
    strip->subviews()[1700]->addSubview(laidOut);
    window->contentView()->addSubview(strip);
    painted->setNeedsDisplay();
    laidOut->setNeedsLayout();
    window->displayIfNeeded();
    EXPECT_EQ(painted->draws, 1);
    EXPECT_EQ(laidOut->layouts, 1);

    // At rest: the passes enter the window's own view and stop.
    auto visits = View::passVisits();
    window->displayIfNeeded();
    EXPECT_LE(View::passVisits() - visits, 2u);

    // One request walks its path down, not the 2,000 rows beside it.
    visits = View::passVisits();
    painted->setNeedsDisplay();
    laidOut->setNeedsLayout();
    window->displayIfNeeded();
    EXPECT_EQ(painted->draws, 2);
    EXPECT_EQ(laidOut->layouts, 2);
    EXPECT_LT(View::passVisits() - visits, 20u);

    // Marked, then moved to another row before the pass: drawn and laid out where it went.
    painted->setNeedsDisplay();
    laidOut->setNeedsLayout();
    strip->subviews()[10]->addSubview(painted);
    strip->subviews()[20]->addSubview(laidOut);
    window->displayIfNeeded();
    EXPECT_EQ(painted->draws, 3);
    EXPECT_EQ(laidOut->layouts, 3);

    // Marked while out of any tree, then added back.
    painted->removeFromSuperview();
    laidOut->removeFromSuperview();
    window->displayIfNeeded();
    painted->setNeedsDisplay();
    laidOut->setNeedsLayout();
    strip->addSubview(painted);
    strip->subviews()[5]->addSubview(laidOut);
    window->displayIfNeeded();
    EXPECT_EQ(painted->draws, 4);
    EXPECT_EQ(laidOut->layouts, 4);

    // Under a hidden view: not drawn while hidden, though the pass cleared the path above it,
    // and drawn once shown.
    auto row = strip->subviews()[30];
    row->addSubview(painted);
    window->displayIfNeeded();
    row->setHidden(true);
    painted->setNeedsDisplay();
    window->displayIfNeeded();
    window->displayIfNeeded();
    EXPECT_EQ(painted->draws, 4);
    row->setHidden(false);
    window->displayIfNeeded();
    EXPECT_EQ(painted->draws, 5);
}

// A clip view over a long strip draws only the tiles in or near sight, and no pass walks the
// waiting ones at rest; a scroll or a move draws a tile in the pass that brings it near, and
// one taken out of the strip is drawn where it goes.
TEST(ViewPasses, AStripDrawsOnlyTheTilesNearWhatItShows) {
    auto window = Window::make(Rect(0, 0, 400, 300));
    auto clip = ClipView::make(Rect(0, 0, 100, 20));
    clip->setDrawsOnlyNearBounds(true);
    auto document = View::make(Rect(0, 0, 100 * 1000, 20));
    std::vector<std::shared_ptr<PaintedView>> labels;
    for (int i = 0; i < 1000; ++i) {
        auto tile = View::make(Rect(i * 100, 0, 90, 20));
        labels.push_back(std::make_shared<PaintedView>(Rect(0, 0, 90, 20)));
        tile->addSubview(labels.back());
        document->addSubview(tile);
        labels.back()->setNeedsDisplay();
    }
    clip->setDocumentView(document);
    window->contentView()->addSubview(clip);
    window->displayIfNeeded();
    EXPECT_EQ(labels[0]->draws + labels[1]->draws, 2);
    EXPECT_EQ(labels[5]->draws + labels[999]->draws, 0);
    EXPECT_TRUE(labels[999]->layer()->contents().isNull());
    auto visits = View::passVisits();
    window->displayIfNeeded();
    EXPECT_LE(View::passVisits() - visits, 2u);

    clip->scrollToPoint({500 * 100, 0});
    labels[800]->setNeedsDisplay();
    window->displayIfNeeded();
    EXPECT_EQ(labels[499]->draws + labels[500]->draws + labels[501]->draws, 3);
    EXPECT_FALSE(labels[500]->layer()->contents().isNull());
    EXPECT_EQ(labels[0]->draws + labels[700]->draws + labels[800]->draws, 1);

    labels[900]->superview()->setFrameOrigin({500 * 100 + 50, 0});
    window->contentView()->addSubview(labels[850]);
    window->displayIfNeeded();
    EXPECT_EQ(labels[900]->draws + labels[850]->draws, 2);
    visits = View::passVisits();
    window->displayIfNeeded();
    EXPECT_LE(View::passVisits() - visits, 2u);

    // Scrolled a wheel notch at a time: every tile that comes into sight is drawn by then, once.
    labels[650]->setNeedsDisplay();
    for (double x = 600 * 100; x < 700 * 100; x += 30) {
        clip->scrollToPoint({x, 0});
        window->displayIfNeeded();
        for (int i = int(x / 100); i * 100 < x + 100; ++i)
            EXPECT_EQ(labels[size_t(i)]->draws, 1) << i;
    }
}

// The host places native editors from a count kept per subtree: it follows views into and out
// of the window and keeps tree order.
TEST(ViewPasses, NativeContentIsFoundInTreeOrderThroughMoves) {
    auto window = Window::make(Rect(0, 0, 400, 300));
    auto strip = crowd(50);
    auto first = View::make(), second = View::make();
    first->setNativeContent(std::make_shared<NativeContent>());
    second->setNativeContent(std::make_shared<NativeContent>());
    strip->subviews()[40]->addSubview(first);
    strip->subviews()[3]->addSubview(second);
    EXPECT_TRUE(window->viewsWithNativeContent().empty());
    window->contentView()->addSubview(strip);
    EXPECT_EQ(window->viewsWithNativeContent(), (std::vector<View*>{second.get(), first.get()}));
    strip->subviews()[45]->addSubview(second);
    EXPECT_EQ(window->viewsWithNativeContent(), (std::vector<View*>{first.get(), second.get()}));
    first->setNativeContent(nullptr);
    EXPECT_EQ(window->viewsWithNativeContent(), (std::vector<View*>{second.get()}));
    strip->subviews()[45]->removeFromSuperview();
    EXPECT_TRUE(window->viewsWithNativeContent().empty());
}
