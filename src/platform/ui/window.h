#pragma once
// Windows: a content view (with an optional title-bar accessory strip above it), the delegate's
// notifications, event dispatch to views, tracking areas, drag destinations, modal sessions and
// sheets. The Qt bridge gives each window a host widget; without one (tests) a window is fully
// usable, with events sent to it by hand.
#include <QImage>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/geometry.h"
#include "platform/foundation/main_queue.h"
#include "platform/ui/cursor.h"
#include "platform/ui/dragging.h"
#include "platform/ui/responder.h"
#include "platform/ui/view.h"

class QPainter;

namespace qrn::ui {

class ViewController;
class Window;
using WindowPtr = std::shared_ptr<Window>;

class WindowDelegate {
  public:
    virtual ~WindowDelegate() = default;
    virtual bool windowShouldClose(Window&) { return true; }
    virtual void windowWillClose(Window&) {}
    virtual void windowDidMove(Window&) {}
    virtual void windowDidResize(Window&) {}
    virtual void windowDidEndLiveResize(Window&) {}
    virtual void windowWillMiniaturize(Window&) {}
    virtual void windowDidDeminiaturize(Window&) {}
    virtual void windowDidBecomeKey(Window&) {}
    virtual void windowDidResignKey(Window&) {}
};

// What the host (the Qt bridge) does for a window.
class WindowHost {
  public:
    virtual ~WindowHost() = default;
    virtual void show() = 0;
    virtual void hide() = 0;
    virtual void close() = 0;
    virtual void setTitle(const std::string& title) = 0;
    // Content rectangle in screen space (y up from the bottom of the primary screen).
    virtual void setContentRect(const Rect& rect) = 0;
    virtual void setResizable(bool resizable) = 0;
    virtual void setMinContentSize(Size size) = 0;
    virtual void activate() = 0;
    virtual void miniaturize() = 0;
    virtual void deminiaturize() = 0;
    // Repaint this part of the window (window space, y up); empty means nothing new but a flush.
    virtual void invalidate(const Rect& rect) = 0;
    // Native content may have moved, appeared or hidden.
    virtual void nativeContentChanged() = 0;
    virtual void setModal(bool modal) = 0;
    // Full screen, and zoomed (filling the screen's work area), or back to the normal frame.
    virtual void setFullScreen(bool) {}
    virtual void setZoomed(bool) {}
    // The content rectangle moved so that the window's title bar lies on a screen; a window
    // larger than the screen (its window manager's frame included) made as large and put on it.
    virtual Rect onScreen(const Rect& contentRect) const { return contentRect; }
    // The window belongs to `parent` (none: to nobody), as a palette does: the window manager
    // keeps it above that window, and only that one.
    virtual void setParentWindow(Window*) {}
};

enum WindowStyle : unsigned {
    WindowStyleTitled = 1,
    WindowStyleClosable = 2,
    WindowStyleMiniaturizable = 4,
    WindowStyleResizable = 8,
    WindowStyleStandard = 15,
};

class Window : public Responder, public std::enable_shared_from_this<Window> {
  public:
    // `contentRect` is in screen space, y up.
    explicit Window(const Rect& contentRect = Rect(100, 100, 800, 600), unsigned style = WindowStyleStandard);
    ~Window() override;
    static WindowPtr make(const Rect& contentRect = Rect(100, 100, 800, 600),
                          unsigned style = WindowStyleStandard);

    // The Qt bridge installs a factory so every new window gets a host widget.
    using HostFactory = std::function<std::unique_ptr<WindowHost>(Window&)>;
    static void setHostFactory(HostFactory factory);
    WindowHost* host() const { return host_.get(); }
    // For the host: replaces the host (null detaches it).
    void setHost(std::unique_ptr<WindowHost> host);

    // --- Properties
    const std::string& title() const { return title_; }
    void setTitle(std::string title);
    unsigned styleMask() const { return style_; }
    bool isResizable() const { return (style_ & WindowStyleResizable) != 0; }
    void setResizable(bool resizable);
    // The content rectangle in screen space; the window's frame is the same rectangle (the
    // host's decorations are its own).
    Rect frame() const { return contentRect_; }
    void setFrame(const Rect& rect);
    void setFrameOrigin(Point origin);
    Size contentSize() const { return contentRect_.size; }
    void setContentSize(Size size);
    // Moves the window as little as it takes to bring its title bar onto a screen, where the
    // presenter can take hold of it; a window larger than the screen is made as large as the
    // screen and put wholly on it. A frame kept from another screen layout or scale, or one
    // placed before the window manager framed the window, may lie outside.
    void keepOnScreen();
    // keepOnScreen each time the window is shown, once the window manager has framed it (its
    // title bar and border are not known before): for windows placed to fill the screen.
    void setKeepsOnScreenWhenShown(bool keeps) { keepsOnScreenWhenShown_ = keeps; }
    Size minSize() const { return minSize_; }
    void setMinSize(Size size);
    Colour backgroundColour() const { return background_; }
    void setBackgroundColour(const Colour& c);
    double backingScaleFactor() const { return scale_; }
    void setBackingScaleFactor(double s);
    WindowDelegate* delegate() const { return delegate_; }
    void setDelegate(WindowDelegate* d) { delegate_ = d; }
    // Released when the window closes unless someone else keeps it.
    bool isReleasedWhenClosed() const { return releasedWhenClosed_; }
    void setReleasedWhenClosed(bool r) { releasedWhenClosed_ = r; }

