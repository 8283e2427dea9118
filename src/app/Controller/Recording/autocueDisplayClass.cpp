#include "Controller/Recording/autocueDisplayClass.h"

#include <algorithm>
#include <cmath>

#include "Controller/Editing/Preview/previewLayerClass.h"
#include "Controller/Global/captureSessionClass.h"
#include "Controller/Global/dataLoggingClass.h"
#include "Controller/Global/svgButtonClass.h"
#include "Controller/Global/svgIconClass.h"
#include "Controller/Recording/recordViewClass.h"
#include "Model/attributedStringStorageClass.h"
#include "View/Recording/autocueDisplayView.h"
#include "platform/foundation/font.h"
#include "platform/foundation/main_queue.h"
#include "platform/graphics/animated_value.h"
#include "platform/ui/slider.h"
#include "platform/ui/text_field.h"
#include "platform/ui/view_controller.h"
#include "platform/ui/window.h"

namespace {

// The width at which a script shows at its stored sizes.
constexpr double referenceWidth = 649.0;
constexpr int defaultFontSize = 20;
constexpr double defaultSpeed = 15.0;
// A hold scrolls at four times the set speed.
constexpr double holdSpeedIncrease = 75.0;
constexpr double jumpDuration = 0.3;
constexpr double newTextJumpDuration = 0.01;
constexpr double newTextPlayDelay = 0.1;

std::optional<autocueDisplayViewsGroup> autocueDisplayViews;
std::weak_ptr<qrn::ui::ViewController> autocueDisplayControllerObject;
// The script as stored, and as shown (fonts scaled to the width and the setting).
qrn::AttributedString autocueSourceText;
qrn::AttributedString autocueText;
// Unscaled size of each font run of the script, in run order.
std::vector<double> fontPointSizeArray;
std::optional<qrn::Size> windowSize;
double animationSpeed = defaultSpeed;
int autocueFontSize = defaultFontSize;
int minFontSizeDifference = 15;
int maxFontSizeDifference = 30;
bool viewIsLoading = true;
bool firstResize = true;
bool animationIsPlaying = false;
bool windowIsOpen = false;
bool actionInProgress = false;
qrn::GenerationCounter actionCheck;
bool playingBeforeHold = false;
bool buttonHeld = false;
bool sliderValueChanging = false;
// Each opening of the window is a new session; delayed blocks of an earlier one do nothing.
std::shared_ptr<int> session;

std::function<std::vector<std::string>()> studioAssetAccessor;

std::shared_ptr<autocueDisplayView> container() {
    return autocueDisplayViews ? autocueDisplayViews->parentContainer.lock() : nullptr;
}

qrn::graphics::AnimatedValue* topDistance() {
    return autocueDisplayViews ? autocueDisplayViews->textFieldTopConstraint.get() : nullptr;
}

// Runs `fn` after `seconds` unless the window it was made for has closed or been opened again.
void afterInSession(double seconds, std::function<void()> fn) {
    std::weak_ptr<int> made = session;
    qrn::MainQueue::after(seconds, [made, fn = std::move(fn)] {
        auto alive = made.lock();
        if (alive && alive == session && windowIsOpen)
            fn();
    });
}

void showIcons(bool playing) {
    if (!autocueDisplayViews)
        return;
    autocueDisplayClass::highlightButton(autocueDisplayViews->buttonPauseAnimation.lock(), !playing);
    autocueDisplayClass::highlightButton(autocueDisplayViews->buttonPlayAnimation.lock(), playing);
}

void showPausedIcons() {
    showIcons(false);
}

void showText(const qrn::AttributedString& text) {
    autocueText = text;
    auto view = container();
    if (!view)
        return;
    if (auto textView = view->textView()) {
        textView->setAttributedString(qrn::AttributedString());
        textView->setAttributedString(autocueText);
    }
    view->textDidChange();
}

bool isTwinFamily(const std::string& family) {
    return qrn::drawingFamily(family) != qrn::drawingFamily("DejaVu Sans");
}

// The font a run shows in: its family at `size` when that family is installed or drawn by a
// twin; none otherwise.
std::optional<qrn::Font> displayFont(const std::string& family, double size) {
    if (!(size > 0) || !std::isfinite(size))
        return std::nullopt;
    if (auto installed = qrn::fontWithFamily(family, size))
        return installed;
    if (family.empty() || !isTwinFamily(family))
        return std::nullopt;
    qrn::Font twin;
    twin.name = family;
    twin.family = family;
    twin.size = size;
    return twin;
}

qrn::Font fallbackFont(double width) {
    qrn::Font arial;
    arial.name = "Arial";
    arial.family = "Arial";
    arial.size = std::max(1.0, autocueFontSize * width / referenceWidth);
    return arial;
}

// The script with every run's font at its table size scaled to `width`. Walks the stored
// script, not the shown one, so the runs always line up with the table.
qrn::AttributedString scaledText(double width) {
    qrn::AttributedString copy = autocueSourceText;
    size_t k = 0;
    // In one pass over the runs: a script of thousands of runs is loaded while a take runs.
    copy.updateEachRun([&](qrn::TextAttributes& attributes) {
        std::optional<qrn::Font> font;
        if (attributes.font) {
            if (k >= fontPointSizeArray.size())
                fontPointSizeArray.push_back(attributes.font->size);
            font = displayFont(attributes.font->family, fontPointSizeArray[k] * width / referenceWidth);
            ++k;
        }
        attributes.font = font ? *font : fallbackFont(width);
    });
    return copy;
}

int wholePart(double size) {
    return static_cast<int>(std::floor(size));
}

} // namespace

