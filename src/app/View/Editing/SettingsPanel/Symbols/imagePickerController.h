#pragma once
// The symbols pane ("symbolsView"): the category strip along the top and the symbol grid below.
#include <memory>

#include "platform/ui/view_controller.h"

class imagePickerController : public qrn::ui::ViewController {
  public:
    std::shared_ptr<qrn::ui::View> sectionSelectionView;
    std::shared_ptr<qrn::ui::View> parentView;

    static constexpr double stripHeight = 46;

  protected:
    void loadView() override;
    void viewDidLoad() override;
};

// A category icon of the strip: a press shows its category (the index its first subview carries).
class symbolSelectionMenuIconView : public qrn::ui::View {
  public:
    using View::View;
    void mouseDown(const qrn::ui::Event& event) override;
};
