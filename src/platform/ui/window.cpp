#include "platform/ui/window.h"

#include <utility>

#include <QPainter>

#include <algorithm>
#include <unordered_map>

#include "platform/graphics/renderer.h"
#include "platform/ui/application.h"
#include "platform/ui/popover.h"
#include "platform/ui/view_controller.h"

namespace qrn::ui {

namespace {

Window::HostFactory hostFactory;
// Never destroyed: windows still open at exit must not run their teardown after everything else.
std::vector<WindowPtr>& shownWindows = *new std::vector<WindowPtr>;
Window* currentKeyWindow = nullptr;
Window* currentModalWindow = nullptr;
std::function<void(Window&)> closeObserver;
std::function<void(const Window*)> fullScreenObserver;

void tellFullScreenObserver() {
    if (fullScreenObserver)
        fullScreenObserver(currentKeyWindow);
}

constexpr double defaultFadeDuration = 0.25;

// The areas the pointer is in, per window: an area in a part of the tree a walk leaves out (hidden,
// or clipped away where the pointer is) still gets its exit.
std::unordered_map<const Window*, std::vector<std::weak_ptr<TrackingArea>>>& areasInside() {
    static auto* map = new std::unordered_map<const Window*, std::vector<std::weak_ptr<TrackingArea>>>;
    return *map;
}

void collectViews(View* v, std::vector<ViewPtr>& out) {
    out.push_back(v->weak_from_this().lock());
    for (auto& s : v->subviews())
        collectViews(s.get(), out);
}

void collectControllers(View* v, std::vector<ViewControllerPtr>& out) {
    if (auto* c = v->viewController())
        if (auto p = c->weak_from_this().lock())
            out.push_back(p);
    for (auto& s : v->subviews())
        collectControllers(s.get(), out);
}

} // namespace

Window::Window(const Rect& contentRect, unsigned style)
    : style_(style), contentRect_(contentRect.standardized()) {
    frameView_ = View::make(Rect(0, 0, contentRect_.size.width, contentRect_.size.height));
    frameView_->setIdentifier("window frame");
    frameView_->setAutoresizesSubviews(false);
    frameView_->propagateDidMoveToWindow(this);
    accessoryContainer_ = View::make();
    accessoryContainer_->setIdentifier("title-bar accessory");
    accessoryContainer_->setHidden(true);
    frameView_->addSubview(accessoryContainer_);
    setContentView(View::make());
    // Everything the views change on their layers ends up as a repaint of that area.
    frameView_->layer()->setChangeHandler([this](const Rect& r) { invalidate(r); },
                                          [this] { return wantsRepaintAreas(); });
    if (hostFactory)
        host_ = hostFactory(*this);
}

Window::~Window() {
    if (currentKeyWindow == this)
        currentKeyWindow = nullptr;
    if (currentModalWindow == this)
        currentModalWindow = nullptr;
    frameView_->layer()->setChangeHandler({});
    areasInside().erase(this);
    // Views that outlive the window forget it without callbacks: their owners may be gone.
    frameView_->forgetWindow();
    host_.reset();
}

WindowPtr Window::make(const Rect& contentRect, unsigned style) {
    return std::make_shared<Window>(contentRect, style);
}

void Window::setHostFactory(HostFactory factory) {
    hostFactory = std::move(factory);
}

void Window::setHost(std::unique_ptr<WindowHost> host) {
    host_ = std::move(host);
}

std::vector<WindowPtr> Window::openWindows() {
    return shownWindows;
}

void Window::forgetOpenWindowsForTesting() {
    currentKeyWindow = nullptr;
    currentModalWindow = nullptr;
    // Destroyed after the list is empty, so no destructor finds itself in it.
    auto windows = std::move(shownWindows);
    shownWindows.clear();
}
Window* Window::keyWindow() {
    return currentKeyWindow;
}
Window* Window::modalWindow() {
    return currentModalWindow;
}
void Window::setModalWindow(Window* window) {
    if (currentModalWindow && currentModalWindow->host_)
        currentModalWindow->host_->setModal(false);
    currentModalWindow = window;
    if (window && window->host_)
        window->host_->setModal(true);
}
void Window::setCloseObserver(std::function<void(Window&)> observer) {
    closeObserver = std::move(observer);
}
void Window::setFullScreenObserver(std::function<void(const Window*)> observer) {
    fullScreenObserver = std::move(observer);
    tellFullScreenObserver();
}

// --- Properties

void Window::setTitle(std::string title) {
    title_ = std::move(title);
    if (host_)
        host_->setTitle(title_);
}

void Window::setResizable(bool resizable) {
    style_ = resizable ? (style_ | WindowStyleResizable) : (style_ & ~unsigned(WindowStyleResizable));
    if (host_)
        host_->setResizable(resizable);
}

void Window::setFrame(const Rect& rect) {
    Rect r = rect.standardized();
    r.size.width = std::max(r.size.width, minSize_.width);
    r.size.height = std::max(r.size.height, minSize_.height);
    bool moved = !(r.origin == contentRect_.origin);
    bool resized = !(r.size == contentRect_.size);
    if (!moved && !resized)
        return;
    contentRect_ = r;
    if (host_)
        host_->setContentRect(r);
    if (resized) {
        layoutFrameView();
        if (delegate_)
            delegate_->windowDidResize(*this);
    }
    if (moved && delegate_)
        delegate_->windowDidMove(*this);
}

void Window::setFrameOrigin(Point origin) {
    setFrame(Rect(origin, contentRect_.size));
}

void Window::setContentSize(Size size) {
    // Grows and shrinks from the top-left corner, as users expect of a window.
    double top = contentRect_.maxY();
    setFrame(
        Rect(contentRect_.origin.x, top - std::max(size.height, minSize_.height), size.width, size.height));
}

void Window::keepOnScreen() {
    if (host_)
        setFrame(host_->onScreen(contentRect_));
}

void Window::setMinSize(Size size) {
    minSize_ = size;
    if (host_)
        host_->setMinContentSize(size);
    if (contentRect_.size.width < size.width || contentRect_.size.height < size.height)
        setContentSize(
            {std::max(size.width, contentRect_.size.width), std::max(size.height, contentRect_.size.height)});
}

void Window::setBackgroundColour(const Colour& c) {
    background_ = c;
    invalidate(Rect(0, 0, contentRect_.size.width, contentRect_.size.height));
}

void Window::setBackingScaleFactor(double s) {
    if (s <= 0 || s == scale_)
        return;
    scale_ = s;
    std::vector<ViewPtr> all;
    collectViews(frameView_.get(), all);
    for (auto& v : all)
        if (v->drawsContent_)
            v->setNeedsDisplay();
}

// --- Views

void Window::layoutFrameView() {
    const double w = contentRect_.size.width, h = contentRect_.size.height;
    const Size old = frameView_->frame().size;
    frameView_->setFrame(Rect(0, 0, w, h));
    double acc = accessory_ ? std::min(accessoryHeight_, h) : 0;
    accessoryContainer_->setFrame(Rect(0, h - acc, w, acc));
    if (contentView_)
        contentView_->setFrame(Rect(0, 0, w, h - acc));
    // What else lies on the frame view (a popover's click catcher) follows its own mask.
    if (!(old == frameView_->frame().size))
        for (const auto& v : std::vector<ViewPtr>(frameView_->subviews()))
            if (v != contentView_ && v != accessoryContainer_)
                v->resizeWithOldSuperviewSize(old);
}

void Window::setContentView(const ViewPtr& view) {
    if (view == contentView_)
        return;
    if (contentView_)
        contentView_->removeFromSuperview();
    contentView_ = view ? view : View::make();
    contentView_->setAutoresizingMask(WidthSizable | HeightSizable);
    frameView_->addSubview(contentView_, Ordering::Below, accessoryContainer_.get());
    layoutFrameView();
}

void Window::setContentViewController(std::shared_ptr<ViewController> controller, bool fade) {
    if (controller == contentViewController_)
        return;
    auto install = [this, controller]() {
        contentViewController_ = controller;
        setContentView(controller ? controller->view() : nullptr);
    };
    if (!fade || !visible_ || !contentView_) {
        install();
        return;
    }
    std::weak_ptr<Window> weak = weak_from_this();
    contentView_->animateAlphaValue(0, defaultFadeDuration, [weak, install, controller]() {
        auto self = weak.lock();
        if (!self)
            return;
        if (self->contentView_)
            self->contentView_->setAlphaValue(1); // the old view leaves as it was
        if (controller)
            controller->view()->setAlphaValue(0);
        install();
        if (controller)
            controller->view()->animateAlphaValue(1, defaultFadeDuration);
    });
}

void Window::setTitlebarAccessory(std::shared_ptr<ViewController> controller, double height) {
    for (auto& s : std::vector<ViewPtr>(accessoryContainer_->subviews()))
        s->removeFromSuperview();
    accessory_ = std::move(controller);
    accessoryHeight_ = accessory_ ? std::max(0.0, height) : 0;
    accessoryContainer_->setHidden(!accessory_);
    layoutFrameView();
    if (accessory_) {
        const ViewPtr& v = accessory_->view();
        v->setFrame(accessoryContainer_->bounds());
        v->setAutoresizingMask(WidthSizable | HeightSizable);
        accessoryContainer_->addSubview(v);
    }
}

// --- Showing

void Window::setControllersVisible(bool visible, bool done) {
    std::vector<ViewControllerPtr> controllers;
    collectControllers(frameView_.get(), controllers);
    for (auto& c : controllers)
        c->windowVisibilityChanged(visible, done);
}

void Window::orderFront() {
    if (closed_)
        closed_ = false; // a closed window may be shown again by whoever kept it
    if (!visible_) {
        setControllersVisible(true, false);
        visible_ = true;
        if (auto self = weak_from_this().lock())
            if (std::find(shownWindows.begin(), shownWindows.end(), self) == shownWindows.end())
                shownWindows.push_back(self);
        if (host_)
            host_->show();
        setControllersVisible(true, true);
        if (frameView_->needsDisplay_ || frameView_->subtreeNeedsDisplay_)
            viewNeedsDisplay();
    }
}

void Window::makeKeyAndOrderFront() {
    orderFront();
    setKey(true);
    if (host_)
        host_->activate();
}

void Window::orderOut() {
    if (!visible_)
        return;
    setControllersVisible(false, false);
    visible_ = false;
    setKey(false);
    if (host_)
        host_->hide();
    setControllersVisible(false, true);
}

void Window::setKey(bool key) {
    if (key == key_)
        return;
    if (key) {
        if (currentKeyWindow && currentKeyWindow != this)
            currentKeyWindow->setKey(false);
        currentKeyWindow = this;
        key_ = true;
        if (delegate_)
            delegate_->windowDidBecomeKey(*this);
    } else {
        key_ = false;
        if (currentKeyWindow == this)
            currentKeyWindow = nullptr;
        if (delegate_)
            delegate_->windowDidResignKey(*this);
    }
    tellFullScreenObserver();
    updateTrackingAreas();
}

void Window::close() {
    if (closed_)
        return;
    auto keep = weak_from_this().lock();
    if (sheet_)
        endSheet(*sheet_, 0);
    if (delegate_)
        delegate_->windowWillClose(*this);
    if (visible_)
        setControllersVisible(false, false);
    bool wasVisible = visible_;
    const bool wasKey = key_;
    visible_ = false;
    closed_ = true;
    setKey(false);
    stopDragTimer();
    // Closed first, then no longer modal: the host lets go of a modal window as it hides it.
    if (host_)
        host_->close();
    if (currentModalWindow == this)
        setModalWindow(nullptr);
    if (wasVisible)
        setControllersVisible(false, true);
    shownWindows.erase(std::remove_if(shownWindows.begin(), shownWindows.end(),
                                      [this](const WindowPtr& w) { return w.get() == this; }),
                       shownWindows.end());
    // The keyboard goes back to the window this one belongs to. Where no window manager hands
    // it on, no window of ours would have it, and the main menu's keys, Quit among them, would
    // reach none.
    if (auto parent = parent_.lock();
        wasKey && parent && parent->isVisible() && !parent->isClosed() && !parent->isMiniaturized())
        parent->makeKeyAndOrderFront();
    if (closeObserver)
        closeObserver(*this);
}

void Window::performClose() {
    hostRequestsClose();
}

bool Window::hostRequestsClose() {
    if (delegate_ && !delegate_->windowShouldClose(*this))
        return false;
    close();
    return true;
}

void Window::miniaturize() {
    if (miniaturized_)
        return;
    if (delegate_)
        delegate_->windowWillMiniaturize(*this);
    miniaturized_ = true;
    if (host_)
        host_->miniaturize();
}

void Window::deminiaturize() {
    if (!miniaturized_)
        return;
    miniaturized_ = false;
    if (host_)
        host_->deminiaturize();
    if (delegate_)
        delegate_->windowDidDeminiaturize(*this);
}

void Window::toggleFullScreen() {
    fullScreen_ = !fullScreen_;
    if (host_)
        host_->setFullScreen(fullScreen_);
    tellFullScreenObserver();
}

void Window::zoom() {
    zoomed_ = !zoomed_;
    if (host_)
        host_->setZoomed(zoomed_);
}

// --- Belonging

void Window::setParentWindow(const WindowPtr& parent) {
    if (parent.get() == this)
        return;
    parent_ = parent;
    if (host_)
        host_->setParentWindow(parent.get());
}

// --- Sheets

void Window::beginSheet(const WindowPtr& sheet, std::function<void(int)> completion) {
    if (!sheet || sheet_ || sheet.get() == this)
        return;
    sheet_ = sheet;
    sheet->sheetParent_ = this;
    sheetCompletion_ = std::move(completion);
    // Centred along the top edge of this window.
    Size s = sheet->contentSize();
    sheet->setFrameOrigin(
        {contentRect_.origin.x + (contentRect_.size.width - s.width) / 2, contentRect_.maxY() - s.height});
    if (sheet->host_)
        sheet->host_->setModal(true);
    sheet->makeKeyAndOrderFront();
}

void Window::endSheet(Window& sheet, int response) {
    if (sheet_.get() != &sheet)
        return;
    WindowPtr keep = sheet_;
    auto completion = std::move(sheetCompletion_);
    sheetCompletion_ = nullptr;
    sheet_.reset();
    sheet.sheetParent_ = nullptr;
    sheet.close();
    if (visible_)
        setKey(true);
    if (completion)
        completion(response);
}

// --- Responders and events

bool Window::makeFirstResponder(Responder* responder) {
    if (responder == firstResponder_)
        return true;
    if (firstResponder_ && !firstResponder_->resignFirstResponder())
        return false;
    firstResponder_ = nullptr;
    if (responder && responder != this) {
        if (!responder->acceptsFirstResponder() || !responder->becomeFirstResponder())
            return false;
        firstResponder_ = responder;
    }
    return true;
}

bool Window::acceptsUserEvents() const {
    if (sheet_)
        return false;
    if (currentModalWindow && currentModalWindow != this) {
        for (const Window* w = this; w; w = w->sheetParent_)
            if (w == currentModalWindow)
                return true;
        return false;
    }
    return true;
}

View* Window::mouseCaptureView() const {
    return capture_.lock().get();
}

void Window::sendEvent(Event e) {
    // A handler may close the last reference to this window.
    auto keep = weak_from_this().lock();
    e.window = this;
    if (!acceptsUserEvents())
        return;
    switch (e.type) {
    case EventType::MouseDown:
    case EventType::RightMouseDown: {
        mouseLocation_ = e.locationInWindow;
        mouseInside_ = true;
        if (!key_ && visible_)
            setKey(true);
        View* hit = frameView_->hitTest(e.locationInWindow);
        if (!hit) {
            dispatch(e);
            return;
        }
        ViewPtr target = hit->weak_from_this().lock();
        (e.type == EventType::MouseDown ? capture_ : rightCapture_) = target;
        // What handling the press changes in the tree (a slide chosen in a long deck) has the
        // tracking areas looked at once, when it is done.
        const TrackingBatch settledOnce(this);
        if (hit->acceptsFirstResponder())
            makeFirstResponder(hit);
        target->dispatch(e);
        return;
    }
    case EventType::MouseDragged:
    case EventType::RightMouseDragged: {
        mouseLocation_ = e.locationInWindow;
        deliverTracking(&e);
        auto target = (e.type == EventType::MouseDragged ? capture_ : rightCapture_).lock();
        if (target)
            target->dispatch(e);
        return;
    }
    case EventType::MouseUp:
    case EventType::RightMouseUp: {
        mouseLocation_ = e.locationInWindow;
        auto& slot = e.type == EventType::MouseUp ? capture_ : rightCapture_;
        auto target = slot.lock();
        slot.reset();
        if (target) {
            // The look at the tracking areas after the release also covers what handling it
            // changed in the tree.
            const bool inBatch = trackingBusy_;
            trackingBusy_ = true;
            target->dispatch(e);
            if (!inBatch)
                trackingBusy_ = trackingAgain_ = false;
        }
        deliverTracking(&e);
        return;
    }
    case EventType::MouseMoved:
        mouseLocation_ = e.locationInWindow;
        mouseInside_ = true;
        deliverTracking(&e);
        return;
    case EventType::ScrollWheel: {
        View* hit = frameView_->hitTest(e.locationInWindow);
        if (hit) {
            ViewPtr keep = hit->weak_from_this().lock();
            hit->scrollWheel(e);
        }
        return;
    }
    case EventType::KeyDown:
        // An open popover is dismissed by Escape before any view of the content sees the key,
        // as a click outside dismisses it.
        if (e.keyCode == keycode::Escape && (e.modifierFlags & ~ModifierCapsLock) == 0 &&
            Popover::cancelShownIn(*this))
            return;
        firstResponder()->dispatch(e);
        return;
    case EventType::KeyUp:
    case EventType::FlagsChanged:
        firstResponder()->dispatch(e);
        return;
    case EventType::MouseEntered:
    case EventType::MouseExited:
        return; // made here from tracking areas, never sent in
    }
}

void Window::mouseLeftWindow() {
    mouseInside_ = false;
    deliverTracking(nullptr);
}

void Window::updateTrackingAreas() {
    deliverTracking(nullptr);
}

Window::TrackingBatch::TrackingBatch(Window* window) {
    // Inside an update or another batch, that one settles the areas at its end.
    if (!window || window->trackingBusy_)
        return;
    window_ = window->weak_from_this();
    window->trackingBusy_ = true;
    window->trackingAgain_ = false;
}

Window::TrackingBatch::~TrackingBatch() {
    auto window = window_.lock();
    if (!window)
        return;
    window->trackingBusy_ = false;
    if (std::exchange(window->trackingAgain_, false))
        window->deliverTracking(nullptr);
}

namespace {

// The views with tracking areas that the pointer may be over, each with the pointer in its own
// space: the walk leaves out hidden subtrees and, under a view that clips its subviews (a scroll
// view's clip), those where the pointer is outside it, so a strip of thousands of tiles costs the
// few on show. The point is carried down the walk: finding it from the window for each of a
// deck's tiles made every pointer move take seconds.
void viewsUnderPointer(View* v, Point local, Point inWindow, std::vector<std::pair<ViewPtr, Point>>& out) {
    if (v->isHidden())
        return;
    if (!v->trackingAreas().empty())
        out.emplace_back(v->shared_from_this(), local);
    if (v->layer()->masksToBounds() && !v->bounds().contains(local))
        return;
    const auto visit = [&](View* s) {
        // Nothing of an upright subview that clips shows outside its frame.
        if (s->isHidden() ||
            (s->frameCenterRotation() == 0 && !s->frame().contains(local) && s->layer()->masksToBounds()))
            return;
        const auto fromSuperview = s->transformToSuperview().inverted();
        viewsUnderPointer(
            s, fromSuperview ? fromSuperview->map(local) : s->convertPointFromView(inWindow, nullptr),
            inWindow, out);
    };
    // Of a long strip's tiles, those under the pointer and those that may reach past their frame.
    if (std::vector<View*> near; v->subviewsNear(local, true, near)) {
        for (View* s : near)
            visit(s);
        return;
    }
    for (const auto& s : v->subviews())
        visit(s.get());
}

} // namespace

void Window::deliverTracking(const Event* cause) {
    if (trackingBusy_) {
        trackingAgain_ = true;
        return;
    }
    trackingBusy_ = true;
    do {
        trackingAgain_ = false;
        std::vector<std::pair<ViewPtr, Point>> views;
        if (mouseInside_)
            viewsUnderPointer(frameView_.get(), frameView_->convertPointFromView(mouseLocation_, nullptr),
                              mouseLocation_, views);
        struct Change {
            ViewPtr view;
            TrackingAreaPtr area;
            bool entering;
        };
        std::vector<Change> exits, enters;
        std::vector<std::pair<ViewPtr, TrackingAreaPtr>> moves;
        std::vector<const TrackingArea*> seen;
        for (auto& [v, local] : views) {
            for (auto& area : v->trackingAreas()) {
                seen.push_back(area.get());
                unsigned o = area->options_;
                bool active = (o & TrackingActiveAlways) || (o & TrackingActiveInActiveApp) ||
                              ((o & TrackingActiveInKeyWindow) && key_) ||
                              ((o & TrackingActiveWhenFirstResponder) && firstResponder_ == v.get()) ||
                              !(o & (TrackingActiveAlways | TrackingActiveInActiveApp |
                                     TrackingActiveInKeyWindow | TrackingActiveWhenFirstResponder));
                Rect r = (o & TrackingInVisibleRect) ? v->visibleRect() : area->rect_;
                bool inside = active && mouseInside_ && r.contains(local);
                if (inside != area->inside_)
                    (inside ? enters : exits).push_back({v, area, inside});
                else if (inside && (o & TrackingMouseMoved) && cause &&
                         (cause->type == EventType::MouseMoved || cause->type == EventType::MouseDragged))
                    moves.emplace_back(v, area);
            }
        }
        // Areas the pointer was in that the walk left out: it is not over them now.
        for (auto& weak : areasInside()[this])
            if (auto area = weak.lock();
                area && area->inside_ && std::find(seen.begin(), seen.end(), area.get()) == seen.end()) {
                if (auto* view = area->view_)
                    exits.push_back({view->shared_from_this(), area, false});
                else
                    area->inside_ = false;
            }
        auto send = [&](const ViewPtr& v, const TrackingAreaPtr& area, EventType type) {
            Event ev = Event::mouse(type, mouseLocation_, cause ? cause->modifierFlags : 0, 0);
            ev.window = this;
            ev.trackingArea = area;
            Responder* owner = area->owner_ ? area->owner_ : v.get();
            owner->dispatch(ev);
        };
        for (auto& c : exits) {
            c.area->inside_ = false;
            if (c.area->options_ & TrackingMouseEnteredAndExited)
                send(c.view, c.area, EventType::MouseExited);
        }
        for (auto& c : enters) {
            c.area->inside_ = true;
            if (c.area->options_ & TrackingMouseEnteredAndExited)
                send(c.view, c.area, EventType::MouseEntered);
        }
        for (auto& [v, area] : moves)
            if (area->inside_)
                send(v, area, EventType::MouseMoved);
        // Every area the pointer is in was on this walk.
        auto& nowInside = areasInside()[this];
        nowInside.clear();
        for (auto& [v, local] : views)
            for (auto& area : v->trackingAreas())
                if (area->inside_)
                    nowInside.push_back(area);
        cause = nullptr; // a second pass only settles enter/exit
    } while (trackingAgain_);
    trackingBusy_ = false;
}

// --- Drag destination

View* Window::findDragDestination(Point location, const Pasteboard& board) const {
    auto types = board.types();
    for (View* v = frameView_->hitTest(location); v; v = v->superview_) {
        for (auto& t : v->registeredDraggedTypes())
            if (std::find(types.begin(), types.end(), t) != types.end())
                return v;
    }
    return nullptr;
}

unsigned Window::draggingEntered(DraggingInfo& info) {
    stopDragTimer();
    dragTarget_.reset();
    dragOperation_ = DragOperationNone;
    return draggingUpdated(info);
}

unsigned Window::draggingUpdated(DraggingInfo& info) {
    auto keep = weak_from_this().lock();
    info.setDestinationWindow(this);
    if (!acceptsUserEvents())
        return DragOperationNone;
    View* found = findDragDestination(info.draggingLocation(), info.draggingPasteboard());
    ViewPtr target = found ? found->weak_from_this().lock() : nullptr;
    ViewPtr old = dragTarget_.lock();
    unsigned op;
    if (target != old) {
        if (old)
            old->draggingExited(info);
        dragTarget_ = target;
        if (target) {
            dragParticipants_.push_back(target);
            op = target->draggingEntered(info);
        } else {
            op = DragOperationNone;
        }
    } else {
        op = target ? target->draggingUpdated(info) : DragOperationNone;
    }
    if (target)
        target->lastDragOperation_ = op;
    dragOperation_ = op;
    startDragTimer(info);
    return op;
}

void Window::draggingExited(DraggingInfo& info) {
    stopDragTimer();
    info.setDestinationWindow(this);
    if (auto old = dragTarget_.lock())
        old->draggingExited(info);
    endDrag(info);
}

bool Window::performDrop(DraggingInfo& info) {
    auto keep = weak_from_this().lock();
    stopDragTimer();
    info.setDestinationWindow(this);
    ViewPtr target = dragTarget_.lock();
    bool taken = false;
    if (target && dragOperation_ != DragOperationNone) {
        taken = target->prepareForDragOperation(info) && target->performDragOperation(info);
        if (taken)
            target->concludeDragOperation(info);
    } else if (target) {
        target->draggingExited(info);
    }
    endDrag(info);
    return taken;
}

void Window::endDrag(DraggingInfo& info) {
    dragTarget_.reset();
    dragOperation_ = DragOperationNone;
    auto participants = std::move(dragParticipants_);
    dragParticipants_.clear();
    for (auto& w : participants)
        if (auto v = w.lock())
            v->draggingEnded(info);
}

void Window::startDragTimer(DraggingInfo info) {
    restingDrag_ = std::make_shared<DraggingInfo>(std::move(info));
    if (dragTimer_)
        return;
    dragTimer_ = std::make_unique<RepeatingTimer>(dragUpdateInterval, 0, [this]() {
        auto target = dragTarget_.lock();
        auto info = restingDrag_;
        if (!target || !info)
            return;
        unsigned op = target->draggingUpdated(*info);
        target->lastDragOperation_ = op;
        dragOperation_ = op;
    });
    dragTimer_->start();
}

void Window::stopDragTimer() {
    dragTimer_.reset();
    restingDrag_.reset();
}

// --- Drawing

void Window::displayIfNeeded() {
    if (displaying_)
        return;
    // The host paints what it was asked to after this; areas changed from now on are new.
    wholeRepaintPending_ = Rect();
    displaying_ = true;
    // A layout may ask for more (a subview resized by its superview's layout): a few rounds settle
    // it before drawing, and what is left waits for the next pass.
    for (int round = 0; round < 4 && frameView_->layoutPending(); ++round)
        frameView_->layoutSubtreeIfNeeded();
    frameView_->displayIfNeeded();
    displaying_ = false;
}

QImage Window::snapshot(double t) {
    displayIfNeeded();
    graphics::Renderer renderer;
    int w = std::max(1, int(std::ceil(contentRect_.size.width * scale_ - 1e-9)));
    int h = std::max(1, int(std::ceil(contentRect_.size.height * scale_ - 1e-9)));
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    image.fill(background_.toQColor());
    renderer.render(*frameView_->layer(), image, t, scale_);
    return image;
}

void Window::invalidate(const Rect& rect) {
    if (!host_ || rect.isEmpty())
        return;
    host_->invalidate(rect);
    if (rect.contains(Rect(Point{}, contentRect_.size)))
        wholeRepaintPending_ = rect;
}

bool Window::wantsRepaintAreas() const {
    // Building a screen repaints all of it at the next paint: the changes made until then (an
    // open's thousands of views) need no measuring.
    return host_ && !(!wholeRepaintPending_.isEmpty() &&
                      wholeRepaintPending_.contains(Rect(Point{}, contentRect_.size)));
}

void Window::viewNeedsDisplay() {
    if (host_)
        host_->invalidate(Rect());
}

void Window::viewTreeChanged(bool visibility) {
    if (host_)
        host_->nativeContentChanged();
    // With the pointer outside the window every area is already out and none can enter.
    if (visibility && mouseInside_)
        deliverTracking(nullptr);
}

void Window::viewWillLeave(View* view) {
    if (auto* r = dynamic_cast<View*>(firstResponder_); r && r->isDescendantOf(view))
        firstResponder_ = nullptr;
    std::vector<ViewPtr> leaving;
    collectViews(view, leaving);
    for (auto& v : leaving) {
        for (auto& a : v->trackingAreas())
            a->inside_ = false;
        if (auto* c = v->viewController(); c && firstResponder_ == c)
            firstResponder_ = nullptr;
    }
    if (auto t = dragTarget_.lock(); t && t->isDescendantOf(view))
        dragTarget_.reset();
}

std::vector<View*> Window::viewsWithNativeContent() const {
    // Counted per subtree, so a flush walks only down to the few views that have some.
    std::vector<View*> out;
    frameView_->collectNative(out);
    return out;
}

// --- Host notifications

void Window::hostDidMove(Point origin) {
    if (origin == contentRect_.origin)
        return;
    contentRect_.origin = origin;
    if (delegate_)
        delegate_->windowDidMove(*this);
}

void Window::hostDidResize(Size size, bool, std::optional<Point> origin) {
    const bool moved = origin && !(*origin == contentRect_.origin);
    if (size == contentRect_.size) {
        if (moved)
            hostDidMove(*origin);
        return;
    }
    // Both before either notification, so neither sees half of the new frame.
    if (moved)
        contentRect_.origin = *origin;
    contentRect_.size = size;
    layoutFrameView();
    if (delegate_)
        delegate_->windowDidResize(*this);
    if (moved && delegate_)
        delegate_->windowDidMove(*this);
}

void Window::hostDidEndLiveResize() {
    if (delegate_)
        delegate_->windowDidEndLiveResize(*this);
}

void Window::hostDidBecomeKey() {
    setKey(true);
}

void Window::hostDidResignKey() {
    setKey(false);
}

void Window::hostDidMiniaturize() {
    if (miniaturized_)
        return;
    if (delegate_)
        delegate_->windowWillMiniaturize(*this);
    miniaturized_ = true;
}

void Window::hostDidDeminiaturize() {
    if (!miniaturized_)
        return;
    miniaturized_ = false;
    if (delegate_)
        delegate_->windowDidDeminiaturize(*this);
    Application::shared().hiddenWindowCameBack(*this);
}

void Window::hostDidChangeFullScreenAndZoom(bool fullScreen, bool zoomed) {
    const bool changed = fullScreen_ != fullScreen;
    fullScreen_ = fullScreen;
    zoomed_ = zoomed;
    if (changed)
        tellFullScreenObserver();
}

void Window::hostDidFrame() {
    // Full screen and zoomed frames are the window manager's to place.
    if (keepsOnScreenWhenShown_ && visible_ && !closed_ && !fullScreen_ && !zoomed_ && !miniaturized_)
        keepOnScreen();
}

} // namespace qrn::ui
