#pragma once
// View controllers: own a view (made on first use), hear it appear in and disappear from
// windows, and present other controllers.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/ui/responder.h"
#include "platform/ui/view.h"

namespace qrn::ui {

class Window;
class ViewController;
using ViewControllerPtr = std::shared_ptr<ViewController>;

// Moves a presented controller in and out of view (the default puts it in the presenting
// controller's window as its content).
class PresentationAnimator {
  public:
    virtual ~PresentationAnimator() = default;
    virtual void animatePresentation(ViewController& presented, ViewController& presenting) = 0;
    virtual void animateDismissal(ViewController& dismissed, ViewController& presenting) = 0;
};

class ViewController : public Responder, public std::enable_shared_from_this<ViewController> {
  public:
    ViewController();
    ~ViewController() override;
    ViewController(const ViewController&) = delete;
    ViewController& operator=(const ViewController&) = delete;

    // The name it was made under in the scene registry, if any.
    const std::string& identifier() const { return identifier_; }
    void setIdentifier(std::string id) { identifier_ = std::move(id); }
    const std::string& title() const { return title_; }
    void setTitle(std::string t) { title_ = std::move(t); }

    // Loads the view on first use: loadView(), then viewDidLoad() once.
    const ViewPtr& view();
    bool isViewLoaded() const { return view_ != nullptr; }
    // A new view takes the old one's place in its superview, if it had one.
    void setView(const ViewPtr& view);
    Window* window() const;
    // Whether the view is currently in a visible window (appeared and not yet disappeared).
    bool isAppeared() const { return appeared_; }

    // --- Presenting
    // With an animator (which decides where the controller goes), modally in its own window,
    // as a sheet on this controller's window, or in a separate ordinary window.
    void present(const ViewControllerPtr& controller, std::shared_ptr<PresentationAnimator> animator);
    void presentAsModalWindow(const ViewControllerPtr& controller);
    void presentAsSheet(const ViewControllerPtr& controller);
    void presentInWindow(const ViewControllerPtr& controller);
    // Dismisses a controller this one presented / this controller itself.
    void dismiss(ViewController& presented);
    void dismiss();
    ViewController* presentingViewController() const { return presenting_; }
    std::vector<ViewControllerPtr> presentedViewControllers() const;

    Responder* nextResponder() const override;

  protected:
    // Makes the view; the default is an empty view of preferredContentSize().
    virtual void loadView();
    virtual Size preferredContentSize() const { return {480, 270}; }
    virtual void viewDidLoad() {}
    virtual void viewWillAppear() {}
    virtual void viewDidAppear() {}
    virtual void viewWillDisappear() {}
    virtual void viewDidDisappear() {}

  private:
    friend class View;
    friend class Window;
    friend class ReplaceContentAnimator;

    enum class Presentation { None, Animator, Modal, Sheet, Window };

    void viewWillMoveToWindow(Window* w);
    void viewDidMoveToWindow();
    // Brings appear/disappear in line with whether the view is in a visible window.
    void windowVisibilityChanged(bool willBeVisible, bool done);

    std::string identifier_;
    std::string title_;
    ViewPtr view_;
    bool loading_ = false;
    bool appeared_ = false;
    bool willAppear_ = false;

    ViewController* presenting_ = nullptr;
    // Keeps the presenter alive while it is out of its window (replaced by this controller).
    ViewControllerPtr presentingHold_;
    // A presented controller is held here until it has taken this one's place in the window;
    // from then on the window holds it, and it holds this one, so here it is only referred to.
    struct PresentedEntry {
        std::weak_ptr<ViewController> controller;
        ViewControllerPtr held;
    };
    std::vector<PresentedEntry> presented_;
    // The window now shows `presented` in this controller's place.
    void presentedTookPlace(const ViewController& presented);
    Presentation presentation_ = Presentation::None;
    std::shared_ptr<PresentationAnimator> animator_;
    // The window of a modal, sheet or separate presentation. It shows this controller, so it is
    // only referred to: while open the application, its parent or the open windows keep it.
    std::weak_ptr<Window> ownWindow_;
};

// The animator used when none is given: the presented controller becomes the content of the
// presenting controller's window, and dismissing puts the presenter back; both fade.
class ReplaceContentAnimator : public PresentationAnimator {
  public:
    void animatePresentation(ViewController& presented, ViewController& presenting) override;
    void animateDismissal(ViewController& dismissed, ViewController& presenting) override;
};

} // namespace qrn::ui
