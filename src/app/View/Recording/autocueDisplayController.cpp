#include "View/Recording/autocueDisplayController.h"

#include <algorithm>
#include <cmath>

#include "Controller/Global/dataLoggingClass.h"
#include "Controller/Global/svgButtonClass.h"
#include "Controller/Global/svgIconClass.h"
#include "Controller/Recording/autocueDisplayClass.h"
#include "Controller/Recording/recordViewClass.h"
#include "Model/persistentDataStorageClass.h"
#include "View/Global/svgIconView.h"
#include "View/Recording/autocueButtonHoldClass.h"
#include "View/Recording/autocueDisplayView.h"
#include "platform/foundation/colour.h"
#include "platform/foundation/main_queue.h"
#include "platform/graphics/animated_value.h"
#include "platform/ui/text_view.h"

namespace {

std::optional<autocueDisplayClass> autocueDisplayObject;
// Only keeps the window's two plain icons alive.
std::vector<std::shared_ptr<svgIconClass>> autocueIconArray;
std::shared_ptr<autocueDisplayController> currentController;

// The number a field's whole text gives (spaces around it allowed); none for anything else: a
// slip of the keyboard must not stop the script or shrink it to its smallest size mid-take.
std::optional<double> typedNumber(const std::string& text) {
    const char* begin = text.c_str();
    char* end = nullptr;
    const double value = std::strtod(begin, &end);
    if (end == begin || !std::isfinite(value))
        return std::nullopt;
    while (*end == ' ' || *end == '\t')
        ++end;
    if (*end != '\0')
        return std::nullopt;
    return value;
}

constexpr double barHeight = 50;
constexpr double buttonSide = 30;
const qrn::Size windowContentSize{649, 480};
// Wide enough that the font-size controls keep clear of the speed field, and tall enough to
// show the reading marker, the line at the start position and a few lines after it.
const qrn::Size windowMinSize{600, 400};

std::function<autocueDisplayController::windowSurroundings(qrn::ui::Window&)> surroundingsProvider;
// Where the presenter last left the window in this run.
std::optional<qrn::Rect> whereLeft;
// Kept between the window and the studio's frame or controls.
constexpr double gap = 8;

qrn::Rect outset(const qrn::Rect& r, qrn::EdgeInsets e) {
    return r.inset(qrn::EdgeInsets{-e.top, -e.left, -e.bottom, -e.right});
}

// The window showing the studio, if it is on show.
qrn::ui::WindowPtr studioWindow() {
    recordViewClass studio;
    if (!studio.getRecordViewSelected())
        return nullptr;
    const auto& views = studio.getRecordingScreenViews();
    qrn::ui::Window* window = views && views->mainView ? views->mainView->window() : nullptr;
    if (!window || window->isClosed())
        return nullptr;
    return window->weak_from_this().lock();
}

// The studio's window and its controls in screen space, as the first opening avoids them.
std::optional<autocueDisplayController::studioPlacement> shownStudio() {
    recordViewClass studio;
    const auto shown = studioWindow();
    if (!shown)
        return std::nullopt;
    const auto& views = studio.getRecordingScreenViews();
    qrn::ui::Window* window = shown.get();
    autocueDisplayController::studioPlacement placement;
    placement.studio = window->frame();
    if (surroundingsProvider)
        placement.surroundings = surroundingsProvider(*window);
    const qrn::Point origin = window->frame().origin;
    const auto add = [&](const std::shared_ptr<qrn::ui::View>& view) {
        if (view && view->window() == window && !view->isHiddenOrHasHiddenAncestor())
            placement.controls.push_back(view->windowRect().offsetBy(origin.x, origin.y));
    };
    add(views->recordButton);
    add(views->timerTextView);
    add(views->nextAssetParent);
    if (const auto& buttons = studio.getRecordTitleBarButtons())
        for (const auto& button :
             {buttons->buttonEditingView, buttons->buttonAutocueSettingsView,
              buttons->buttonVideoSettingsView, buttons->buttonDismissPlayback, buttons->buttonSavePlayback})
            add(button);
    return placement;
}

void highlight(const std::shared_ptr<svgButtonClass>& button, bool on) {
    autocueDisplayClass::highlightButton(button, on);
}

// The studio title bar's autocue button shows whether the window is on screen.
void highlightStudioButton(bool on) {
    if (const auto& buttons = recordViewClass().getRecordTitleBarButtons())
        highlight(buttons->buttonAutocueSettingsView, on);
}

qrn::Colour named(const char* name, qrn::Colour otherwise) {
    return qrn::namedColour(name, true).value_or(otherwise);
}

svgButtonClass::Configuration iconButton(double x, const char* icon) {
    svgButtonClass::Configuration c;
    c.frame = qrn::Rect(x, (barHeight - buttonSide) / 2, buttonSide, buttonSide);
    c.iconName = icon;
    return c;
}

} // namespace