// --- State

void autocueDisplayClass::setAutocueDisplayViews(autocueDisplayViewsGroup views) {
    autocueDisplayViews = std::move(views);
}

void autocueDisplayClass::setAutocueDisplayControllerObject(
    const std::shared_ptr<qrn::ui::ViewController>& controller) {
    autocueDisplayControllerObject = controller;
}

void autocueDisplayClass::setStudioAssetArrayAccessor(std::function<std::vector<std::string>()> accessor) {
    studioAssetAccessor = std::move(accessor);
}

std::vector<std::string> autocueDisplayClass::studioAssetArray() {
    return studioAssetAccessor ? studioAssetAccessor() : previewLayerClass().getAssetArray();
}

std::vector<qrn::AttributedString> autocueDisplayClass::scriptList() {
    return attributedStringStorageClass().getAutocueStringArray();
}

void autocueDisplayClass::highlightButton(const std::shared_ptr<svgButtonClass>& button, bool on) {
    if (!button)
        return;
    // The icon is made at the button's first layout.
    if (!button->svgIconObj())
        button->layoutSubtreeIfNeeded();
    if (auto icon = button->svgIconObj())
        icon->keepChangedColour(on);
}

void autocueDisplayClass::resetProcessStateForTests() {
    firstResize = true;
    maxFontSizeDifference = 30;
}

void autocueDisplayClass::setWindowSize(qrn::Size size) {
    QRN_LOG_IN({{"width", size.width}, {"height", size.height}});
    windowSize = size;
}

void autocueDisplayClass::setViewIsLoading(bool loading) {
    QRN_LOG_IN({{"viewIsLoading", loading}});
    viewIsLoading = loading;
}

void autocueDisplayClass::setWindowIsOpen(bool open) {
    QRN_LOG_IN({{"windowIsOpen", open}});
    windowIsOpen = open;
}

bool autocueDisplayClass::getWindowIsOpen() {
    return windowIsOpen;
}

bool autocueDisplayClass::getAnimationIsPlaying() {
    QRN_LOG_IN();
    return animationIsPlaying;
}

bool autocueDisplayClass::getActionInProgress() {
    QRN_LOG_IN();
    return actionInProgress;
}

bool autocueDisplayClass::getSliderValueChanging() {
    QRN_LOG_IN();
    return sliderValueChanging;
}

void autocueDisplayClass::updateActionCheck() {
    QRN_LOG_IN({{"actionCheck", actionCheck.value()}});
    actionCheck.increment();
}

double autocueDisplayClass::getAnimationSpeed() {
    return animationSpeed;
}

int autocueDisplayClass::getAutocueFontSize() {
    return autocueFontSize;
}

int autocueDisplayClass::getMinFontSizeDifference() {
    return minFontSizeDifference;
}

int autocueDisplayClass::getMaxFontSizeDifference() {
    return maxFontSizeDifference;
}

std::vector<double> autocueDisplayClass::getFontPointSizeArray() {
    return fontPointSizeArray;
}

qrn::AttributedString autocueDisplayClass::getAutocueText() {
    return autocueText;
}

double autocueDisplayClass::getTextHeight() {
    auto view = container();
    return view ? view->textHeight() : 0;
}