    // --- Views
    const ViewPtr& contentView() const { return contentView_; }
    void setContentView(const ViewPtr& view);
    ViewController* contentViewController() const { return contentViewController_.get(); }
    std::shared_ptr<ViewController> contentViewControllerPtr() const { return contentViewController_; }
    // Replaces the content view with the controller's view; with `fade` the old content fades
    // out and the new fades in.
    void setContentViewController(std::shared_ptr<ViewController> controller, bool fade = false);
    // A strip of `height` at the top of the content area, above the content view, showing the
    // controller's view.
    void setTitlebarAccessory(std::shared_ptr<ViewController> controller, double height);
    ViewController* titlebarAccessory() const { return accessory_.get(); }
    double titlebarAccessoryHeight() const { return accessoryHeight_; }
    // The root of the window's views: the content view and the accessory strip.
    const ViewPtr& frameView() const { return frameView_; }

    // --- Showing
    void makeKeyAndOrderFront();
    void orderFront();
    void orderOut();
    void close();
    // As if the user clicked the close button: asks the delegate first.
    void performClose();
    void miniaturize();
    void deminiaturize();
    // Into full screen, or back out of it.
    void toggleFullScreen();
    bool isFullScreen() const { return fullScreen_; }
    // Between the normal frame and one filling the screen's work area.
    void zoom();
    bool isZoomed() const { return zoomed_; }
    bool isVisible() const { return visible_; }
    bool isKeyWindow() const { return key_; }
    bool isMiniaturized() const { return miniaturized_; }
    bool isClosed() const { return closed_; }

    // --- Belonging: a window of another window's, as a palette is, stays above that window for as
    // long as both are open, and never above other applications' windows.
    void setParentWindow(const WindowPtr& parent);
    WindowPtr parentWindow() const { return parent_.lock(); }

    // --- Sheets: a window attached to this one; events to this window are refused meanwhile.
    void beginSheet(const WindowPtr& sheet, std::function<void(int response)> completion = {});
    void endSheet(Window& sheet, int response = 0);
    Window* attachedSheet() const { return sheet_.get(); }
    Window* sheetParent() const { return sheetParent_; }

    // --- Responders
    Responder* firstResponder() const {
        return firstResponder_ ? firstResponder_ : const_cast<Window*>(this);
    }
    bool makeFirstResponder(Responder* responder);

    // --- Events (locations in window space, y up)
    void sendEvent(Event event);
    // The pointer left the window altogether.
    void mouseLeftWindow();
    Point mouseLocation() const { return mouseLocation_; }
    // The view that took the current press, if the press is still down.
    View* mouseCaptureView() const;
    // Re-evaluates every tracking area against the last pointer location.
    void updateTrackingAreas();

    // --- Drag destination, fed by the host or by tests.
    unsigned draggingEntered(DraggingInfo& info);
    unsigned draggingUpdated(DraggingInfo& info);
    void draggingExited(DraggingInfo& info);
    // The drop: prepare, perform and conclude on the destination. Returns whether it was taken.
    bool performDrop(DraggingInfo& info);
    View* dragDestination() const { return dragTarget_.lock().get(); }
    // Interval of the repeated draggingUpdated while a drag rests.
    static constexpr double dragUpdateInterval = 0.05;

    // --- Drawing
    // Lays out and draws views that asked for it.
    void displayIfNeeded();
    // Everything, into an image of the content size (times the scale factor).
    QImage snapshot(double t);
    // Marks an area of the window for repainting (window space).
    void invalidate(const Rect& rect);
    // Whether a changed area is worth measuring: false without a host, and while a repaint of
    // the whole window is pending.
    bool wantsRepaintAreas() const;
    const graphics::LayerPtr& rootLayer() const { return frameView_->layer(); }
    // Views with native content, in tree order, for the host to place.
    std::vector<View*> viewsWithNativeContent() const;

