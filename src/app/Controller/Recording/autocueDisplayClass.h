#pragma once
// The autocue's engine: scrolls one asset's script upwards through the autocue window at a set
// speed, jumps to its start or end, runs the press-and-hold rewind and forward, scales the
// script's fonts to the window width and the presenter's font-size setting, and loads the next
// asset's script when the studio steps on.
//
// The text's place is one number, the top distance: how far the text's top stands below the top
// of the area that holds it (234 at the start; smaller moves the text up; the end is -20 minus
// the text's height). The window's container view turns it into view geometry.
//
// A method holder: callers make an instance per call; the state lives in the .cpp, on the main
// thread only.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/attributed_string.h"
#include "platform/foundation/geometry.h"

namespace qrn::graphics {
class AnimatedValue;
}
namespace qrn::ui {
class ScrollView;
class Slider;
class TextField;
class TextView;
class View;
class ViewController;
} // namespace qrn::ui
class svgButtonClass;
class autocueDisplayView;

// The window's views that the engine drives; the window's controller fills it as a whole.
struct autocueDisplayViewsGroup {
    std::weak_ptr<svgButtonClass> buttonPauseAnimation;
    std::weak_ptr<svgButtonClass> buttonPlayAnimation;
    std::weak_ptr<autocueDisplayView> parentContainer;
    std::weak_ptr<qrn::ui::ScrollView> textField;
    std::shared_ptr<qrn::graphics::AnimatedValue> textFieldTopConstraint;
    std::weak_ptr<qrn::ui::TextField> inputAnimationSpeedSlider;
    std::weak_ptr<qrn::ui::Slider> sliderAnimationSpeed;
    std::weak_ptr<qrn::ui::TextField> inputFontSize;
    std::weak_ptr<qrn::ui::View> textFieldOverlay;
};

class autocueDisplayClass {
  public:
    const double animationStartingYPos = 234.0;
    const int minFontPointSize = 10;
    const int maxFontPointSize = 250;

    // Set-up each time the window's view loads: the first script at its start, stopped.
    void initialisation();
    void setWindowSize(qrn::Size size);
    void setViewIsLoading(bool loading);
    void setWindowIsOpen(bool open);
    bool getWindowIsOpen();
    bool getAnimationIsPlaying();
    bool getActionInProgress();
    bool getSliderValueChanging();
    void updateActionCheck();

    // --- Transport
    void pauseAnimation();
    // One scroll: to yPos (default the end) over duration (default the rest of the way at the set
    // speed), made shorter by speedIncrease percent.
    void playAnimation(std::optional<double> duration, std::optional<double> animationSpeedIncreaseProcentage,
                       std::optional<double> yPos, bool stopPlayingAfterAnimation);
    void beginningOfAnimation();
    void endOfAnimation();
    // true while the button is held down, false when it is let go.
    void rewindAnimation(bool rewind);
    void forwardAnimation(bool forward);

    // --- Speed and fonts
    void changeAnimationSpeed(double sliderValue);
    // A step up (true), down (false), or, with no step, the typed value.
    void changeFontSize(std::optional<bool> increaseValue, std::optional<int> newValue,
                        double windowSizeWidth);
    void resizeAutocueText(double windowSizeWidth, int fontSizeDifference, bool windowResized);
    void checkMinOrMaxFontSizeDifference(double newFontSize, int fontSizeDifference, bool type);

    // --- The studio's calls
    // Shows script i (the script of the studio's asset i + 1) from its start.
    void newAutocueText(int i, bool stopPlaying);
    void closeWindow();

    // --- Read-outs
    double getAnimationSpeed();
    int getAutocueFontSize();
    int getMinFontSizeDifference();
    int getMaxFontSizeDifference();
    std::vector<double> getFontPointSizeArray();
    // The text as shown, fonts scaled.
    qrn::AttributedString getAutocueText();
    // The text's height at the text view's width.
    double getTextHeight();

    // --- Filled by the window's controller
    static void setAutocueDisplayViews(autocueDisplayViewsGroup views);
    static void setAutocueDisplayControllerObject(const std::shared_ptr<qrn::ui::ViewController>& controller);

    // --- What the engine reads of the studio. The studio's copy of the asset ids (the model's
    // ASSET_ARRAY until the studio hands over its own) and the script list of the project.
    static void setStudioAssetArrayAccessor(std::function<std::vector<std::string>()> accessor);
    static std::vector<std::string> studioAssetArray();
    static std::vector<qrn::AttributedString> scriptList();

    // Gives an icon button's icon its highlight, or takes it away.
    static void highlightButton(const std::shared_ptr<svgButtonClass>& button, bool on);

    // The first sizing pass of the process differs from later ones; tests start each from a
    // fresh process state.
    static void resetProcessStateForTests();

  private:
    // The start of a rewind or forward hold; false (and nothing done) at speed 0.
    bool beginHold();
};
