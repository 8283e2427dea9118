#include "platform/ui/progress_indicator.h"

#include <cmath>

#include "platform/foundation/main_queue.h"
#include "platform/ui/panels.h"

namespace qrn::ui {

namespace {
constexpr int kSpokes = 12;
constexpr double kTick = 1.0 / kSpokes;
// The well that the shared colour panel serves at the moment.
ColourWell* activeWell = nullptr;
} // namespace

ProgressIndicator::ProgressIndicator(const Rect& frame)
    : Control(frame), generation_(std::make_shared<int>(0)) {
    setHidden(true);
}

ProgressIndicator::~ProgressIndicator() {
    ++*generation_;
}

void ProgressIndicator::startAnimation() {
    if (animating_)
        return;
    animating_ = true;
    setHidden(false);
    tick();
}

void ProgressIndicator::stopAnimation() {
    animating_ = false;
    ++*generation_;
    if (!displayedWhenStopped_)
        setHidden(true);
}

void ProgressIndicator::setDisplayedWhenStopped(bool on) {
    displayedWhenStopped_ = on;
    if (!animating_)
        setHidden(!on);
}

void ProgressIndicator::tick() {
    const int generation = *generation_;
    std::weak_ptr<int> alive = generation_;
    MainQueue::after(kTick, [this, alive, generation] {
        auto g = alive.lock();
        if (!g || *g != generation || !animating_)
            return;
        phase_ = (phase_ + 1) % kSpokes;
        setNeedsDisplay();
        tick();
    });
}

void ProgressIndicator::draw(QPainter& painter, const Rect&) {
    paintTopDown(painter, *this, [&](QPainter& p, QRectF b) {
        const QPointF c = b.center();
        const double r = std::min(b.width(), b.height()) / 2;
        for (int i = 0; i < kSpokes; ++i) {
            const double a = 2 * M_PI * i / kSpokes;
            // The spoke just passed is brightest, fading behind it.
            const int age = (phase_ - i + kSpokes) % kSpokes;
            QColor col = control_colours::text().toQColor();
            col.setAlphaF(float(1.0 - age / double(kSpokes) * 0.85));
            p.setPen(QPen(col, std::max(1.5, r * 0.16), Qt::SolidLine, Qt::RoundCap));
            p.drawLine(QPointF(c.x() + std::cos(a) * r * 0.45, c.y() + std::sin(a) * r * 0.45),
                       QPointF(c.x() + std::cos(a) * r * 0.9, c.y() + std::sin(a) * r * 0.9));
        }
    });
}

ColourWell::ColourWell(const Rect& frame) : Control(frame) {}

ColourWell::~ColourWell() {
    if (activeWell == this)
        deactivate();
}

void ColourWell::setColour(const Colour& c) {
    colour_ = c;
    if (active_)
        ColourPanel::shared().setColour(c);
    setNeedsDisplay();
}

void ColourWell::activate() {
    if (!isEnabled())
        return;
    if (activeWell && activeWell != this)
        activeWell->deactivate();
    activeWell = this;
    active_ = true;
    ColourPanel& panel = ColourPanel::shared();
    panel.setTarget(this);
    panel.setAction([](ColourPanel& p) {
        if (!activeWell || p.target() != activeWell)
            return;
        activeWell->colour_ = p.colour();
        activeWell->setNeedsDisplay();
        activeWell->sendAction();
    });
    panel.setColour(colour_);
    panel.orderFront();
    setNeedsDisplay();
}

void ColourWell::deactivate() {
    active_ = false;
    if (activeWell == this) {
        activeWell = nullptr;
        if (ColourPanel::sharedExists() && ColourPanel::shared().target() == this) {
            ColourPanel::shared().setTarget(nullptr);
            ColourPanel::shared().setAction({});
        }
    }
    setNeedsDisplay();
}

void ColourWell::mouseDown(const Event& e) {
    if (!isEnabled())
        return Control::mouseDown(e);
    if (active_)
        deactivate();
    else
        activate();
}

void ColourWell::draw(QPainter& painter, const Rect&) {
    paintTopDown(painter, *this, [&](QPainter& p, QRectF b) {
        if (!isEnabled())
            p.setOpacity(0.45);
        p.setPen(
            QPen(active_ ? control_colours::accent().toQColor() : control_colours::controlBorder().toQColor(),
                 active_ ? 2 : 1));
        p.setBrush(control_colours::controlBackground().toQColor());
        p.drawRoundedRect(b.adjusted(1, 1, -1, -1), 4, 4);
        p.setPen(Qt::NoPen);
        p.setBrush(colour_.toQColor());
        p.drawRoundedRect(b.adjusted(4, 4, -4, -4), 2, 2);
    });
}

} // namespace qrn::ui
