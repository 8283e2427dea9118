#pragma once
// The autocue window: the scrolling script under a light veil with a red reading marker, the
// transport buttons (beginning, rewind, pause, play, forward, end), the speed slider and its
// number, and the font size with - and +. Each control becomes one call of the engine.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/button.h"
#include "platform/ui/scroll_view.h"
#include "platform/ui/slider.h"
#include "platform/ui/text_field.h"
#include "platform/ui/view_controller.h"
#include "platform/ui/window.h"

namespace qrn::graphics {
class AnimatedValue;
}
class svgButtonClass;
class autocueDisplayView;

class autocueDisplayController : public qrn::ui::ViewController, public qrn::ui::WindowDelegate {
  public:
    // Opens the autocue window, or brings it to the front when it is open. The studio's title
    // bar autocue button calls this.
    static void showWindow();
    // The open window's controller, if any.
    static std::shared_ptr<autocueDisplayController> current();

    // What the window system tells of a shown window: the work area of its screen (none when
    // it is not known) and the window manager's frame around its content, the menu bar apart;
    // screen space, y up.
    struct windowSurroundings {
        std::optional<qrn::Rect> screenArea;
        qrn::EdgeInsets frame;
        double menuBar = 0;
    };
    // Installed by the start-up, which knows the window system; without it the window opens
    // where the studio's frame alone suggests.
    static void setSurroundingsProvider(std::function<windowSurroundings(qrn::ui::Window&)> provider);
    // The provider's answer for a shown window; nothing known without one.
    static windowSurroundings surroundingsOf(qrn::ui::Window& window);
    // The first opening from the studio: beside the studio window where the screen has room for
    // it, else at the top edge of the screen near the camera, clear of the studio's controls
    // where it can be. Content rectangles, screen space, y up.
    struct studioPlacement {
        qrn::Rect studio;
        windowSurroundings surroundings;
        std::vector<qrn::Rect> controls;
    };
    static qrn::Rect firstWindowFrame(const studioPlacement& studio);
    // Later openings come back where the presenter left the window; tests start afresh.
    static void forgetWhereLeftForTesting();

    // --- Outlets
    std::shared_ptr<svgButtonClass> buttonBeginningAnimation() const {
        return buttonBeginningAnimation_.lock();
    }
    std::shared_ptr<svgButtonClass> buttonRewindAnimation() const { return buttonRewindAnimation_.lock(); }
    std::shared_ptr<svgButtonClass> buttonPauseAnimation() const { return buttonPauseAnimation_.lock(); }
    std::shared_ptr<svgButtonClass> buttonPlayAnimation() const { return buttonPlayAnimation_.lock(); }
    std::shared_ptr<svgButtonClass> buttonForwardAnimation() const { return buttonForwardAnimation_.lock(); }
    std::shared_ptr<svgButtonClass> buttonEndAnimation() const { return buttonEndAnimation_.lock(); }
    std::shared_ptr<qrn::ui::Button> iconAnimationSpeed() const { return iconAnimationSpeed_.lock(); }
    std::shared_ptr<qrn::ui::TextField> inputAnimationSpeedSlider() const {
        return inputAnimationSpeedSlider_.lock();
    }
    std::shared_ptr<qrn::ui::Slider> sliderAnimationSpeed() const { return sliderAnimationSpeed_.lock(); }
    std::shared_ptr<qrn::ui::TextField> inputFontSize() const { return inputFontSize_.lock(); }
    std::shared_ptr<svgButtonClass> buttonDecreaseFontSize() const { return buttonDecreaseFontSize_.lock(); }
    std::shared_ptr<svgButtonClass> buttonIncreaseFontSize() const { return buttonIncreaseFontSize_.lock(); }
    std::shared_ptr<autocueDisplayView> parentContainer() const { return parentContainer_.lock(); }
    std::shared_ptr<qrn::ui::Button> iconTextIndicator() const { return iconTextIndicator_.lock(); }
    std::shared_ptr<qrn::ui::ScrollView> textField() const { return textField_.lock(); }
    const std::shared_ptr<qrn::graphics::AnimatedValue>& textFieldTopConstraint() const {
        return textFieldTopConstraint_;
    }
    std::shared_ptr<qrn::ui::View> textFieldOverlay() const { return textFieldOverlay_.lock(); }

    // --- Actions
    void beginningAnimation();
    void pauseAnimation();
    void playAnimation();
    void endAnimation();
    void sliderAnimationSpeed(qrn::ui::Control& sender);
    void inputAnimationSpeed(qrn::ui::Control& sender);
    void decreaseFontSize();
    void increaseFontSize();
    void inputFontSize(qrn::ui::TextField& sender);

    // --- Window delegate
    void windowWillClose(qrn::ui::Window& window) override;
    void windowDidBecomeKey(qrn::ui::Window& window) override;
    void windowDidResize(qrn::ui::Window& window) override;
    void windowDidEndLiveResize(qrn::ui::Window& window) override;
    void windowDidMove(qrn::ui::Window& window) override;

  protected:
    void loadView() override;
    void viewDidLoad() override;
    void viewWillAppear() override;
    void viewDidAppear() override;
    void viewDidDisappear() override;

  private:
    double windowWidth();

    std::weak_ptr<svgButtonClass> buttonBeginningAnimation_;
    std::weak_ptr<svgButtonClass> buttonRewindAnimation_;
    std::weak_ptr<svgButtonClass> buttonPauseAnimation_;
    std::weak_ptr<svgButtonClass> buttonPlayAnimation_;
    std::weak_ptr<svgButtonClass> buttonForwardAnimation_;
    std::weak_ptr<svgButtonClass> buttonEndAnimation_;
    std::weak_ptr<qrn::ui::Button> iconAnimationSpeed_;
    std::weak_ptr<qrn::ui::TextField> inputAnimationSpeedSlider_;
    std::weak_ptr<qrn::ui::Slider> sliderAnimationSpeed_;
    std::weak_ptr<qrn::ui::TextField> inputFontSize_;
    std::weak_ptr<svgButtonClass> buttonDecreaseFontSize_;
    std::weak_ptr<svgButtonClass> buttonIncreaseFontSize_;
    std::weak_ptr<autocueDisplayView> parentContainer_;
    std::weak_ptr<qrn::ui::Button> iconTextIndicator_;
    std::weak_ptr<qrn::ui::ScrollView> textField_;
    std::shared_ptr<qrn::graphics::AnimatedValue> textFieldTopConstraint_;
    std::weak_ptr<qrn::ui::View> textFieldOverlay_;
};