// --- Opening

void autocueDisplayController::showWindow() {
    if (currentController)
        if (qrn::ui::Window* open = currentController->window(); open && !open->isClosed()) {
            // Minimised (by Hide, say), it comes back: the button is the presenter's way to it.
            open->deminiaturize();
            open->makeKeyAndOrderFront();
            return;
        }
    auto controller = std::make_shared<autocueDisplayController>();
    controller->setIdentifier("autocueDisplayController");
    qrn::Rect frame(240, 240, windowContentSize.width, windowContentSize.height);
    if (whereLeft)
        frame = *whereLeft;
    else if (const auto studio = shownStudio())
        frame = firstWindowFrame(*studio);
    auto window = qrn::ui::Window::make(frame);
    window->setTitle("Autocue");
    window->setMinSize(windowMinSize);
    // A small or scaled screen would put the title bar above its top, out of reach.
    window->setKeepsOnScreenWhenShown(true);
    window->setBackgroundColour(named("background_colour_light_dark", qrn::Colour{0.12, 0.12, 0.12, 1}));
    // The script stays in front of the studio it overlaps on a small screen, also when the
    // presenter clicks the camera picture during a take.
    window->setParentWindow(studioWindow());
    currentController = controller;
    window->setContentViewController(controller);
    window->makeKeyAndOrderFront();
}

std::shared_ptr<autocueDisplayController> autocueDisplayController::current() {
    return currentController;
}

void autocueDisplayController::setSurroundingsProvider(
    std::function<windowSurroundings(qrn::ui::Window&)> provider) {
    surroundingsProvider = std::move(provider);
}

autocueDisplayController::windowSurroundings
autocueDisplayController::surroundingsOf(qrn::ui::Window& window) {
    return surroundingsProvider ? surroundingsProvider(window) : windowSurroundings{};
}

void autocueDisplayController::forgetWhereLeftForTesting() {
    whereLeft.reset();
}

qrn::Rect autocueDisplayController::firstWindowFrame(const studioPlacement& placement) {
    using qrn::Rect;
    const auto& around = placement.surroundings;
    qrn::EdgeInsets studioFrame = around.frame;
    studioFrame.top += around.menuBar;
    const Rect studio = outset(placement.studio, studioFrame);
    // The autocue is framed by the same window manager, without a menu bar.
    const qrn::EdgeInsets frame = around.frame;
    const double frameWidth = frame.left + frame.right, frameHeight = frame.top + frame.bottom;
    // Not knowing the screen, the studio's own frame is all the room there is.
    const Rect area = around.screenArea.value_or(studio);
    const double width =
        std::max(windowMinSize.width, std::min(windowContentSize.width, area.width() - frameWidth));
    const double tallest = area.height() - frameHeight;
    // Content rectangle whose frame hangs from the screen's top edge.
    const auto fromTop = [&](double x, double w, double h) {
        return Rect(x, area.maxY() - frame.top - h, w, h);
    };

    // Beside the studio, as high as the screen goes (the camera sits above it), on the side
    // with more room.
    const double roomRight = area.maxX() - studio.maxX() - gap - frameWidth;
    const double roomLeft = studio.minX() - area.minX() - gap - frameWidth;
    const double height = std::max(windowMinSize.height, std::min(windowContentSize.height, tallest));
    if (std::max(roomRight, roomLeft) >= windowMinSize.width) {
        const double w = std::min(windowContentSize.width, std::max(roomRight, roomLeft));
        const double x =
            roomRight >= roomLeft ? studio.maxX() + gap + frame.left : studio.minX() - gap - frame.right - w;
        return fromTop(x, w, height);
    }
    // Above the studio, across from the camera.
    const double centred = area.midX() - (width + frameWidth) / 2 + frame.left;
    const double roomAbove = area.maxY() - studio.maxY() - gap - frameHeight;
    if (roomAbove >= windowMinSize.height)
        return fromTop(centred, width, std::min(windowContentSize.height, roomAbove));

    // Over the studio at the screen's top edge: the picture has to give way, its controls
    // need not. Nearest the camera where the frame covers none of them.
    std::vector<double> places{centred};
    for (const auto& control : placement.controls) {
        places.push_back(control.maxX() + gap + frame.left);
        places.push_back(control.minX() - gap - frame.right - width);
    }
    const auto clear = [&](double x) {
        const Rect outer = outset(fromTop(x, width, height), frame);
        if (outer.minX() < area.minX() || outer.maxX() > area.maxX())
            return false;
        return std::none_of(placement.controls.begin(), placement.controls.end(),
                            [&](const Rect& control) { return outer.intersects(control); });
    };
    std::optional<double> best;
    for (double x : places)
        if (clear(x) && (!best || std::abs(x - centred) < std::abs(*best - centred)))
            best = x;
    return fromTop(best.value_or(centred), width, height);
}

