// Views whose backing layers are lent to another layer tree (a movie export renders a screen's
// layers on their own) and taken back afterwards.
#include <gtest/gtest.h>

#include <QPainter>

#include "platform/graphics/renderer.h"
#include "platform/ui/view.h"

using namespace qrn;
using namespace qrn::ui;

namespace {

class Painted : public View {
  public:
    using View::View;
    int draws = 0;
    void draw(QPainter& p, const Rect& r) override {
        ++draws;
        p.fillRect(QRectF(r.origin.x, r.origin.y, r.size.width, r.size.height), Qt::red);
    }
};

std::vector<graphics::Layer*> sublayersOf(const View& v) {
    std::vector<graphics::Layer*> out;
    for (auto& l : v.layer()->sublayers())
        out.push_back(l.get());
    return out;
}

} // namespace

TEST(LentLayers, TakenBackInSubviewOrderAtEveryDepth) {
    auto root = View::make(Rect(0, 0, 100, 100));
    auto a = View::make(Rect(0, 0, 50, 50)), b = View::make(Rect(10, 10, 50, 50)),
         c = View::make(Rect(20, 20, 50, 50));
    auto inner = View::make(Rect(0, 0, 10, 10)), inner2 = View::make(Rect(1, 1, 5, 5));
    root->addSubview(a);
    root->addSubview(b);
    root->addSubview(c);
    b->addSubview(inner);
    b->addSubview(inner2);
    // A layer of the root's own (not a view's) stays where it is.
    auto own = graphics::Layer::make();
    root->layer()->insertSublayer(own, 0);

    // Lent in another order, one of them from deeper down.
    auto output = graphics::Layer::make();
    output->addSublayer(c->layer());
    output->addSublayer(inner->layer());
    output->addSublayer(a->layer());
    EXPECT_EQ(sublayersOf(*root), (std::vector<graphics::Layer*>{own.get(), b->layer().get()}));

    root->takeBackLentLayers();
    EXPECT_TRUE(output->sublayers().empty());
    EXPECT_EQ(sublayersOf(*root), (std::vector<graphics::Layer*>{own.get(), a->layer().get(),
                                                                 b->layer().get(), c->layer().get()}));
    EXPECT_EQ(sublayersOf(*b), (std::vector<graphics::Layer*>{inner->layer().get(), inner2->layer().get()}));
    // Geometry was never the lender's business: it draws where it did.
    EXPECT_EQ(c->layer()->frame(), c->frame());
    // Nothing lent: nothing changes.
    root->takeBackLentLayers();
    EXPECT_EQ(sublayersOf(*root).size(), 4u);
}

TEST(LentLayers, HiddenViewsAreDrawnWhenAskedSoALentTreeShowsThem) {
    auto root = View::make(Rect(0, 0, 40, 40));
    auto holder = View::make(Rect(0, 0, 40, 40));
    auto text = std::make_shared<Painted>(Rect(0, 0, 20, 10));
    root->addSubview(holder);
    holder->addSubview(text);
    text->setNeedsDisplay();
    holder->setHidden(true);

    root->displayIfNeeded();
    EXPECT_EQ(text->draws, 0); // left for when it is shown
    EXPECT_TRUE(text->layer()->contents().isNull());

    root->displaySubtreeIncludingHidden();
    EXPECT_EQ(text->draws, 1);
    ASSERT_FALSE(text->layer()->contents().isNull());
    EXPECT_EQ(text->layer()->contents().size(), QSize(20, 10));

    // Lent and shown by its animation's opacity rather than by the view: the picture is there.
    auto output = graphics::Layer::make(Rect(0, 0, 40, 40));
    holder->layer()->setHidden(false);
    output->addSublayer(holder->layer());
    QImage image(40, 40, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    graphics::Renderer().render(*output, image, 0, 1);
    int red = 0;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 40; ++x)
            red += QColor(image.pixel(x, y)) == QColor(Qt::red);
    EXPECT_EQ(red, 20 * 10);
    // Plain views that draw nothing stay undrawn.
    EXPECT_TRUE(holder->layer()->contents().isNull());
}
