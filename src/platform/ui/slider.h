#pragma once
// A horizontal (or vertical, when taller than wide) slider between a minimum and a maximum.
#include "platform/ui/control.h"

namespace qrn::ui {

class Slider : public Control {
  public:
    explicit Slider(const Rect& frame = {});
    static std::shared_ptr<Slider> make(const Rect& frame = {}) { return std::make_shared<Slider>(frame); }

    double minValue() const { return min_; }
    double maxValue() const { return max_; }
    void setRange(double min, double max);
    double doubleValue() const { return value_; }
    // Clamped to the range; sends nothing.
    void setDoubleValue(double v);
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
    double min_ = 0, max_ = 1, value_ = 0;
    bool continuous_ = true;
    bool tracking_ = false;
};

class Stepper : public Control {
  public:
    explicit Stepper(const Rect& frame = {}) : Control(frame) {}
    static std::shared_ptr<Stepper> make(const Rect& frame = {}) { return std::make_shared<Stepper>(frame); }

    double minValue() const { return min_; }
    double maxValue() const { return max_; }
    void setRange(double min, double max);
    double increment() const { return increment_; }
    void setIncrement(double step) { increment_ = step; }
    bool valueWraps() const { return wraps_; }
    void setValueWraps(bool on) { wraps_ = on; }
    double doubleValue() const { return value_; }
    void setDoubleValue(double v);
    // One step up or down as a click on the arrows does; sends the action.
    void stepUp();
    void stepDown();

    void draw(QPainter& painter, const Rect& dirty) override;
    void mouseDown(const Event& e) override;

  private:
    void step(double delta);
    double min_ = 0, max_ = 59, increment_ = 1, value_ = 0;
    bool wraps_ = false;
};

} // namespace qrn::ui
