#include <gtest/gtest.h>

#include "Controller/Global/svgButtonClass.h"
#include "Controller/Global/svgIconClass.h"
#include "Model/stylingClass.h"
#include "View/Global/svgIconView.h"
#include "platform/ui/cursor.h"
#include "platform/ui/image_view.h"
#include "platform/ui/window.h"

using namespace qrn;

namespace {

constexpr int kLight = 4, kHover = 5, kDark = 6;

struct Icon {
    std::shared_ptr<svgIconClass> object;
    std::shared_ptr<svgIconView> view;
};

Icon makeIcon(int hoverMode, std::optional<int> colourIndex = std::nullopt, bool enabled = true,
              const std::string& name = "revert") {
    Icon icon;
    icon.object = svgIconClass::make();
    icon.object->setIsButtonEnabled(enabled);
    icon.object->setDefaultColourPalletIndex(colourIndex);
    icon.view =
        svgIconView::createIconView(icon.object, colourIndex, name, hoverMode, Rect(0, 0, 30, 30), 80);
    icon.object->setImageView(icon.view);
    return icon;
}

std::optional<Colour> tintOf(const Icon& icon) {
    auto picture = std::dynamic_pointer_cast<ui::ImageView>(icon.view->subviews().front());
    return picture ? picture->contentTintColour() : std::nullopt;
}

Colour palette(int i) {
    return stylingClass().getColour(i);
}

void hover(const Icon& icon, bool inside) {
    ui::Event e = ui::Event::mouse(inside ? ui::EventType::MouseEntered : ui::EventType::MouseExited, {5, 5});
    if (inside)
        icon.view->mouseEntered(e);
    else
        icon.view->mouseExited(e);
}

} // namespace

TEST(IconGeometry, OffsetComesFromTheWidthAndIsRoundedToTwoDecimals) {
    EXPECT_EQ(svgIconView::iconGeometry(Rect(0, 0, 30, 30), 80), Rect(3, 3, 24, 24));
    EXPECT_EQ(svgIconView::iconGeometry(Rect(0, 0, 33, 33), 80), Rect(3.3, 3.3, 26.4, 26.4));
    EXPECT_EQ(svgIconView::iconGeometry(Rect(0, 0, 25, 25), 85), Rect(1.88, 1.88, 21.25, 21.25));
    EXPECT_EQ(svgIconView::iconGeometry(Rect(0, 0, 40, 20), 50), Rect(10, 10, 20, 10));
    EXPECT_EQ(svgIconView::iconGeometry(Rect(7, 9, 38, 38), 100), Rect(0, 0, 38, 38));

    auto icon = makeIcon(2);
    ASSERT_EQ(icon.view->subviews().size(), 1u);
    EXPECT_EQ(icon.view->subviews().front()->frame(), Rect(3, 3, 24, 24));
    EXPECT_EQ(icon.view->svgIconObj(), icon.object);
    EXPECT_EQ(icon.view->trackingAreas().size(), 1u);
    EXPECT_EQ(icon.view->trackingAreas().front()->options(), 0x281u);
    EXPECT_TRUE(makeIcon(1).view->trackingAreas().empty());
    // Any mode but 2 goes without tracking.
    EXPECT_TRUE(makeIcon(7).view->trackingAreas().empty());
}

TEST(IconTints, TheDefaultColourFlagOverridesTheColourIndex) {
    auto object = svgIconClass::make();
    auto tint = [&](bool useDefault, int mode) {
        auto view =
            svgIconView::createIconView(object, 7, useDefault, "video", mode, Rect(0, 0, 20, 20), 100);
        return std::dynamic_pointer_cast<ui::ImageView>(view->subviews().front())->contentTintColour();
    };
    EXPECT_EQ(tint(true, 0), palette(kDark));
    EXPECT_EQ(tint(true, 2), palette(kLight));
    EXPECT_EQ(tint(false, 0), palette(7));
}

