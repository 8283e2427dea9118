#pragma once
// A spinning progress indicator, hidden while stopped.
#include <memory>

#include "platform/ui/control.h"

namespace qrn::ui {

class ProgressIndicator : public Control {
  public:
    explicit ProgressIndicator(const Rect& frame = {});
    ~ProgressIndicator() override;
    static std::shared_ptr<ProgressIndicator> make(const Rect& frame = {}) {
        return std::make_shared<ProgressIndicator>(frame);
    }
    void startAnimation();
    void stopAnimation();
    bool isAnimating() const { return animating_; }
    // Whether the indicator stays visible while stopped (off by default).
    bool isDisplayedWhenStopped() const { return displayedWhenStopped_; }
    void setDisplayedWhenStopped(bool on);
    int phase() const { return phase_; }

    void draw(QPainter& painter, const Rect& dirty) override;

  private:
    void tick();
    bool animating_ = false;
    bool displayedWhenStopped_ = false;
    int phase_ = 0;
    std::shared_ptr<int> generation_;
};

class ColourWell : public Control {
  public:
    explicit ColourWell(const Rect& frame = {});
    ~ColourWell() override;
    static std::shared_ptr<ColourWell> make(const Rect& frame = {}) {
        return std::make_shared<ColourWell>(frame);
    }

    const Colour& colour() const { return colour_; }
    // Sends nothing; while the well is active the shared colour panel shows the colour too.
    void setColour(const Colour& c);
    // Active wells receive the shared colour panel's changes; a click activates the well and
    // brings the panel up.
    bool isActive() const { return active_; }
    void activate();
    void deactivate();

    void draw(QPainter& painter, const Rect& dirty) override;
    void mouseDown(const Event& e) override;

  private:
    Colour colour_ = Colour::white();
    bool active_ = false;
};

} // namespace qrn::ui
