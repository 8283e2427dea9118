#pragma once
// A horizontal (or vertical, when taller than wide) slider between a minimum and a maximum.
#include "platform/ui/control.h"

namespace qrn::ui {

// A control holding a number between a minimum and a maximum.
class RangeControl : public Control {
  public:
    double minValue() const { return min_; }
    double maxValue() const { return max_; }
    // The ends may come in either order; the value is clamped to the new range.
    void setRange(double min, double max);
    double doubleValue() const { return value_; }
    // Clamped to the range; sends nothing.
    void setDoubleValue(double v);

  protected:
    RangeControl(const Rect& frame, double max) : Control(frame), max_(max) {}
    double min_ = 0, max_, value_ = 0;
};

class Slider : public RangeControl {
  public:
    explicit Slider(const Rect& frame = {});
    static std::shared_ptr<Slider> make(const Rect& frame = {}) { return std::make_shared<Slider>(frame); }

    bool isVertical() const { return bounds().size.height > bounds().size.width; }
    // Continuous sliders send their action while dragged, others when released.
    bool isContinuous() const { return continuous_; }
    void setContinuous(bool on) { continuous_ = on; }

    // The value at a point of the bounds (along the track).
    double valueAt(Point pointInBounds) const;

    void draw(QPainter& painter, const Rect& dirty) override;
    void mouseDown(const Event& e) override;
    void mouseDragged(const Event& e) override;
    void mouseUp(const Event& e) override;
    void scrollWheel(const Event& e) override;

  private:
    void track(const Event& e);
    bool continuous_ = true;
    bool tracking_ = false;
};

class Stepper : public RangeControl {
  public:
    explicit Stepper(const Rect& frame = {}) : RangeControl(frame, 59) {}
    static std::shared_ptr<Stepper> make(const Rect& frame = {}) { return std::make_shared<Stepper>(frame); }

    double increment() const { return increment_; }
    void setIncrement(double step) { increment_ = step; }
    bool valueWraps() const { return wraps_; }
    void setValueWraps(bool on) { wraps_ = on; }
    // One step up or down as a click on the arrows does; sends the action.
    void stepUp();
    void stepDown();

    void draw(QPainter& painter, const Rect& dirty) override;
    void mouseDown(const Event& e) override;

  private:
    void step(double delta);
    double increment_ = 1;
    bool wraps_ = false;
};

} // namespace qrn::ui