TEST(IconTints, RestingHeldHoverAndDisabledStates) {
    // A plain icon rests dark at first, and light once it has been held and released.
    auto plain = makeIcon(0, std::nullopt, false);
    EXPECT_EQ(tintOf(plain), palette(kDark));
    plain.object->keepChangedColour(true);
    EXPECT_EQ(tintOf(plain), palette(kHover));
    plain.object->keepChangedColour(false);
    EXPECT_EQ(tintOf(plain), palette(kLight));

    // Leaving always restores the light tint, whatever the default index says.
    auto eight = makeIcon(2, 8);
    EXPECT_EQ(tintOf(eight), palette(8));
    hover(eight, true);
    EXPECT_EQ(tintOf(eight), palette(kHover));
    hover(eight, false);
    EXPECT_EQ(tintOf(eight), palette(kLight));

    // Colour text wins over the palette index, held and hovered.
    auto both = makeIcon(2);
    both.object->setChangeColourOnHover("#df0707FF");
    both.object->setChangeColourPalletIndexOnHover(3);
    const Colour red = *colourFromHex("#df0707FF");
    hover(both, true);
    EXPECT_EQ(tintOf(both), red);
    hover(both, false);
    both.object->keepChangedColour(true);
    EXPECT_EQ(tintOf(both), red);

    // The index alone shows when held, but hovering uses the hover colour.
    auto indexOnly = makeIcon(2);
    indexOnly.object->setChangeColourPalletIndexOnHover(3);
    indexOnly.object->keepChangedColour(true);
    EXPECT_EQ(tintOf(indexOnly), palette(3));
    indexOnly.object->keepChangedColour(false);
    hover(indexOnly, true);
    EXPECT_EQ(tintOf(indexOnly), palette(kHover));

    // Unparseable colour text clears the tint.
    auto bad = makeIcon(2);
    bad.object->setChangeColourOnHover("#12");
    bad.object->keepChangedColour(true);
    EXPECT_FALSE(tintOf(bad).has_value());
}

TEST(IconTints, HeldIconsKeepTheirTintButTheCursorStillFollows) {
    auto icon = makeIcon(2);
    icon.object->keepChangedColour(true);
    hover(icon, true);
    EXPECT_EQ(ui::Cursor::current(), ui::CursorShape::PointingHand);
    EXPECT_EQ(tintOf(icon), palette(kHover));
    hover(icon, false);
    EXPECT_EQ(ui::Cursor::current(), ui::CursorShape::Arrow);
    EXPECT_EQ(tintOf(icon), palette(kHover));
    // Clearing shows the light tint but the icon stays held.
    icon.object->clearColourChange();
    EXPECT_EQ(tintOf(icon), palette(kLight));
    EXPECT_TRUE(icon.object->keepChangedColourValue());

    // Disabled: dark, the pointer changes nothing; enabling restores the resting tint.
    icon.object->enableButton(false);
    EXPECT_EQ(tintOf(icon), palette(kDark));
    hover(icon, true);
    EXPECT_EQ(ui::Cursor::current(), ui::CursorShape::Arrow);
    EXPECT_EQ(tintOf(icon), palette(kDark));
    icon.object->enableButton(true);
    EXPECT_EQ(tintOf(icon), palette(kLight));
    EXPECT_FALSE(icon.object->keepChangedColourValue());
    EXPECT_TRUE(icon.object->getIsButtonEnabled());
}

TEST(IconTints, PointerTrackingInAWindowDrivesTheHoverTint) {
    auto window = ui::Window::make(Rect(0, 0, 200, 200));
    window->contentView()->setFrame(Rect(0, 0, 200, 200));
    auto icon = makeIcon(2);
    icon.view->setFrameOrigin({50, 50});
    window->contentView()->addSubview(icon.view);
    window->sendEvent(ui::Event::mouse(ui::EventType::MouseMoved, {10, 10}));
    window->sendEvent(ui::Event::mouse(ui::EventType::MouseMoved, {60, 60}));
    EXPECT_EQ(tintOf(icon), palette(kHover));
    window->sendEvent(ui::Event::mouse(ui::EventType::MouseMoved, {150, 150}));
    EXPECT_EQ(tintOf(icon), palette(kLight));

    // A menu closes under the click on its button: opened again, its buttons used to wear
    // their hover tints still.
    window->sendEvent(ui::Event::mouse(ui::EventType::MouseMoved, {60, 60}));
    ASSERT_EQ(tintOf(icon), palette(kHover));
    icon.view->removeFromSuperview();
    window->sendEvent(ui::Event::mouse(ui::EventType::MouseMoved, {150, 150}));
    window->contentView()->addSubview(icon.view);
    EXPECT_EQ(tintOf(icon), palette(kLight));
    EXPECT_EQ(ui::Cursor::current(), ui::CursorShape::Arrow);
}