// --- Views

void autocueDisplayController::loadView() {
    using namespace qrn;
    using namespace qrn::graphics;
    const double width = windowContentSize.width, height = windowContentSize.height;
    auto root = ui::View::make(Rect(0, 0, width, height));
    root->setIdentifier("autocueDisplay");

    // The script area above the control bar.
    auto parent = std::make_shared<autocueDisplayView>(Rect(0, barHeight, width, height - barHeight));
    parent->setAutoresizingMask(WidthSizable | HeightSizable);
    parent->setIdentifier("parentContainer");
    root->addSubview(parent);
    parentContainer_ = parent;

    auto text = ui::TextView::make(Rect(0, 0, width, 1));
    text->setEditable(false);
    text->setSelectable(false);
    text->setDefaultTextColour(named("text_colour_light_dark", Colour{1, 1, 1, 1}));
    auto scroll = ui::ScrollView::make(Rect(autocueDisplayView::leadingMargin, 0, width, 1));
    scroll->setDrawsBackground(false);
    scroll->setDocumentView(text);
    parent->addSubview(scroll);
    textField_ = scroll;
    textFieldTopConstraint_ = std::make_shared<AnimatedValue>(autocueDisplayClass().animationStartingYPos);
    parent->setText(scroll, textFieldTopConstraint_);

    // The veil over the text and the reading marker at the line the presenter reads.
    auto overlay = ui::View::make(parent->bounds());
    overlay->setAutoresizingMask(WidthSizable | HeightSizable);
    parent->addSubview(overlay);
    textFieldOverlay_ = overlay;
    auto marker =
        ui::Button::make(Rect(8, parent->bounds().size.height - 234 - 28, 28, 28), ui::ButtonType::image);
    marker->setBordered(false);
    marker->setAutoresizingMask(FlexibleMinYMargin);
    parent->addSubview(marker);
    iconTextIndicator_ = marker;

    // The control bar.
    auto bar = ui::View::make(Rect(0, 0, width, barHeight));
    bar->setAutoresizingMask(WidthSizable | FlexibleMaxYMargin);
    root->addSubview(bar);
    auto beginning = svgButtonClass::make(iconButton(10, "beginning"));
    auto rewind = autocueButtonHoldClass::make(iconButton(44, "rewind"), "rewind");
    auto pause = svgButtonClass::make(iconButton(78, "pause"));
    auto play = svgButtonClass::make(iconButton(112, "play"));
    auto forward = autocueButtonHoldClass::make(iconButton(146, "forward"), "forward");
    auto end = svgButtonClass::make(iconButton(180, "end"));
    for (const auto& b : {beginning, std::static_pointer_cast<svgButtonClass>(rewind), pause, play,
                          std::static_pointer_cast<svgButtonClass>(forward), end})
        bar->addSubview(b);
    buttonBeginningAnimation_ = beginning;
    buttonRewindAnimation_ = rewind;
    buttonPauseAnimation_ = pause;
    buttonPlayAnimation_ = play;
    buttonForwardAnimation_ = forward;
    buttonEndAnimation_ = end;

    auto speedIcon = ui::Button::make(Rect(226, 12, 26, 26), ui::ButtonType::image);
    speedIcon->setBordered(false);
    bar->addSubview(speedIcon);
    iconAnimationSpeed_ = speedIcon;
    auto slider = ui::Slider::make(Rect(256, 15, 130, 20));
    slider->setRange(0, 100);
    slider->setDoubleValue(15);
    bar->addSubview(slider);
    sliderAnimationSpeed_ = slider;
    auto speedField = ui::TextField::make(Rect(392, 14, 52, 22));
    speedField->setDoubleValue(15);
    bar->addSubview(speedField);
    inputAnimationSpeedSlider_ = speedField;

    auto smaller = svgButtonClass::make(iconButton(width - 146, "font_decrease"));
    auto fontField = ui::TextField::make(Rect(width - 112, 14, 44, 22));
    fontField->setIntegerValue(20);
    fontField->setAlignment(TextAlignment::center);
    auto larger = svgButtonClass::make(iconButton(width - 64, "font_increase"));
    for (const ui::ViewPtr& v : {ui::ViewPtr(smaller), ui::ViewPtr(fontField), ui::ViewPtr(larger)}) {
        v->setAutoresizingMask(FlexibleMinXMargin);
        bar->addSubview(v);
    }
    buttonDecreaseFontSize_ = smaller;
    inputFontSize_ = fontField;
    buttonIncreaseFontSize_ = larger;

    std::weak_ptr<autocueDisplayController> weak =
        std::static_pointer_cast<autocueDisplayController>(shared_from_this());
    auto act = [weak](void (autocueDisplayController::*fn)()) {
        return [weak, fn](ui::Control&) {
            if (auto self = weak.lock())
                ((*self).*fn)();
        };
    };
    beginning->setAction(act(&autocueDisplayController::beginningAnimation));
    pause->setAction(act(&autocueDisplayController::pauseAnimation));
    play->setAction(act(&autocueDisplayController::playAnimation));
    end->setAction(act(&autocueDisplayController::endAnimation));
    smaller->setAction(act(&autocueDisplayController::decreaseFontSize));
    larger->setAction(act(&autocueDisplayController::increaseFontSize));
    slider->setAction([weak](ui::Control& sender) {
        if (auto self = weak.lock())
            self->sliderAnimationSpeed(sender);
    });
    speedField->setAction([weak](ui::Control& sender) {
        if (auto self = weak.lock())
            self->inputAnimationSpeed(sender);
    });
    fontField->setAction([weak](ui::Control& sender) {
        if (auto self = weak.lock())
            self->inputFontSize(static_cast<ui::TextField&>(sender));
    });
    setView(root);
}

