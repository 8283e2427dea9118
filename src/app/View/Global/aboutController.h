#pragma once
// The about box: the version and build, and two buttons that open the acknowledgements and the
// terms in the browser.
#include <memory>

#include "platform/ui/text_field.h"
#include "platform/ui/view_controller.h"

class aboutController : public qrn::ui::ViewController {
  public:
    std::shared_ptr<qrn::ui::TextField> versionText() const { return versionText_.lock(); }
    std::shared_ptr<qrn::ui::View> backgroundColourView() const { return backgroundColourView_.lock(); }
    void acknowledgementsButton();
    void licenseAgreementButton();

  protected:
    void loadView() override;
    void viewDidLoad() override;
    void viewDidAppear() override;

  private:
    std::weak_ptr<qrn::ui::TextField> versionText_;
    std::weak_ptr<qrn::ui::View> backgroundColourView_;
};
