// Every control in one window, drawn through the renderer. Set QRN_SCREENSHOT_DIR to keep the
// picture for a look.
#include <QDir>

#include <cstdlib>
#include <gtest/gtest.h>

#include "platform/foundation/main_queue.h"
#include "platform/ui/button.h"
#include "platform/ui/combo_box.h"
#include "platform/ui/image_view.h"
#include "platform/ui/popover.h"
#include "platform/ui/progress_indicator.h"
#include "platform/ui/resources.h"
#include "platform/ui/scroll_view.h"
#include "platform/ui/slider.h"
#include "platform/ui/text_field.h"
#include "platform/ui/text_view.h"
#include "platform/ui/view_controller.h"
#include "platform/ui/window.h"

using namespace qrn;
using namespace qrn::ui;

namespace {

class LabelController : public ViewController {
  protected:
    void loadView() override {
        auto v = View::make(Rect(0, 0, 150, 44));
        v->addSubview(TextField::makeLabel("Popover content", Rect(10, 12, 130, 20)));
        setView(v);
    }
};

} // namespace

TEST(ControlsGallery, EveryControlDrawsIntoTheWindow) {
    auto window = Window::make(Rect(0, 0, 640, 420));
    window->setBackgroundColour(Colour{0.12, 0.12, 0.13, 1});
    auto root = window->contentView();
    root->setFrame(Rect(0, 0, 640, 420));

    root->addSubview(TextField::makeLabel("Label: Version 1.0 Build 7", Rect(20, 380, 260, 22)));
    auto field = TextField::make(Rect(20, 345, 260, 24));
    field->setStringValue("An editable field whose text is far too long to fit");
    root->addSubview(field);
    auto styled = TextField::makeLabel("", Rect(20, 315, 260, 22));
    AttributedString s("Styled text with a link");
    TextAttributes red;
    red.foregroundColour = Colour{0.9, 0.3, 0.3, 1};
    s.addAttributes(red, {0, 6});
    TextAttributes link;
    link.link = "https://example.org/";
    link.foregroundColour = Colour{0.35, 0.6, 1, 1};
    link.underlineStyle = underline::single;
    s.addAttributes(link, {19, 4});
    styled->setAttributedStringValue(s);
    root->addSubview(styled);

    auto text = TextView::make(Rect(20, 215, 260, 90));
    text->setDrawsBackground(true);
    text->setBackgroundColour(Colour{0.18, 0.18, 0.2, 1});
    text->setTextInset(6);
    AttributedString script(
        "Welcome to the show.\nThis text view is drawn into its layer and turns with it.");
    TextAttributes big;
    big.font = fontWithFamily(installedFontFamilies().front(), 16);
    script.addAttributes(big, {0, 20});
    text->setAttributedString(script);
    text->setFrameCenterRotation(3);
    root->addSubview(text);

    auto combo = ComboBox::make(Rect(20, 175, 160, 26));
    combo->addItems({"DejaVu Sans", "DejaVu Serif"});
    combo->selectItem(0);
    root->addSubview(combo);
    auto slider = Slider::make(Rect(20, 140, 200, 22));
    slider->setRange(0, 100);
    slider->setDoubleValue(35);
    root->addSubview(slider);
    auto stepper = Stepper::make(Rect(230, 138, 16, 26));
    root->addSubview(stepper);
    auto push = Button::make(Rect(20, 95, 110, 30));
    push->setTitle("Push");
    root->addSubview(push);
    auto check = Button::makeCheckBox("Check box", Rect(145, 100, 120, 20));
    check->setState(ControlState::on);
    root->addSubview(check);
    auto imageButton = Button::make(Rect(20, 50, 36, 36), ButtonType::image);
    imageButton->setImageNamed("record_start", {28, 28});
    root->addSubview(imageButton);
    auto spinner = ProgressIndicator::make(Rect(70, 55, 26, 26));
    spinner->startAnimation();
    MainQueue::advance(0.3);
    root->addSubview(spinner);
    auto well = ColourWell::make(Rect(110, 52, 60, 30));
    well->setColour(Colour{0.1, 0.6, 0.9, 1});
    root->addSubview(well);

    // Images: a tinted template, a symbol, an animated frame.
    auto icon = ImageView::make(Rect(320, 370, 32, 32));
    icon->setImageNamed("camera");
    icon->setContentTintColour(Colour{0.09, 0.45, 0.78, 1});
    root->addSubview(icon);
    auto symbol = ImageView::make(Rect(360, 362, 48, 48));
    symbol->setImageNamed("cloudsun");
    root->addSubview(symbol);
    std::vector<QImage> frames;
    for (int i = 1; i <= 6; ++i)
        frames.push_back(NamedImages::render("lightning0" + std::to_string(i), {96, 96}));
    auto animated = ImageView::make(Rect(416, 362, 48, 48));
    animated->setAnimatedImage(AnimatedImage::fromFrames(frames, 0.5));
    root->addSubview(animated);

    // A scroll view over a long list of rows.
    auto scroll = ScrollView::make(Rect(320, 140, 290, 200));
    scroll->setHasVerticalScroller(true);
    scroll->setDrawsBackground(true);
    auto list = View::make(Rect(0, 0, 290, 20 * 28));
    list->setFlipped(true);
    for (int i = 0; i < 20; ++i) {
        auto row = TextField::makeLabel("Recent project " + std::to_string(i + 1) + ".qrn3ks",
                                        Rect(8, i * 28 + 4, 270, 20));
        list->addSubview(row);
    }
    scroll->setDocumentView(list);
    scroll->scrollToPoint({0, 56});
    root->addSubview(scroll);

    Popover popover;
    popover.setContentViewController(std::make_shared<LabelController>());
    popover.show(well->bounds(), *well, RectEdge::maxX);
    ASSERT_TRUE(popover.isShown());

    window->displayIfNeeded();
    QImage shot = window->snapshot(0);
    ASSERT_FALSE(shot.isNull());
    EXPECT_EQ(shot.width(), 640);
    // The check box's accent fill is on screen where it was put (y up: 100..120).
    EXPECT_GT(shot.pixelColor(152, 420 - 110).blue(), 120);
    if (const char* dir = std::getenv("QRN_SCREENSHOT_DIR"))
        shot.save(QDir(dir).filePath("controls.png"));
}