void autocueDisplayController::viewDidLoad() {
    QRN_LOG_IN();
    autocueIconArray.clear();
    if (auto holder = iconAnimationSpeed()) {
        auto icon = svgIconClass::make();
        icon->setIsButtonEnabled(false);
        icon->setImageView(
            svgIconView::createIconView(icon, std::nullopt, true, "speed", 0, holder->bounds(), 80));
        autocueIconArray.push_back(icon);
        holder->addSubview(icon->getImageView());
    }
    if (auto holder = iconTextIndicator()) {
        auto icon = svgIconClass::make();
        icon->setChangeColourOnHover("#df0707FF");
        icon->setIsButtonEnabled(false);
        icon->setImageView(svgIconView::createIconView(icon, std::nullopt, true, "text_indicator", 0,
                                                       holder->bounds(), 100));
        // The marker stays red.
        icon->keepChangedColour(true);
        autocueIconArray.push_back(icon);
        holder->addSubview(icon->getImageView());
    }
    autocueDisplayViewsGroup views;
    views.buttonPauseAnimation = buttonPauseAnimation_;
    views.buttonPlayAnimation = buttonPlayAnimation_;
    views.parentContainer = parentContainer_;
    views.textField = textField_;
    views.textFieldTopConstraint = textFieldTopConstraint_;
    views.inputAnimationSpeedSlider = inputAnimationSpeedSlider_;
    views.sliderAnimationSpeed = sliderAnimationSpeed_;
    views.inputFontSize = inputFontSize_;
    views.textFieldOverlay = textFieldOverlay_;
    autocueDisplayClass::setAutocueDisplayViews(std::move(views));
    autocueDisplayClass::setAutocueDisplayControllerObject(shared_from_this());
    autocueDisplayObject.emplace();
    autocueDisplayObject->initialisation();
    QRN_LOG_OUT();
}

void autocueDisplayController::viewWillAppear() {
    if (auto* w = window())
        w->setDelegate(this);
}

void autocueDisplayController::viewDidAppear() {
    QRN_LOG_IN();
    highlight(buttonPauseAnimation(), true);
    highlightStudioButton(true);
    // The window settles its size first; until then resizes leave the text alone.
    std::weak_ptr<autocueDisplayController> weak =
        std::static_pointer_cast<autocueDisplayController>(shared_from_this());
    qrn::MainQueue::after(0.5, [weak] {
        auto self = weak.lock();
        qrn::ui::Window* w = self ? self->window() : nullptr;
        if (!w || w->isClosed() || !autocueDisplayObject)
            return;
        autocueDisplayObject->setWindowSize(w->frame().size);
        autocueDisplayObject->setViewIsLoading(false);
        autocueDisplayObject->resizeAutocueText(w->frame().size.width, 0, false);
    });
}

void autocueDisplayController::viewDidDisappear() {
    QRN_LOG_IN();
    highlightStudioButton(false);
}