void autocueDisplayClass::initialisation() {
    QRN_LOG_IN();
    if (auto distance = topDistance())
        distance->setValue(animationStartingYPos);
    const auto scripts = scriptList();
    // Opened during a take, the window belongs to the asset on screen, whose script the
    // presenter is reading now; otherwise it starts with the first.
    size_t first = 0;
    if (captureSessionClass().getStartedRecording())
        first = static_cast<size_t>(std::max(0, recordViewClass().getNextAssetIndex() - 2));
    autocueSourceText = first < scripts.size() ? scripts[first] : qrn::AttributedString();
    autocueText = autocueSourceText;
    windowSize.reset();
    fontPointSizeArray.clear();
    animationIsPlaying = false;
    windowIsOpen = true;
    animationSpeed = defaultSpeed;
    autocueFontSize = defaultFontSize;
    minFontSizeDifference = 15;
    maxFontSizeDifference = 80;
    viewIsLoading = true;
    actionInProgress = false;
    actionCheck.reset();
    playingBeforeHold = false;
    buttonHeld = false;
    sliderValueChanging = false;
    session = std::make_shared<int>(0);

    auto view = container();
    if (view) {
        view->setAutoresizesSubviews(true);
        if (auto field = autocueDisplayViews->textField.lock()) {
            field->setAutoresizingMask(qrn::graphics::WidthSizable | qrn::graphics::HeightSizable);
            field->setAutoresizesSubviews(true);
        }
        if (auto textView = view->textView()) {
            const qrn::Rect frame = textView->frame();
            textView->setFrameOrigin({frame.origin.x, view->frame().height() - 20});
        }
    }
    showText(autocueText);
    if (auto overlay = autocueDisplayViews ? autocueDisplayViews->textFieldOverlay.lock() : nullptr) {
        overlay->layer()->setFrame(overlay->bounds());
        overlay->layer()->setBackgroundColour(qrn::Colour{0.905, 0.905, 0.905, 0.1});
    }
    QRN_LOG_OUT();
}

// --- Transport

void autocueDisplayClass::pauseAnimation() {
    QRN_LOG_IN();
    if (auto distance = topDistance())
        distance->stop();
    animationIsPlaying = false;
}

void autocueDisplayClass::playAnimation(std::optional<double> duration,
                                        std::optional<double> animationSpeedIncreaseProcentage,
                                        std::optional<double> yPos, bool stopPlayingAfterAnimation) {
    QRN_LOG_IN(
        {{"duration", duration ? qrn::Value(*duration) : qrn::Value()},
         {"animationSpeedIncreaseProcentage",
          animationSpeedIncreaseProcentage ? qrn::Value(*animationSpeedIncreaseProcentage) : qrn::Value()},
         {"yPos", yPos ? qrn::Value(*yPos) : qrn::Value()},
         {"stopPlayingAfterAnimation", stopPlayingAfterAnimation}});
    const int check = actionCheck.value();
    if (animationIsPlaying)
        pauseAnimation();
    animationIsPlaying = true;
    auto distance = topDistance();
    if (!distance)
        return;
    const double h = getTextHeight();
    const double target = yPos.value_or(-20.0 - h);
    double seconds;
    if (duration) {
        seconds = *duration;
    } else {
        // At speed 0 the text stays where it is, still counted as playing, so raising the speed
        // sets it moving.
        if (!(animationSpeed > 0))
            return;
        seconds = (distance->value() + h) / animationSpeed;
    }
    if (animationSpeedIncreaseProcentage)
        seconds -= seconds / 100 * *animationSpeedIncreaseProcentage;
    if (!(seconds > 0))
        seconds = 0;
    std::weak_ptr<int> made = session;
    distance->animate(target, seconds, [check, stopPlayingAfterAnimation, made] {
        if (made.lock() != session || actionCheck.value() != check)
            return;
        animationIsPlaying = false;
        if (stopPlayingAfterAnimation)
            showPausedIcons();
    });
}

void autocueDisplayClass::beginningOfAnimation() {
    QRN_LOG_IN();
    updateActionCheck();
    actionInProgress = true;
    const bool wasPlaying = animationIsPlaying;
    pauseAnimation();
    playAnimation(jumpDuration, std::nullopt, animationStartingYPos, false);
    // The jump's own completion must not end the playing state.
    updateActionCheck();
    animationIsPlaying = wasPlaying;
    if (!wasPlaying) {
        actionInProgress = false;
        return;
    }
    const int check = actionCheck.value();
    afterInSession(jumpDuration, [check] {
        // Anything done meanwhile (a reset, another jump) keeps the text where it put it.
        if (actionCheck.value() == check)
            autocueDisplayClass().playAnimation(std::nullopt, std::nullopt, std::nullopt, true);
        actionInProgress = false;
    });
}