    // --- For views
    void viewNeedsDisplay();
    // Geometry or native content changed; `visibility` when views were shown, hidden, added or
    // removed, so tracking areas are re-evaluated.
    void viewTreeChanged(bool visibility = false);
    void viewWillLeave(View* view);
    // While one lives, tree changes re-evaluate tracking areas once, when it ends: adding or
    // removing a deck's views one by one otherwise walks the whole tree at each.
    class TrackingBatch {
      public:
        explicit TrackingBatch(Window* window);
        ~TrackingBatch();
        TrackingBatch(const TrackingBatch&) = delete;
        TrackingBatch& operator=(const TrackingBatch&) = delete;

      private:
        std::weak_ptr<Window> window_;
    };

    // --- For the host: the user moved, resized or activated the window.
    void hostDidMove(Point origin);
    // A window system keeps the top-left corner where it was when the size changes, so the
    // bottom-left origin moves with the height: a host that knows it passes it along.
    void hostDidResize(Size size, bool live, std::optional<Point> origin = std::nullopt);
    void hostDidEndLiveResize();
    void hostDidBecomeKey();
    void hostDidResignKey();
    void hostDidMiniaturize();
    void hostDidDeminiaturize();
    // The window manager changed full screen or zoom (also in answer to our own request).
    void hostDidChangeFullScreenAndZoom(bool fullScreen, bool zoomed);
    // The window manager has framed the window just shown: its whole frame is known now.
    void hostDidFrame();
    // The user asked to close the window (returns whether it closed).
    bool hostRequestsClose();

    Responder* nextResponder() const override { return nullptr; }

    // --- All windows
    // Windows shown and not yet closed, in the order they were first shown.
    static std::vector<WindowPtr> openWindows();
    // Lets go of every open window without closing it (no callbacks: a test's objects they
    // would call may be gone); each window goes with its last owner. For tests.
    static void forgetOpenWindowsForTesting();
    static Window* keyWindow();
    // While a window is modal, other windows refuse mouse and key events.
    static Window* modalWindow();
    static void setModalWindow(Window* window);
    // Told after any window closed (the application quits after the last one when asked to).
    static void setCloseObserver(std::function<void(Window&)> observer);
    // Told the key window (or none) whenever the key window changes or enters or leaves full
    // screen, so that what the menus say can follow.
    static void setFullScreenObserver(std::function<void(const Window*)> observer);

  private:
    void layoutFrameView();
    void setKey(bool key);
    void setControllersVisible(bool visible, bool done);
    bool acceptsUserEvents() const;
    void deliverTracking(const Event* cause);
    View* findDragDestination(Point location, const Pasteboard& board) const;
    // Forgets the drag's destination and tells every view that took part that the drag ended.
    void endDrag(DraggingInfo& info);
    void startDragTimer(DraggingInfo info);
    void stopDragTimer();

    std::unique_ptr<WindowHost> host_;
    std::string title_;
    unsigned style_;
    Rect contentRect_;
    Size minSize_;
    Colour background_ = Colour{0.93, 0.93, 0.93, 1};
    double scale_ = 1;
    WindowDelegate* delegate_ = nullptr;
    bool releasedWhenClosed_ = true;

    ViewPtr frameView_;
    ViewPtr contentView_;
    std::shared_ptr<ViewController> contentViewController_;
    std::shared_ptr<ViewController> accessory_;
    ViewPtr accessoryContainer_;
    double accessoryHeight_ = 0;

    bool visible_ = false;
    bool key_ = false;
    bool miniaturized_ = false;
    bool fullScreen_ = false;
    bool zoomed_ = false;
    bool keepsOnScreenWhenShown_ = false;
    bool closed_ = false;
    std::weak_ptr<Window> parent_;
    WindowPtr sheet_;
    Window* sheetParent_ = nullptr;
    std::function<void(int)> sheetCompletion_;

    Responder* firstResponder_ = nullptr;
    std::weak_ptr<View> capture_;
    std::weak_ptr<View> rightCapture_;
    Point mouseLocation_;
    bool mouseInside_ = false;
    bool trackingBusy_ = false;
    bool trackingAgain_ = false;

    std::weak_ptr<View> dragTarget_;
    unsigned dragOperation_ = DragOperationNone;
    std::unique_ptr<RepeatingTimer> dragTimer_;
    std::shared_ptr<DraggingInfo> restingDrag_;
    std::vector<std::weak_ptr<View>> dragParticipants_;
    bool displaying_ = false;
    // What was last asked to be repainted when that covered the whole window, until the next paint.
    Rect wholeRepaintPending_;
};

} // namespace qrn::ui
