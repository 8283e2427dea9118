#pragma once
// The base of the interface controls: enabled state, an action sent on use, and drawing helpers
// that give a top-down painter for text and pictures whatever the view's orientation.
#include <QFont>
#include <QPainter>

#include <functional>

#include "platform/foundation/colour.h"
#include "platform/ui/view.h"

namespace qrn::ui {

class Control : public View {
  public:
    using Action = std::function<void(Control&)>;
    explicit Control(const Rect& frame = {}) : View(frame) { setNeedsDisplay(); }

    bool isEnabled() const { return enabled_; }
    virtual void setEnabled(bool enabled);
    void setAction(Action action) { action_ = std::move(action); }
    bool hasAction() const { return static_cast<bool>(action_); }
    // Sends the action (when there is one); controls call this when the user changes them.
    void sendAction();

    const QFont& font() const { return font_; }
    void setFont(const QFont& font);

  protected:
    QFont font_;

  private:
    bool enabled_ = true;
    Action action_;
};

// Runs `fn` with the painter turned so that (0, 0) is the top-left of the view's bounds and y
// grows downwards, the way text and images are laid out.
void paintTopDown(QPainter& painter, const View& view, const std::function<void(QPainter&, QRectF)>& fn);

// Interface colours used by the drawn controls.
namespace control_colours {
Colour text();
Colour secondaryText();
Colour controlBackground();
Colour controlBorder();
Colour accent();
} // namespace control_colours

} // namespace qrn::ui