TEST(IconLifetime, TheViewSurvivesUntilPlacedAndThenLivesWithItsScreen) {
    // A screen stores the factory's result straight into the object and places it later.
    auto screen = ui::View::make(Rect(0, 0, 100, 100));
    std::vector<std::shared_ptr<svgIconClass>> icons;
    auto object = svgIconClass::make();
    object->setIsButtonEnabled(true);
    object->setImageView(
        svgIconView::createIconView(object, std::nullopt, "revert", 2, Rect(0, 0, 30, 30), 80));
    ASSERT_TRUE(object->getImageView());
    screen->addSubview(object->getImageView());
    icons.push_back(object);
    object->keepChangedColour(true);
    auto picture = std::dynamic_pointer_cast<ui::ImageView>(object->getImageView()->subviews().front());
    EXPECT_EQ(picture->contentTintColour(), palette(kHover));

    // An icon whose object nobody keeps lives as long as its view.
    std::weak_ptr<svgIconClass> loose;
    {
        auto other = svgIconClass::make();
        other->setIsButtonEnabled(false);
        other->setImageView(
            svgIconView::createIconView(other, std::nullopt, "sticky_asset", 1, Rect(0, 0, 28, 28), 100));
        screen->addSubview(other->getImageView());
        loose = other;
    }
    EXPECT_FALSE(loose.expired());

    // Closing the screen lets the views go, and with them the loose object.
    std::weak_ptr<svgIconView> view = object->getImageView();
    screen.reset();
    EXPECT_TRUE(view.expired());
    EXPECT_TRUE(loose.expired());
    EXPECT_FALSE(object->getImageView());
}

TEST(IconButton, BuildsItsIconOnceAtEightyPercent) {
    svgButtonClass::Configuration c;
    c.frame = Rect(0, 0, 40, 40);
    c.iconName = "undo";
    c.isButton = 0;
    c.iconPercentageRelativeToFrame = 50;
    auto button = svgButtonClass::make(c);
    EXPECT_EQ(button->iconPercentageRelativeToFrameValue(), 80);
    EXPECT_EQ(button->iconPercentageRelativeToFrame(), 80);
    EXPECT_EQ(button->svgIconObj(), nullptr);
    button->layoutSubtreeIfNeeded();
    auto icon = button->svgIconObj();
    ASSERT_TRUE(icon);
    EXPECT_FALSE(icon->getIsButtonEnabled());
    EXPECT_FALSE(icon->defaultColourPalletIndex().has_value());
    EXPECT_EQ(icon->changeColourPalletIndexOnHover(), -1);
    ASSERT_EQ(button->subviews().size(), 1u);
    EXPECT_EQ(button->subviews().front()->subviews().front()->frame(), Rect(4, 4, 32, 32));

    // Later passes keep the icon of the first one.
    button->setFrameSize({80, 80});
    button->layout();
    EXPECT_EQ(button->svgIconObj(), icon);
    EXPECT_EQ(button->subviews().size(), 1u);

    // Any mode other than 0 makes an enabled button; colour text replaces the hover index.
    c.isButton = 7;
    c.changeColourOnHover = "#ff0000ff";
    c.changeColourPalletIndexOnHover = 3;
    auto other = svgButtonClass::make(c);
    other->layout();
    EXPECT_TRUE(other->svgIconObj()->getIsButtonEnabled());
    EXPECT_FALSE(other->svgIconObj()->changeColourPalletIndexOnHover().has_value());
    EXPECT_EQ(other->svgIconObj()->changeColourOnHover(), "#ff0000ff");
}

TEST(IconButton, AClickOnTheIconReachesTheButton) {
    auto window = ui::Window::make(Rect(0, 0, 200, 200));
    window->contentView()->setFrame(Rect(0, 0, 200, 200));
    svgButtonClass::Configuration c;
    c.frame = Rect(20, 20, 40, 40);
    c.iconName = "undo";
    auto button = svgButtonClass::make(c);
    int clicks = 0;
    button->setAction([&](ui::Control&) { ++clicks; });
    window->contentView()->addSubview(button);
    window->contentView()->layoutSubtreeIfNeeded();
    ASSERT_TRUE(button->svgIconObj());
    // The middle of the button is covered by the icon's picture.
    window->sendEvent(ui::Event::mouse(ui::EventType::MouseDown, {40, 40}));
    window->sendEvent(ui::Event::mouse(ui::EventType::MouseUp, {40, 40}));
    EXPECT_EQ(clicks, 1);
}
