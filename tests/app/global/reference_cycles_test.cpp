// Icon objects and their views refer to each other; neither may outlive both owners.
#include <gtest/gtest.h>

#include "Controller/Global/svgIconClass.h"
#include "View/Global/svgIconView.h"

TEST(IconReferenceCycle, AnIconNeverPlacedIsFreedWithItsObject) {
    std::weak_ptr<svgIconClass> object;
    std::weak_ptr<svgIconView> view;
    {
        auto icon = svgIconClass::make();
        icon->setImageView(svgIconView::createIconView(icon, 7, "revert", 2, qrn::Rect(0, 0, 30, 30), 80));
        object = icon;
        view = icon->getImageView();
        // The object alone keeps its unplaced view, which still reaches the object.
        ASSERT_FALSE(view.expired());
        EXPECT_EQ(view.lock()->svgIconObj(), icon);
    }
    EXPECT_TRUE(object.expired());
    EXPECT_TRUE(view.expired());
}

TEST(IconReferenceCycle, APlacedIconLivesWithItsViewAndIsFreedWithIt) {
    auto screen = qrn::ui::View::make(qrn::Rect(0, 0, 100, 100));
    std::weak_ptr<svgIconClass> object;
    {
        auto icon = svgIconClass::make();
        icon->setImageView(svgIconView::createIconView(icon, 7, "revert", 2, qrn::Rect(0, 0, 30, 30), 80));
        screen->addSubview(icon->getImageView());
        object = icon;
    }
    ASSERT_FALSE(object.expired());
    EXPECT_EQ(object.lock()->getImageView()->superviewPointer(), screen.get());
    screen.reset();
    EXPECT_TRUE(object.expired());
}
