#include "platform/ui/view_controller.h"

#include <algorithm>

#include "platform/ui/application.h"
#include "platform/ui/window.h"

namespace qrn::ui {

namespace {
constexpr double fadeDuration = 0.25;
} // namespace

ViewController::ViewController() = default;

ViewController::~ViewController() {
    if (view_ && view_->controller_ == this)
        view_->controller_ = nullptr;
}

const ViewPtr& ViewController::view() {
    if (!view_ && !loading_) {
        loading_ = true;
        loadView();
        if (!view_)
            setView(View::make(Rect({0, 0}, preferredContentSize())));
        loading_ = false;
        viewDidLoad();
    }
    return view_;
}

void ViewController::loadView() {
    setView(View::make(Rect({0, 0}, preferredContentSize())));
}

void ViewController::setView(const ViewPtr& view) {
    if (view == view_)
        return;
    ViewPtr old = view_;
    if (old && old->controller_ == this)
        old->controller_ = nullptr;
    view_ = view;
    if (view_) {
        if (view_->controller_ && view_->controller_ != this)
            view_->controller_->view_.reset();
        view_->controller_ = this;
    }
    if (old && view_ && old->superviewPointer()) {
        view_->setFrame(old->frame());
        view_->setAutoresizingMask(old->autoresizingMask());
        old->superviewPointer()->replaceSubview(old.get(), view_);
    }
}

Window* ViewController::window() const {
    return view_ ? view_->window() : nullptr;
}

Responder* ViewController::nextResponder() const {
    if (!view_)
        return nullptr;
    if (View* s = view_->superviewPointer())
        return s;
    return view_->window();
}

void ViewController::viewWillMoveToWindow(Window* w) {
    windowVisibilityChanged(w && w->isVisible(), false);
}

void ViewController::viewDidMoveToWindow() {
    Window* w = window();
    windowVisibilityChanged(w && w->isVisible(), true);
}

void ViewController::windowVisibilityChanged(bool visible, bool done) {
    if (!done) {
        if (visible != appeared_ && visible != willAppear_) {
            willAppear_ = visible;
            if (visible)
                viewWillAppear();
            else
                viewWillDisappear();
        }
        return;
    }
    willAppear_ = visible;
    if (visible == appeared_)
        return;
    appeared_ = visible;
    if (visible)
        viewDidAppear();
    else
        viewDidDisappear();
}

// --- Presenting

void ViewController::present(const ViewControllerPtr& controller,
                             std::shared_ptr<PresentationAnimator> animator) {
    if (!controller || controller.get() == this)
        return;
    controller->presenting_ = this;
    // Only a presenter in a window can be replaced there; one without a window is kept by
    // whoever holds it, and holding it here too would keep both alive for good.
    if (window())
        controller->presentingHold_ = weak_from_this().lock();
    controller->presentation_ = Presentation::Animator;
    controller->animator_ = animator ? std::move(animator) : std::make_shared<ReplaceContentAnimator>();
    presented_.push_back({controller, controller});
    auto anim = controller->animator_;
    anim->animatePresentation(*controller, *this);
}

void ViewController::presentAsModalWindow(const ViewControllerPtr& controller) {
    if (!controller)
        return;
    controller->presenting_ = this;
    controller->presentation_ = Presentation::Modal;
    presented_.push_back({controller, controller});
    Size s = controller->view()->frame().size;
    auto w = Window::make(Rect(200, 200, s.width, s.height), WindowStyleTitled | WindowStyleClosable);
    w->setTitle(controller->title());
    w->setContentViewController(controller);
    controller->ownWindow_ = w;
    Application::shared().beginModal(w);
}

void ViewController::presentAsSheet(const ViewControllerPtr& controller) {
    Window* parent = window();
    if (!controller || !parent)
        return;
    controller->presenting_ = this;
    controller->presentation_ = Presentation::Sheet;
    presented_.push_back({controller, controller});
    Size s = controller->view()->frame().size;
    auto w = Window::make(Rect(0, 0, s.width, s.height), WindowStyleTitled);
    w->setContentViewController(controller);
    controller->ownWindow_ = w;
    parent->beginSheet(w);
}

void ViewController::presentInWindow(const ViewControllerPtr& controller) {
    if (!controller)
        return;
    controller->presenting_ = this;
    controller->presentation_ = Presentation::Window;
    presented_.push_back({controller, controller});
    Size s = controller->view()->frame().size;
    auto w = Window::make(Rect(220, 220, s.width, s.height));
    w->setTitle(controller->title());
    w->setContentViewController(controller);
    controller->ownWindow_ = w;
    w->makeKeyAndOrderFront();
}

void ViewController::dismiss(ViewController& presented) {
    auto it = std::find_if(presented_.begin(), presented_.end(),
                           [&](auto& p) { return p.controller.lock().get() == &presented; });
    if (it == presented_.end())
        return;
    ViewControllerPtr keep = it->controller.lock();
    presented_.erase(it);
    auto window = keep->ownWindow_.lock();
    keep->ownWindow_.reset();
    switch (keep->presentation_) {
    case Presentation::Animator:
        if (auto anim = std::move(keep->animator_))
            anim->animateDismissal(*keep, *this);
        break;
    case Presentation::Modal:
        if (window) {
            Application::shared().endModal(*window);
            window->close();
        }
        break;
    case Presentation::Sheet:
        if (window) {
            if (Window* parent = window->sheetParent())
                parent->endSheet(*window);
            else
                window->close();
        }
        break;
    case Presentation::Window:
        if (window)
            window->close();
        break;
    case Presentation::None:
        break;
    }
    keep->presentation_ = Presentation::None;
    keep->presenting_ = nullptr;
    // Dropped last: it may hold the only reference to this controller.
    auto hold = std::move(keep->presentingHold_);
}

std::vector<ViewControllerPtr> ViewController::presentedViewControllers() const {
    std::vector<ViewControllerPtr> out;
    for (const auto& entry : presented_)
        if (auto c = entry.controller.lock())
            out.push_back(std::move(c));
    return out;
}

void ViewController::presentedTookPlace(const ViewController& presented) {
    for (auto& entry : presented_)
        if (entry.held.get() == &presented)
            entry.held.reset();
}

void ViewController::dismiss() {
    if (presenting_)
        presenting_->dismiss(*this);
}

// --- Default animator

void ReplaceContentAnimator::animatePresentation(ViewController& presented, ViewController& presenting) {
    Window* w = presenting.window();
    if (!w)
        return;
    auto weakWindow = w->weak_from_this();
    auto p = presented.weak_from_this();
    auto back = presenting.weak_from_this();
    presenting.view()->animateAlphaValue(0, fadeDuration, [weakWindow, p, back]() {
        auto win = weakWindow.lock();
        auto next = p.lock();
        if (!win || !next)
            return;
        if (ViewController* old = win->contentViewController())
            old->view()->setAlphaValue(1);
        next->view()->setAlphaValue(0);
        win->setContentViewController(next);
        // The window holds it now; the presenter holding it too would keep both for good.
        if (auto presenter = back.lock())
            presenter->presentedTookPlace(*next);
        next->view()->animateAlphaValue(1, fadeDuration);
    });
}

void ReplaceContentAnimator::animateDismissal(ViewController& dismissed, ViewController& presenting) {
    Window* w = dismissed.window();
    if (!w)
        return;
    auto weakWindow = w->weak_from_this();
    auto back = presenting.weak_from_this();
    auto gone = dismissed.weak_from_this();
    dismissed.view()->animateAlphaValue(0, fadeDuration, [weakWindow, back, gone]() {
        auto win = weakWindow.lock();
        auto q = back.lock();
        if (!win || !q)
            return;
        if (auto d = gone.lock())
            d->view()->setAlphaValue(1);
        q->view()->setAlphaValue(0);
        win->setContentViewController(q);
        q->view()->animateAlphaValue(1, fadeDuration);
    });
}

} // namespace qrn::ui
