#pragma once
// The popover: a transient panel beside a view.
#include <functional>
#include <memory>
#include <optional>

#include "platform/foundation/geometry.h"

namespace qrn::ui {

class View;
class ViewController;
class Window;
class PopoverFrameView;
class PopoverCatcherView;

enum class RectEdge { minX, minY, maxX, maxY };
enum class PopoverBehaviour { applicationDefined = 0, transient = 1, semitransient = 2 };

// A popover: a panel shown beside a rectangle of an anchor view, on top of that view's window.
// A transient popover closes when the user clicks anywhere outside it; that click then reaches
// the view under it. The screens keep one and swap its content.
class Popover {
  public:
    Popover();
    ~Popover();
    Popover(const Popover&) = delete;
    Popover& operator=(const Popover&) = delete;

    PopoverBehaviour behaviour() const { return behaviour_; }
    void setBehaviour(PopoverBehaviour b) { behaviour_ = b; }
    bool animates() const { return animates_; }
    void setAnimates(bool on) { animates_ = on; }
    const std::shared_ptr<ViewController>& contentViewController() const { return content_; }
    void setContentViewController(std::shared_ptr<ViewController> controller);
    // The size of the content; by default the content view's own.
    void setContentSize(std::optional<Size> size) { contentSize_ = size; }

    // `rect` in the anchor's bounds space. Shown again at the new place when already shown.
    void show(const Rect& rect, View& anchor, RectEdge preferredEdge);
    bool isShown() const { return shown_; }
    // Closes at once; the will-close and did-close callbacks run.
    void close();
    // As the user closing it: the same, unless should-close says no.
    void performClose();
    void setShouldClose(std::function<bool(Popover&)> fn) { shouldClose_ = std::move(fn); }
    void setWillClose(std::function<void(Popover&)> fn) { willClose_ = std::move(fn); }
    void setDidClose(std::function<void(Popover&)> fn) { didClose_ = std::move(fn); }
    // Where the panel sits, in its window's space.
    Rect frameInWindow() const;
    // Escape pressed in `window`: the transient popover shown over its content closes, as at a
    // click outside. True when one was shown there; the key then goes no further.
    static bool cancelShownIn(Window& window);

  private:
    friend class PopoverCatcherView;
    void clickedOutside();
    PopoverBehaviour behaviour_ = PopoverBehaviour::transient;
    bool animates_ = true;
    bool shown_ = false;
    std::shared_ptr<ViewController> content_;
    std::optional<Size> contentSize_;
    std::shared_ptr<PopoverFrameView> frame_;
    std::shared_ptr<PopoverCatcherView> catcher_;
    std::function<bool(Popover&)> shouldClose_;
    std::function<void(Popover&)> willClose_;
    std::function<void(Popover&)> didClose_;
};

} // namespace qrn::ui