void autocueDisplayClass::endOfAnimation() {
    QRN_LOG_IN();
    updateActionCheck();
    actionInProgress = true;
    pauseAnimation();
    playAnimation(jumpDuration, std::nullopt, std::nullopt, false);
    showPausedIcons();
    afterInSession(jumpDuration, [] { actionInProgress = false; });
}

bool autocueDisplayClass::beginHold() {
    // Nothing holds at speed 0.
    if (!(animationSpeed > 0))
        return false;
    updateActionCheck();
    actionInProgress = true;
    buttonHeld = true;
    playingBeforeHold = animationIsPlaying;
    pauseAnimation();
    return true;
}

void autocueDisplayClass::rewindAnimation(bool rewind) {
    QRN_LOG_IN({{"rewind", rewind}});
    if (rewind) {
        if (!beginHold())
            return;
        auto distance = topDistance();
        const double c = distance ? distance->value() : animationStartingYPos;
        if (c >= animationStartingYPos)
            showPausedIcons();
        else
            playAnimation((animationStartingYPos - c) / animationSpeed, holdSpeedIncrease,
                          animationStartingYPos, false);
        return;
    }
    if (!buttonHeld)
        return;
    updateActionCheck();
    buttonHeld = false;
    pauseAnimation();
    if (playingBeforeHold)
        playAnimation(std::nullopt, std::nullopt, std::nullopt, true);
    actionInProgress = false;
}

void autocueDisplayClass::forwardAnimation(bool forward) {
    QRN_LOG_IN({{"forward", forward}});
    if (forward) {
        if (!beginHold())
            return;
        playAnimation(std::nullopt, holdSpeedIncrease, std::nullopt, true);
        return;
    }
    // Let go: as for rewind.
    rewindAnimation(false);
}

// --- Speed

void autocueDisplayClass::changeAnimationSpeed(double sliderValue) {
    QRN_LOG_IN({{"sliderValue", sliderValue}});
    updateActionCheck();
    sliderValueChanging = true;
    double v = std::round(sliderValue * 10) / 10;
    if (std::isnan(v))
        v = 0;
    v = std::clamp(v, 0.0, 100.0);
    if (autocueDisplayViews) {
        if (auto slider = autocueDisplayViews->sliderAnimationSpeed.lock())
            slider->setDoubleValue(v);
        if (auto field = autocueDisplayViews->inputAnimationSpeedSlider.lock())
            field->setDoubleValue(v);
    }
    animationSpeed = v;
    const bool wasPlaying = animationIsPlaying;
    pauseAnimation();
    if (wasPlaying)
        playAnimation(std::nullopt, std::nullopt, std::nullopt, true);
    sliderValueChanging = false;
}

// --- Fonts

namespace {

// Both rooms from the table as it stands: how far the smallest run may shrink before the
// smallest size, and the largest grow before the largest size. Computed afresh, so a change
// that moved several runs near either end cannot count twice.
void computeRooms() {
    bool first = true;
    for (double size : fontPointSizeArray) {
        autocueDisplayClass engine;
        if (first) {
            minFontSizeDifference = wholePart(size) - engine.minFontPointSize;
            maxFontSizeDifference = engine.maxFontPointSize - wholePart(size);
            first = false;
            continue;
        }
        engine.checkMinOrMaxFontSizeDifference(size, 0, false);
        engine.checkMinOrMaxFontSizeDifference(size, 0, true);
    }
}

} // namespace

void autocueDisplayClass::checkMinOrMaxFontSizeDifference(double newFontSize, int fontSizeDifference,
                                                          bool type) {
    const int n = wholePart(newFontSize);
    if (type) {
        const int room = maxFontPointSize - n;
        if (room < maxFontSizeDifference) {
            maxFontSizeDifference = room;
            minFontSizeDifference += fontSizeDifference;
        }
    } else {
        const int room = n - minFontPointSize;
        if (room < minFontSizeDifference) {
            minFontSizeDifference = room;
            maxFontSizeDifference -= fontSizeDifference;
        }
    }
}

