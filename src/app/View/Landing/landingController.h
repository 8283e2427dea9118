#pragma once
// The landing screen: the version, a button that creates a project, one that opens a project,
// and the recent projects. Each action keeps the screen busy from its start until 2 s after it
// ends, so one click starts at most one action.
#include <memory>
#include <optional>

#include "platform/ui/application.h"
#include "platform/ui/scroll_view.h"
#include "platform/ui/text_field.h"
#include "platform/ui/view_controller.h"
#include "platform/ui/window.h"

class landingButtonView;
class landingClass;
class persistentDataStorageClass;

class landingController : public qrn::ui::ViewController, public qrn::ui::WindowDelegate {
  public:
    landingController();
    ~landingController() override;

    std::shared_ptr<qrn::ui::TextField> versionAndBuildNumbers() const {
        return versionAndBuildNumbers_.lock();
    }
    std::shared_ptr<landingButtonView> createNewProjectButton() const {
        return createNewProjectButton_.lock();
    }
    std::shared_ptr<landingButtonView> openExistingProjectButton() const {
        return openExistingProjectButton_.lock();
    }
    std::shared_ptr<qrn::ui::ScrollView> recentProjectsScrollview() const {
        return recentProjectsScrollview_.lock();
    }

    void windowDidBecomeKey(qrn::ui::Window& w) override;
    void windowWillClose(qrn::ui::Window& w) override;
    // With delay the flag takes the value 2 s later (every such change lands).
    void setActionInProgress(bool actionInProgress, bool delay);
    bool getActionInProgress();
    void didBecomeActive();
    // Rebuilds the list; with check only when it was not built since the view loaded.
    void fillRecentProjectsList(bool check);
    void initialiseView();
    void createNewProject();
    void openExistingProject();

    static constexpr double rowHeight = 34.0;

  protected:
    void loadView() override;
    void viewDidLoad() override;
    void viewWillAppear() override;
    void viewDidAppear() override;
    void viewDidDisappear() override;

  private:
    std::weak_ptr<qrn::ui::TextField> versionAndBuildNumbers_;
    std::weak_ptr<landingButtonView> createNewProjectButton_;
    std::weak_ptr<landingButtonView> openExistingProjectButton_;
    std::weak_ptr<qrn::ui::ScrollView> recentProjectsScrollview_;
    std::optional<qrn::ui::Application::ObserverToken> activationObserver_;
};

// The landing screen's module state, for the screen's own rows and tests.
bool landingViewIsVisible();
std::shared_ptr<persistentDataStorageClass> getLandingStorageObject();
std::shared_ptr<landingClass> getLandingClassObject();