double autocueDisplayController::windowWidth() {
    qrn::ui::Window* w = window();
    return w ? w->frame().size.width : view()->frame().size.width;
}

// --- Window delegate

void autocueDisplayController::windowDidMove(qrn::ui::Window& w) {
    whereLeft = w.frame();
}

void autocueDisplayController::windowWillClose(qrn::ui::Window& w) {
    QRN_LOG_IN();
    whereLeft = w.frame();
    if (autocueDisplayObject)
        autocueDisplayObject->setWindowIsOpen(false);
}

void autocueDisplayController::windowDidBecomeKey(qrn::ui::Window&) {
    QRN_LOG_IN();
    persistentDataStorageClass().setActiveWindow("autocueDisplay");
}

void autocueDisplayController::windowDidResize(qrn::ui::Window& w) {
    whereLeft = w.frame();
    if (autocueDisplayObject)
        autocueDisplayObject->resizeAutocueText(w.frame().size.width, 0, true);
}

void autocueDisplayController::windowDidEndLiveResize(qrn::ui::Window& w) {
    if (autocueDisplayObject)
        autocueDisplayObject->resizeAutocueText(w.frame().size.width, 0, true);
}

// --- Actions

void autocueDisplayController::beginningAnimation() {
    QRN_LOG_IN();
    if (autocueDisplayObject)
        autocueDisplayObject->beginningOfAnimation();
}

void autocueDisplayController::pauseAnimation() {
    QRN_LOG_IN();
    if (!autocueDisplayObject || !autocueDisplayObject->getAnimationIsPlaying() ||
        autocueDisplayObject->getActionInProgress())
        return;
    autocueDisplayObject->updateActionCheck();
    autocueDisplayObject->pauseAnimation();
    highlight(buttonPauseAnimation(), true);
    highlight(buttonPlayAnimation(), false);
}

void autocueDisplayController::playAnimation() {
    QRN_LOG_IN();
    if (!autocueDisplayObject || autocueDisplayObject->getAnimationIsPlaying() ||
        autocueDisplayObject->getActionInProgress())
        return;
    autocueDisplayObject->updateActionCheck();
    autocueDisplayObject->playAnimation(std::nullopt, std::nullopt, std::nullopt, true);
    highlight(buttonPauseAnimation(), false);
    highlight(buttonPlayAnimation(), true);
}

void autocueDisplayController::endAnimation() {
    QRN_LOG_IN();
    if (autocueDisplayObject)
        autocueDisplayObject->endOfAnimation();
}

void autocueDisplayController::sliderAnimationSpeed(qrn::ui::Control& sender) {
    QRN_LOG_IN();
    if (!autocueDisplayObject || autocueDisplayObject->getSliderValueChanging())
        return;
    if (auto* slider = dynamic_cast<qrn::ui::Slider*>(&sender))
        autocueDisplayObject->changeAnimationSpeed(slider->doubleValue());
}

void autocueDisplayController::inputAnimationSpeed(qrn::ui::Control& sender) {
    QRN_LOG_IN();
    if (!autocueDisplayObject || autocueDisplayObject->getSliderValueChanging())
        return;
    auto* field = dynamic_cast<qrn::ui::TextField*>(&sender);
    if (!field)
        return;
    // Not a number: the field shows the speed in use again.
    if (const auto speed = typedNumber(field->stringValue()))
        autocueDisplayObject->changeAnimationSpeed(*speed);
    else
        field->setDoubleValue(autocueDisplayObject->getAnimationSpeed());
}

void autocueDisplayController::decreaseFontSize() {
    QRN_LOG_IN();
    if (autocueDisplayObject && !autocueDisplayObject->getSliderValueChanging())
        autocueDisplayObject->changeFontSize(false, std::nullopt, windowWidth());
}

void autocueDisplayController::increaseFontSize() {
    QRN_LOG_IN();
    if (autocueDisplayObject && !autocueDisplayObject->getSliderValueChanging())
        autocueDisplayObject->changeFontSize(true, std::nullopt, windowWidth());
}

void autocueDisplayController::inputFontSize(qrn::ui::TextField& sender) {
    QRN_LOG_IN();
    if (!autocueDisplayObject || autocueDisplayObject->getSliderValueChanging())
        return;
    // Not a number: the field shows the size in use again.
    const auto size = typedNumber(sender.stringValue());
    if (!size) {
        sender.setIntegerValue(autocueDisplayObject->getAutocueFontSize());
        return;
    }
    autocueDisplayObject->changeFontSize(std::nullopt, static_cast<int>(std::clamp(*size, -1e6, 1e6)),
                                         windowWidth());
}