void autocueDisplayClass::changeFontSize(std::optional<bool> increaseValue, std::optional<int> newValue,
                                         double windowSizeWidth) {
    QRN_LOG_IN({{"increaseValue", increaseValue ? qrn::Value(*increaseValue) : qrn::Value()},
                {"newValue", newValue ? qrn::Value(*newValue) : qrn::Value()},
                {"windowSizeWidth", windowSizeWidth}});
    const int old = autocueFontSize;
    int value;
    if (increaseValue) {
        if (*increaseValue) {
            if (maxFontSizeDifference < 1)
                return;
            value = old + 1;
        } else {
            if (minFontSizeDifference < 1)
                return;
            value = old - 1;
        }
    } else if (newValue) {
        value = *newValue;
    } else {
        return;
    }
    autocueFontSize = value;
    if (value == old)
        return;
    if (value < old && minFontSizeDifference < old - value)
        value = old - minFontSizeDifference;
    else if (value > old && maxFontSizeDifference < value - old)
        value = old + maxFontSizeDifference;
    autocueFontSize = std::clamp(value, 5, 100);
    sliderValueChanging = true;
    if (autocueDisplayViews)
        if (auto field = autocueDisplayViews->inputFontSize.lock())
            field->setIntegerValue(autocueFontSize);
    resizeAutocueText(windowSizeWidth, autocueFontSize - old, false);
    sliderValueChanging = false;
}

void autocueDisplayClass::resizeAutocueText(double windowSizeWidth, int fontSizeDifference,
                                            bool windowResized) {
    QRN_LOG_IN({{"windowSizeWidth", windowSizeWidth},
                {"fontSizeDifference", fontSizeDifference},
                {"windowResized", windowResized}});
    if (viewIsLoading || !windowSize)
        return;
    if (windowSize->width == windowSizeWidth && windowResized) {
        showText(autocueText);
        return;
    }
    // Sizes change by the difference; a window resize only scales.
    if (!fontPointSizeArray.empty())
        for (double& size : fontPointSizeArray)
            size += fontSizeDifference;
    qrn::AttributedString shown = scaledText(windowSizeWidth);
    if (!windowResized)
        computeRooms();
    autocueText = shown;
    if (firstResize) {
        firstResize = false;
        // A script already outside the limits is brought one step back in.
        if (minFontSizeDifference < 0)
            changeFontSize(true, std::nullopt, windowSizeWidth);
        else if (maxFontSizeDifference < 0)
            changeFontSize(false, std::nullopt, windowSizeWidth);
    }
    // A nested pass above has already shown the newer sizes.
    if (autocueText == shown)
        showText(shown);
    windowSize->width = windowSizeWidth;
    QRN_LOG_OUT();
}

// --- Scripts

void autocueDisplayClass::newAutocueText(int i, bool stopPlaying) {
    QRN_LOG_IN({{"i", i}, {"stopPlaying", stopPlaying}});
    if (!windowIsOpen)
        return;
    const long count = static_cast<long>(studioAssetArray().size());
    if (i < 0 || i >= count - 1)
        return;
    updateActionCheck();
    actionInProgress = true;
    pauseAnimation();
    playAnimation(newTextJumpDuration, std::nullopt, animationStartingYPos, false);
    updateActionCheck();

    // A project whose script list is short has no script for this asset: it shows empty.
    const auto scripts = scriptList();
    autocueSourceText = static_cast<size_t>(i) < scripts.size() ? scripts[i] : qrn::AttributedString();
    // The table follows the new script's runs, at the current setting.
    fontPointSizeArray.clear();
    for (const auto& run : autocueSourceText.runs())
        if (run.attributes.font)
            fontPointSizeArray.push_back(
                std::clamp(run.attributes.font->size + (autocueFontSize - defaultFontSize),
                           double(minFontPointSize), double(maxFontPointSize)));
    computeRooms();
    if (windowSize && !viewIsLoading)
        showText(scaledText(windowSize->width));
    else
        showText(autocueSourceText);

    // The buttons tell whether the new script scrolls or waits, whatever they showed before.
    showIcons(!stopPlaying);
    if (stopPlaying) {
        animationIsPlaying = false;
        actionInProgress = false;
        return;
    }
    animationIsPlaying = true;
    const int check = actionCheck.value();
    afterInSession(newTextPlayDelay, [check] {
        if (actionCheck.value() == check)
            autocueDisplayClass().playAnimation(std::nullopt, std::nullopt, std::nullopt, true);
        actionInProgress = false;
    });
}

void autocueDisplayClass::closeWindow() {
    QRN_LOG_IN({{"windowIsOpen", windowIsOpen}});
    if (!windowIsOpen)
        return;
    auto controller = autocueDisplayControllerObject.lock();
    if (!controller)
        return;
    if (qrn::ui::Window* window = controller->window(); window && !window->isClosed())
        window->close();
}
